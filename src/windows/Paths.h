// The executable's own path and the path operations the units share.
// Narrow paths are in the ANSI code page; buffers hold kTextBufferSize bytes
// unless a capacity is given.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The executable's path in short form, lower case, doubled backslashes removed.
// Computed on the first call; the same buffer on every call.
const char* executablePath();

// The executable's directory, ending with a backslash. Computed on first use.
const char* executableDirectory();

bool isWindowsNT();

// The code page of the ANSI file functions: the ANSI one, or the OEM one after
// SetFileApisToOEM.
UINT fileCodePage();

// The directory part of path, up to and with its last backslash (with
// slashesToo, or its last "/" when that comes later); false when there is
// none or it does not fit.
bool directoryOf(char* out, size_t capacity, const char* path, bool slashesToo);

// True for an existing file or directory; "X:\" and its "." forms count as
// existing without a look-up. A directory with a trailing backslash is not found.
bool fileExists(const char* path);

// Whether FindFirstFileA finds the path (without lastWriteTime, a plain name
// is looked up by its attributes, which tell existence alike and cost less);
// the entry's last write time, from the search, when asked for.
bool findFile(const char* path, uint64_t* lastWriteTime = nullptr);

// False for "X:\..." and "\\..." (each optionally after a double quote).
bool isRelativePath(const char* path);

// out = executable directory + path for a relative path, else path; doubled
// backslashes removed.
void resolveAgainstExeDir(char* out, size_t capacity, const char* path);

// The full, canonical path of resolveAgainstExeDir(path); lower case unless keepCase.
void fullPath(char* out, size_t capacity, const char* path, bool keepCase);

// Each ";"-separated entry resolved against the executable's directory, joined by ";".
void resolvePathList(char* out, size_t capacity, const char* list);

// The long form of path, as GetLongPathNameA answers: the length written, the
// size needed when out is too small, 0 on failure. Emulated where the system
// lacks the function.
DWORD toLongPath(const char* path, char* out, DWORD size);

// toLongPath for a path whose components' case does not matter: a path
// without "~" has no short component and is its own long form, found without
// the system's look-up of every component (0 when it does not exist).
DWORD longFormOf(const char* path, char* out, DWORD size);

// The executable's path as the process was started with it, when that has no
// short component; else the long form of executablePath() (or that path when
// it has none). Computed on the first call.
const char* executableLongPath();

// Whether name ends in "." + extension (extension with or without its dot), in any case.
bool hasExtension(const char* name, const char* extension);

// For each extension (with or without its dot), the names of dir's entries
// that "*." + extension matches, directories too, in directory order, from
// one listing of dir: a name matches when it or its short form ends in the
// extension, in any case.
std::vector<std::vector<std::string>> entriesWithExtensions(const char* dir, const std::vector<const char*>& extensions);

// The number of entries of dir matching "*." + extension; names receives a new
// array of new names (the caller owns both). names is untouched when none match.
int listFilesWithExtension(const char* dir, const char* extension, char*** names);
