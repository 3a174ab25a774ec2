// What Splash.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "Splash.h"

// Replaces the status line by text (at most length characters, or up to its
// terminator) and repaints the window at once, on the window's own thread
// whichever thread asks. Does nothing while no splash window exists.
void setSplashStatus(const wchar_t* text, size_t length);

// The status line's conversion: each character up to U+00FF becomes the byte
// of the same value; the text ends before the first character above U+00FF,
// at its terminator or after length characters, and is cut to capacity.
// Returns the number of bytes written, without the terminator.
size_t narrowStatusText(char* out, size_t capacity, const wchar_t* text, size_t length);
