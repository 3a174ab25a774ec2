// Extraction reused across starts (key 3007): the included files are written
// once per included area into a per-user folder,
// %LOCALAPPDATA%\tovex\cache\<16 hex digits of the area's hash>, and later
// starts check every file there (size and hash) and use it instead of writing
// the files again.
//
// The folder lies in the user's local application data, not in the temporary
// location: temporary-file cleaners empty that one, and the deletion queue
// acts on it. The default temporary location is below the same folder, so a
// fresh extraction (made in this run's temporary directory) moves into place
// by a rename on the same volume.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Extraction.h"

// Caches that no start has used for this many days are removed.
constexpr int kCacheUnusedDays = 30;

// Like extractFilesFrom, but through the cache: files becomes the cache
// folder, reused, when its files match the executable's (or once this run has
// put them there); otherwise this run's temporary directory as
// extractFilesFrom makes it. The files used are held open, without write
// sharing, until the process ends. *failure (when given) as extractFilesFrom
// sets it.
bool reuseOrExtractFrom(HANDLE source, int count, ExtractedFiles* files, StartFailure* failure = nullptr);

// Whether a name is one that a cache folder gets: 16 hexadecimal digits.
bool isCacheFolderName(const char* name);
