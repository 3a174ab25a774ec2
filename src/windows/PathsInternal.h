// What Paths.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "Paths.h"

// In place, through UTF-16; unchanged when the round trip would lose a character.
void lowerCasePath(char* path);
void collapseBackslashes(char* path);

// GetShortPathNameW's answer for an existing path (its length, the size
// needed, or 0), asking the file system only for the part of a drive-rooted
// path up to its last component that is not a short name already; the rest is
// taken as it is.
DWORD shortPathOf(const wchar_t* path, wchar_t* out, DWORD capacity);

// The emulation of GetLongPathNameA through the shell's name parsing.
DWORD emulateLongPath(const char* path, char* out, DWORD size);
