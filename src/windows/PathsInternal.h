// What Paths.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "Paths.h"

// In place, through UTF-16; unchanged when the round trip would lose a character.
void lowerCasePath(char* path);
void collapseBackslashes(char* path);

// The emulation of GetLongPathNameA through the shell's name parsing.
DWORD emulateLongPath(const char* path, char* out, DWORD size);
