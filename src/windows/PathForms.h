// The long and short (8.3) forms of a path, as the system's GetLongPathNameA
// and GetShortPathNameW give them; the long form is emulated where the system
// lacks the function.
#pragma once
#include <windows.h>

// The long form of path, as GetLongPathNameA answers: the length written, the
// size needed when out is too small, 0 on failure. Emulated where the system
// lacks the function.
DWORD toLongPath(const char* path, char* out, DWORD size);

// toLongPath for a path whose components' case does not matter: a path
// without "~" has no short component and is its own long form, found without
// the system's look-up of every component (0 when it does not exist).
DWORD longFormOf(const char* path, char* out, DWORD size);

// GetShortPathNameW's answer for an existing path (its length, the size
// needed, or 0), asking the file system only for the part of a drive-rooted
// path up to its last component that is not a short name already; the rest is
// taken as it is.
DWORD shortPathOf(const wchar_t* path, wchar_t* out, DWORD capacity);
