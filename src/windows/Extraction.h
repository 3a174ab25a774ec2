// Extracting the included files (the application's jars) appended to the
// executable into a fresh temporary directory.
//
// The included-files area, at includedFilesOffset(), holds per file a 32-bit
// size and that many scrambled bytes. The names are in key 2003, each followed
// by ";", in the order of the area; key 2002 holds their number.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ExtractedFiles.h"
#include "StartFailure.h"

// The work of extractIncludedFiles on an open file positioned at the
// included-files area: up to count files, named by key 2003, into a new
// directory whose path is written to dir. Each file stays open for reading
// until the process ends, so that another launcher's deletion run leaves it.
// The directory is registered for deletion when it is made, and taken off
// again when a file cannot be read (it stays for a look). The area is checked
// first (checkIncludedArea): sizes that do not lead to the area's end give
// false once the files are out.
// False with *failure (when given) set when the start must stop with its own
// message rather than the extraction's: a negative or unreadable size
// ("Internal Error: readInt"), a directory or file that cannot be made or
// written (internal errors 7, 11, 13); the directory then stays registered.
bool extractFilesFrom(HANDLE source, int count, char* dir, size_t capacity, StartFailure* failure = nullptr);

// extractFilesFrom into files (a fresh one): its directory becomes the new one.
bool extractFilesFrom(HANDLE source, int count, ExtractedFiles* files, StartFailure* failure);

// extractFilesFrom without holding the files open, so that the directory can
// still be moved; holdExtractedFiles holds them afterwards.
bool extractFilesUnheld(HANDLE source, int count, char* dir, size_t capacity, StartFailure* failure);
void holdExtractedFiles(const char* dir, int count);

// The first count non-empty names of key 2003, in the area's order.
std::vector<std::string> includedFileNames(int count);

// Whether the included-files area from source's position, with the files
// that includedFileNames(count) names, holds together (checkIncludedArea);
// the position is kept.
bool isIncludedAreaWhole(HANDLE source, int count);

// Keeps a handle open until the process ends, as the extracted files' are.
void holdUntilExit(HANDLE file);

// Whether an included file's name stays inside the extraction directory: no
// path separator, no drive colon, no "..", not only dots and blanks, and no
// device name (NUL, COM1.jar, CLOCK$, ...), which would take the bytes.
bool isSafeIncludedName(const char* name);

// Reads one file's size and data from source and writes the unscrambled data
// to path. A size of 0 or less creates no file. False when the data ends
// early, or with *failure (when given) set as extractFilesFrom sets it.
bool extractFile(HANDLE source, const char* path, StartFailure* failure = nullptr);

// Receives the bytes read by passFileData, block by block; false stops the
// reading.
struct DataSink {
  void* context;
  bool (*take)(void* context, const unsigned char* bytes, DWORD size);
};

// Reads size bytes from in in large blocks and hands each block, unscrambled
// when asked, to sink. False, with "ReadFile failed" logged, when the input
// ends early.
bool passFileData(HANDLE in, int32_t size, bool unscramble, const DataSink& sink);
