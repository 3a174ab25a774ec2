// What PackedRuntime.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "PackedRuntime.h"

#include <windows.h>

// The tool's command line, every path quoted: unpack200.exe -r packed jar.
// False when it does not fit.
bool unpackCommandLine(char* out, size_t capacity, const char* home, const char* packedPath,
                       const char* jarPath);
