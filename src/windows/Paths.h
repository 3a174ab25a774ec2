// The executable's own paths, and paths resolved against its directory.
// Through the headers it includes, every path operation the units share:
// path text (PathText.h), long and short forms (PathForms.h) and file
// look-ups (FileLookup.h). Narrow paths are in the ANSI code page; buffers
// hold kTextBufferSize bytes unless a capacity is given.
#pragma once
#include <windows.h>

#include <cstddef>

#include "FileLookup.h"
#include "PathForms.h"
#include "PathText.h"

// The executable's path in short form, lower case, doubled backslashes removed.
// Computed on the first call; the same buffer on every call.
const char* executablePath();

// The executable's directory, ending with a backslash. Computed on first use.
const char* executableDirectory();

// The executable's path as the process was started with it, when that has no
// short component; else the long form of executablePath() (or that path when
// it has none). Computed on the first call.
const char* executableLongPath();

bool isWindowsNT();

// out = executable directory + path for a relative path, else path; doubled
// backslashes removed.
void resolveAgainstExeDir(char* out, size_t capacity, const char* path);

// The full, canonical path of resolveAgainstExeDir(path); lower case unless keepCase.
void fullPath(char* out, size_t capacity, const char* path, bool keepCase);

// Each ";"-separated entry resolved against the executable's directory, joined by ";".
void resolvePathList(char* out, size_t capacity, const char* list);
