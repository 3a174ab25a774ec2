// The temporary location and the temporary names made in it.
#include "TempFiles.h"
#include "TempFilesInternal.h"

#include <windows.h>

#include <direct.h>

#include <cstring>
#include <string>
#include <vector>

#include "Buffers.h"
#include "ErrorReport.h"
#include "Paths.h"
#include "SystemFunctions.h"
#include "UniqueHandle.h"

namespace {

// The system temporary path, "" when the system gives none that fits.
void systemTempPath(char* out, size_t capacity) {
  DWORD length = GetTempPathA(static_cast<DWORD>(capacity), out);
  if (length == 0 || length >= capacity) out[0] = 0;
}

// A ";" would split the class path and the deletion queue's entries at it.
bool isUsableLocation(const char* candidate) { return candidate[0] != 0 && strchr(candidate, ';') == nullptr; }

// A candidate is taken only whole: a cut path would name another directory.
bool tryCandidate(char* out, size_t capacity, const char* candidate, const TempLocationSystem& system) {
  if (!isUsableLocation(candidate) || !system.isWritable(candidate)) return false;
  return copyText(out, capacity, candidate);
}

// "tvx*.tmp" made by the system in location; false, with out empty, when none could be made.
bool createTempFileIn(const char* location, char* out) {
  // GetTempFileNameA takes a directory of at most MAX_PATH - 14 characters.
  if (!isUsableLocation(location) || strlen(location) > MAX_PATH - 14 ||
      GetTempFileNameA(location, "tvx", 0, out) == 0) {
    out[0] = 0;
    return false;
  }
  return true;
}

using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

// The folder's path with every link on its way resolved, as a drive path
// ("C:\realtemp\"); false where the system cannot say or the folder lies on
// a share.
bool finalFormOf(const char* folder, char* out, size_t capacity) {
  // Looked up once a run: the system does not change.
  static const auto finalPathOf = kernelFunction<FinalPathFunction>("GetFinalPathNameByHandleA");
  if (finalPathOf == nullptr) return false;
  UniqueHandle handle(CreateFileA(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return false;
  char resolved[kTempLocationSize];
  DWORD length = finalPathOf(handle.get(), resolved, sizeof resolved, 0);
  handle.reset();
  constexpr const char* kLocalPrefix = "\\\\?\\";
  size_t prefix = strlen(kLocalPrefix);
  if (length == 0 || length >= sizeof resolved || strncmp(resolved, kLocalPrefix, prefix) != 0 ||
      resolved[prefix] == 0 || resolved[prefix + 1] != ':') {
    return false;
  }
  return formatText(out, capacity, "%s\\", resolved + prefix);
}

}  // namespace

bool pickTempLocation(char* out, size_t capacity, const TempLocationSystem& system) {
  // The system's own path as it gives it, unless its long form has a character
  // the ANSI code page lacks. A failed long form does not count against it.
  if (isUsableLocation(system.systemTempPath) && strchr(system.longTempPath, '?') == nullptr &&
      copyText(out, capacity, system.systemTempPath)) {
    return true;
  }

  char windowsTemp[kTempLocationSize] = "";
  if (system.windowsDirectory[0] != 0 &&
      !formatText(windowsTemp, sizeof windowsTemp, "%s\\temp", system.windowsDirectory)) {
    windowsTemp[0] = 0;
  }
  const char* candidates[] = {windowsTemp, "c:\\temp", "c:\\tmp", system.longTempPath};
  for (const char* candidate : candidates) {
    if (tryCandidate(out, capacity, candidate, system)) return true;
  }

  // A writable drive root gets a directory of our own.
  if (system.isWritable("c:\\")) {
    system.makeDirectory("c:\\tmp");
    if (tryCandidate(out, capacity, "c:\\tmp", system)) return true;
  }
  if (capacity > 0) out[0] = 0;
  return false;
}

void chooseTempLocation(char* out, size_t capacity) {
  char systemPath[kTempLocationSize];
  systemTempPath(systemPath, sizeof systemPath);
  char longPath[kTempLocationSize] = "";
  if (systemPath[0] != 0) {
    DWORD length = longFormOf(systemPath, longPath, sizeof longPath);
    if (length == 0 || length >= sizeof longPath) longPath[0] = 0;
  }
  char windowsDirectory[kTempLocationSize];
  UINT length = GetWindowsDirectoryA(windowsDirectory, sizeof windowsDirectory);
  if (length == 0 || length >= sizeof windowsDirectory) windowsDirectory[0] = 0;

  TempLocationSystem system{systemPath, longPath, windowsDirectory, isWritableDirectory,
                            [](const char* dir) { _mkdir(dir); }};
  if (pickTempLocation(out, capacity, system)) return;
  // Ends here: the extraction and the version probe would take a false for a failure of their own and say so.
  fatalNoWritableLocation();
}

bool isWritableDirectory(const char* dir) {
  char test[kTextBufferSize];
  if (!formatText(test, sizeof test, "%s\\tvx_w_testdir", dir)) return false;
  _rmdir(test);  // a leftover of an earlier test
  if (_mkdir(test) != 0) return false;
  bool made = fileExists(test);
  _rmdir(test);
  return made;
}

bool createTempFileName(char* out, size_t capacity) {
  if (capacity == 0) return false;
  out[0] = 0;
  // GetTempFileNameA writes up to MAX_PATH bytes and takes a directory of at
  // most MAX_PATH - 14 characters.
  if (capacity < MAX_PATH) return false;
  char location[kTempLocationSize];
  chooseTempLocation(location, sizeof location);
  if (createTempFileIn(location, out)) return true;
  // The system's path is taken untested: missing, a file or read-only, it
  // leaves the fallbacks, each tested as the choice tests them.
  for (const std::string& fallback : tempLocationCandidates()) {
    if (isUsableLocation(fallback.c_str()) && isWritableDirectory(fallback.c_str()) &&
        createTempFileIn(fallback.c_str(), out)) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> tempLocationCandidates() {
  std::vector<std::string> locations;
  char path[kTempLocationSize];
  systemTempPath(path, sizeof path);
  if (path[0] != 0) {
    locations.emplace_back(path);
    char longPath[kTempLocationSize];
    DWORD length = longFormOf(path, longPath, sizeof longPath);
    if (length > 0 && length < sizeof longPath) locations.emplace_back(longPath);
    char finalPath[kTempLocationSize];
    if (finalFormOf(path, finalPath, sizeof finalPath)) locations.emplace_back(finalPath);
  }
  UINT length = GetWindowsDirectoryA(path, sizeof path);
  if (length > 0 && length < sizeof path) locations.push_back(std::string(path) + "\\temp");
  locations.emplace_back("c:\\temp");
  locations.emplace_back("c:\\tmp");
  return locations;
}

void processTempFileName(char* out, size_t capacity, int n) {
  char systemPath[kTempLocationSize];
  systemTempPath(systemPath, sizeof systemPath);
  formatText(out, capacity, "%stvx_p%d.tmp", systemPath, n);
}
