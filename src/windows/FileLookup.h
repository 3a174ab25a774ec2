// Asking the file system what is there: whether a path exists (with its last
// write time), and which of a directory's entries have given extensions.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// True for an existing file or directory; "X:\" and its "." forms count as
// existing without a look-up. A directory with a trailing backslash is not found.
bool fileExists(const char* path);

// Whether FindFirstFileA finds the path (without lastWriteTime, a plain name
// is looked up by its attributes, which tell existence alike and cost less);
// the entry's last write time, from the search, when asked for.
bool findFile(const char* path, uint64_t* lastWriteTime = nullptr);

// For each extension (with or without its dot), the names of dir's entries
// that "*." + extension matches, directories too, in directory order, from
// one listing of dir: a name matches when it or its short form ends in the
// extension, in any case.
std::vector<std::vector<std::string>> entriesWithExtensions(const char* dir, const std::vector<const char*>& extensions);
