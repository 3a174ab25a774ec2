// File look-ups: existence, last write times and directory listings.
#include "FileLookup.h"

#include <windows.h>

#include <cstring>

#include "Buffers.h"
#include "PathText.h"
#include "UniqueHandle.h"

namespace {

uint64_t fileTimeValue(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// Whether the attribute look-up tells existence as a search would: the last
// component is a plain name (no pattern, no stream, no trailing separator,
// dot or space) below a drive-rooted or relative directory. A search is a
// directory open, a query and a close; the look-up is one query.
bool attributesAnswerAsSearch(const char* path) {
  size_t length = strlen(path);
  if (length < 4 || path[0] == '\\' || path[0] == '/') return false;
  char last = path[length - 1];
  if (last == '\\' || last == '/' || last == '.' || last == ' ') return false;
  return strpbrk(path, "*?<>\"") == nullptr && strchr(path + 2, ':') == nullptr;
}

}  // namespace

bool findFile(const char* path, uint64_t* lastWriteTime) {
  // The times come from the search: it reads the folder's entry, which NTFS
  // may keep older than the file's own (a hard link, a file open for writing).
  if (lastWriteTime == nullptr && attributesAnswerAsSearch(path)) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return true;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    // Anything else (a file whose deletion is pending, a denied look-up):
    // the search decides.
  }
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA(path, &found));
  if (!search) return false;
  if (lastWriteTime != nullptr) *lastWriteTime = fileTimeValue(found.ftLastWriteTime);
  return true;
}

bool fileExists(const char* path) {
  if (path[0] == 0 || path[1] == 0) return findFile(path);
  const char* rest = path + 1;
  if (strcmp(rest, ":\\") == 0 || strcmp(rest, ":\\.") == 0 || strcmp(rest, ":\\.\\.") == 0) return true;
  return findFile(path);
}

std::vector<std::vector<std::string>> entriesWithExtensions(const char* dir,
                                                           const std::vector<const char*>& extensions) {
  std::vector<std::vector<std::string>> lists(extensions.size());
  char pattern[kTextBufferSize];
  if (!formatText(pattern, sizeof pattern, "%s\\*", dir)) return lists;
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA(pattern, &found));
  if (!search) return lists;
  do {
    auto list = lists.begin();
    for (const char* extension : extensions) {
      if (hasExtension(found.cFileName, extension) || hasExtension(found.cAlternateFileName, extension)) {
        list->emplace_back(found.cFileName);
      }
      ++list;
    }
  } while (FindNextFileA(search.get(), &found));
  return lists;
}
