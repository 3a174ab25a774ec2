// What TempFiles.cpp offers its unit tests beyond its header: the steps the
// unit is made of.
#pragma once
#include "TempFiles.h"

// The choice itself: the system temporary path while its long form names no
// unrepresentable character ("?") and it holds no ";", else the first
// writable fallback without ";". False
// when no candidate can be written to.
bool pickTempLocation(char* out, size_t capacity, const TempLocationSystem& system);

// pickTempLocation on the running system. Ends the process with the
// "Poweruser" message box when no location can be written to.
void chooseTempLocation(char* out, size_t capacity);

// Whether a directory can be made (and removed) inside dir.
bool isWritableDirectory(const char* dir);
