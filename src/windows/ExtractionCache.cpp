// Included files extracted once per included area and reused by later starts.
#include "ExtractionCache.h"
#include "ExtractionCacheInternal.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "ContentHash.h"
#include "DeletionQueue.h"
#include "Extraction.h"
#include "Log.h"
#include "Paths.h"
#include "UniqueHandle.h"

namespace {

constexpr uint64_t kFileTimeUnitsPerDay = 10000000ull * 60 * 60 * 24;

struct IncludedEntry {
  std::string name;
  int32_t size;
  uint64_t hash;  // of the plain bytes
};

bool addToHash(void* context, const unsigned char* bytes, DWORD size) {
  addToContentHash(static_cast<ContentHash*>(context), bytes, size);
  return true;
}

// Reads size bytes from file and hashes them; false when they cannot be read.
bool hashFileData(HANDLE file, int32_t size, bool unscramble, uint64_t* hash) {
  ContentHash state;
  startContentHash(&state);
  if (!passFileData(file, size, unscramble, DataSink{&state, addToHash})) return false;
  *hash = finishContentHash(state);
  return true;
}

// One pass over the named entries of the area at source's position.
bool readIncludedEntries(HANDLE source, int count, std::vector<IncludedEntry>* entries) {
  for (const std::string& name : includedFileNames(count)) {
    IncludedEntry entry{name, 0, 0};
    if (!isSafeIncludedName(name.c_str()) || !readInt32(source, &entry.size)) return false;
    if (entry.size > 0 && !hashFileData(source, entry.size, true, &entry.hash)) return false;
    entries->push_back(entry);
  }
  return true;
}

// The area's key: every entry's name, size and content hash.
uint64_t areaHash(const std::vector<IncludedEntry>& entries) {
  ContentHash state;
  startContentHash(&state);
  for (const IncludedEntry& entry : entries) {
    addToContentHash(&state, entry.name.c_str(), entry.name.size() + 1);
    addToContentHash(&state, &entry.size, sizeof entry.size);
    addToContentHash(&state, &entry.hash, sizeof entry.hash);
  }
  return finishContentHash(state);
}

// root\<hash as 16 lower-case hex digits>, the name isCacheFolderName accepts.
// Two halves, because the system C library's formatting may not know "ll".
bool cacheFolderPath(char* out, size_t capacity, const char* root, uint64_t hash) {
  return formatText(out, capacity, "%s\\%08lx%08lx", root, static_cast<unsigned long>(hash >> 32),
                    static_cast<unsigned long>(hash & 0xffffffffu));
}

// Whether the file holds the entry's bytes; its handle goes to held either way.
bool holdMatchingFile(const char* path, const IncludedEntry& entry, std::vector<UniqueHandle>* held) {
  // No write sharing: the bytes checked are the bytes the application reads.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  held->emplace_back(file);
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  uint64_t hash = 0;
  return high == 0 && low == static_cast<DWORD>(entry.size) && hashFileData(file, entry.size, false, &hash) &&
         hash == entry.hash;
}

// Whether the folder holds nothing but the entries' files: anything put
// there beside them would reach the class path or be taken for the
// application's own.
bool holdsOnlyIncludedFiles(const char* folder, const std::vector<IncludedEntry>& entries) {
  char pattern[kTextBufferSize];
  if (!formatText(pattern, sizeof pattern, "%s\\*", folder)) return false;
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA(pattern, &found));
  if (!search) return false;
  bool only = true;
  do {
    if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
    bool plainFile = (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    only = plainFile && std::any_of(entries.begin(), entries.end(), [&](const IncludedEntry& entry) {
             return entry.size > 0 && _stricmp(entry.name.c_str(), found.cFileName) == 0;
           });
    if (!only) logInfo("%s\\%s is none of the included files", folder, found.cFileName);
  } while (only && FindNextFileA(search.get(), &found));
  return only;
}

// Checks every file of the folder against the entries, and that nothing else
// is there; when all match, the files stay open until the process ends.
bool holdCacheFolder(const char* folder, const std::vector<IncludedEntry>& entries) {
  std::vector<UniqueHandle> held;
  bool matches = true;
  for (size_t i = 0; i < entries.size() && matches; ++i) {
    char path[kTextBufferSize];
    matches = formatText(path, sizeof path, "%s\\%s", folder, entries[i].name.c_str());
    // An empty entry makes no file: one of its name was not put there by us.
    if (matches && entries[i].size <= 0) matches = GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
    else if (matches) matches = holdMatchingFile(path, entries[i], &held);
  }
  // Looked at once the files are held: a held file cannot be replaced.
  matches = matches && holdsOnlyIncludedFiles(folder, entries);
  // Matching files stay held; the others close with the list.
  if (matches) {
    for (UniqueHandle& file : held) holdUntilExit(file.release());
  }
  return matches;
}

void removeFolder(const char* folder) {
  emptyDirectory(folder);
  RemoveDirectoryA(folder);
}

uint64_t fileTimeValue(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// The folder's last-write time is when a start last used it.
void markUsed(const char* folder) {
  UniqueHandle handle(CreateFileA(folder, FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  SetFileTime(handle.get(), nullptr, nullptr, &now);
}

// Removes the caches of other areas that no start has used for a while; one
// whose files a running application holds open stays.
void removeUnusedCaches(const char* root, const char* own) {
  char pattern[kTextBufferSize];
  if (!formatText(pattern, sizeof pattern, "%s\\*", root)) return;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  uint64_t limit = kCacheUnusedDays * kFileTimeUnitsPerDay;
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA(pattern, &found));
  if (!search) return;
  do {
    char path[kTextBufferSize];
    // A time after now says nothing of the folder's use (a clock put back,
    // a copied folder): such a folder is kept.
    uint64_t used = fileTimeValue(found.ftLastWriteTime);
    bool unused = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && isCacheFolderName(found.cFileName) &&
                  used <= fileTimeValue(now) && fileTimeValue(now) - used > limit;
    if (unused && formatText(path, sizeof path, "%s\\%s", root, found.cFileName) && strcmp(path, own) != 0) {
      logInfo("Removing unused %s", path);
      removeFolder(path);
    }
  } while (FindNextFileA(search.get(), &found));
}

// files becomes the checked cache folder.
bool useCacheFolder(const char* folder, const std::vector<IncludedEntry>& entries, const char* root,
                    ExtractedFiles* files) {
  files->directory = folder;
  files->reused = true;
  files->reusedNames.clear();
  for (const IncludedEntry& entry : entries) {
    if (entry.size > 0) files->reusedNames.push_back(entry.name);
  }
  markUsed(folder);
  removeUnusedCaches(root, folder);
  return true;
}

// A fresh extraction into this run's temporary directory, its files not yet
// held, so that the directory can still be moved.
bool extractUnheld(HANDLE source, int count, ExtractedFiles* files, StartFailure* failure) {
  char dir[kTextBufferSize] = "";
  bool extracted = extractFilesUnheld(source, count, dir, sizeof dir, failure);
  files->directory = dir;
  return extracted;
}

// This run's fresh extraction in dir goes into the cache folder, or a
// folder another start has just put there is used instead.
bool placeExtraction(const char* folder, const char* root, const std::vector<IncludedEntry>& entries, int count,
                     ExtractedFiles* files) {
  const std::string extracted = files->directory;
  const char* dir = extracted.c_str();
  bool moved = MoveFileExA(dir, folder, 0) != 0;
  if (moved) {
    unregisterTempDirectory(dir);
    logInfo("Extracted files kept in %s", folder);
  }
  if (holdCacheFolder(folder, entries)) {
    if (!moved) {
      logInfo("Using %s, placed by another start", folder);
      removeFolder(dir);
      unregisterTempDirectory(dir);
    }
    return useCacheFolder(folder, entries, root, files);
  }
  if (moved) return false;
  // Someone else's differing folder is in the way: this run uses its own.
  holdExtractedFiles(dir, count);
  return true;
}

}  // namespace

bool isCacheFolderName(const char* name) {
  return strlen(name) == 16 && strspn(name, "0123456789abcdef") == 16;
}

bool extractionCacheRoot(char* out, size_t capacity) {
  char local[kTextBufferSize];
  DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", local, sizeof local);
  // A ";" would split the class path; a "?" stands for a character the
  // narrow path cannot name.
  if (length == 0 || length >= sizeof local || isRelativePath(local) || strpbrk(local, ";?") != nullptr) return false;
  if (!formatText(out, capacity, "%s\\tovex", local)) return false;
  CreateDirectoryA(out, nullptr);
  if (!appendText(out, capacity, "\\cache")) return false;
  CreateDirectoryA(out, nullptr);
  DWORD attributes = GetFileAttributesA(out);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool reuseOrExtractFrom(HANDLE source, int count, ExtractedFiles* files, StartFailure* failure) {
  DWORD start = SetFilePointer(source, 0, nullptr, FILE_CURRENT);
  std::vector<IncludedEntry> entries;
  char root[kTextBufferSize];
  char folder[kTextBufferSize];
  // A damaged area is extracted as ever, to fail the same way.
  bool cacheable = start != INVALID_SET_FILE_POINTER && isIncludedAreaWhole(source, count) &&
                   readIncludedEntries(source, count, &entries) && extractionCacheRoot(root, sizeof root) &&
                   cacheFolderPath(folder, sizeof folder, root, areaHash(entries));
  if (cacheable && fileExists(folder)) {
    if (holdCacheFolder(folder, entries)) {
      logInfo("Reusing %s", folder);
      return useCacheFolder(folder, entries, root, files);
    }
    logInfo("Replacing %s: its files differ from the executable's", folder);
    removeFolder(folder);
  }
  SetFilePointer(source, static_cast<LONG>(start), nullptr, FILE_BEGIN);
  if (!cacheable) return extractFilesFrom(source, count, files, failure);
  if (!extractUnheld(source, count, files, failure)) return false;
  if (placeExtraction(folder, root, entries, count, files)) return true;
  // What was moved into place differs already: extracted once more, for this run only.
  SetFilePointer(source, static_cast<LONG>(start), nullptr, FILE_BEGIN);
  return extractFilesFrom(source, count, files, failure);
}
