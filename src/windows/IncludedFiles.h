// The start-up step that puts the included files in place: extracted into
// this run's temporary directory (Extraction.h) or, with key 3007, reused
// from the per-user cache (ExtractionCache.h). The units below do the work;
// this one chooses and keeps the directory's name.
#pragma once
#include <string>
#include <vector>

// This run's extraction directory without a trailing backslash; empty when
// the executable includes no files.
const char* extractionDirectory();

// Extracts every included file of the executable into a new directory, which
// becomes extractionDirectory() and is registered for deletion. False when a
// file could not be extracted.
bool extractIncludedFiles();

// The archives of an extraction directory for the class path: its jar files,
// then its zip files. In a reused cache folder (ExtractionCache.h) the names
// checked there (reusedFileNames), in the area's order, whatever else the
// folder holds by now; elsewhere the directory's entries in its order
// (entriesWithExtensions).
std::vector<std::vector<std::string>> extractedArchives(const char* dir);
