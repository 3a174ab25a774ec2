// What ProcessWindows.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "ProcessWindows.h"

// The one-time search for this process's console window: the console title
// is set to a unique text for a moment, the window with that title found and
// the title put back. Returns the console window, or nullptr for a GUI
// executable (key 107 = 1), a process without console, or when none was found.
HWND findConsoleWindow();

// Lets a test search again, under other settings.
void forgetConsoleWindowForTests();
