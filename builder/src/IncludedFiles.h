// A project's included files: the records that name them and the files on
// disk, each checked for what the launcher can extract.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "ConfigBlock.h"
#include "Diagnostic.h"
#include "Project.h"

namespace tovex {

// The name a file gets in the executable: its `name`, else the last part of
// its path (after the last '/' or '\', the separators of Windows paths).
std::string includedFileName(const IncludedFile& file);

// Checks the names: each a plain Windows file name in the code page, no two
// the same ignoring case, all together within key 2003's buffer. When they
// pass, adds the records 2002 (the count) and 2003 (the names) to `settings`;
// nothing for a project without files.
void addIncludedFileRecords(const std::vector<IncludedFile>& files, int codePage, const std::string& projectFile,
                            std::vector<Setting>& settings, std::vector<Diagnostic>& errors);

// Finds the files, relative to the project file's directory, each a readable
// file of at most 2 GiB - 1 bytes. Problems go to `errors`.
std::vector<IncludedFileSource> locateIncludedFiles(const std::vector<IncludedFile>& files,
                                                    const std::filesystem::path& projectDirectory,
                                                    const std::string& projectFile, std::vector<Diagnostic>& errors);

}  // namespace tovex
