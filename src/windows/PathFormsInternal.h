// What PathForms.cpp offers its unit tests beyond its header: the steps the
// unit is made of.
#pragma once
#include "PathForms.h"

// The emulation of GetLongPathNameA through the shell's name parsing.
DWORD emulateLongPath(const char* path, char* out, DWORD size);
