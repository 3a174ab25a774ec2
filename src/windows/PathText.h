// Paths as text: the file functions' code page, a path's directory part and
// extension, whether it is relative, and its normal form (lower case, no
// doubled backslashes). Nothing here asks the file system. Narrow paths are
// in the ANSI code page.
#pragma once
#include <windows.h>

#include <cstddef>

// The code page of the ANSI file functions: the ANSI one, or the OEM one after
// SetFileApisToOEM.
UINT fileCodePage();

// Narrow to wide in the file functions' code page; false when it does not fit.
bool pathToWide(const char* path, wchar_t* out, int capacity);

// Wide to narrow in the file functions' code page; false when it does not fit
// or a character has no narrow form.
bool pathToNarrow(const wchar_t* path, char* out, int capacity);

// The directory part of path, up to and with its last backslash (with
// slashesToo, or its last "/" when that comes later); false when there is
// none or it does not fit.
bool directoryOf(char* out, size_t capacity, const char* path, bool slashesToo);

// False for "X:\..." and "\\..." (each optionally after a double quote).
bool isRelativePath(const char* path);

// Whether name ends in "." + extension (extension with or without its dot), in any case.
bool hasExtension(const char* name, const char* extension);

// In place, through UTF-16; unchanged when the round trip would lose a character.
void lowerCasePath(char* path);
void collapseBackslashes(char* path);
