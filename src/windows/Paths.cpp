// The executable's own paths, computed once per run, and paths resolved
// against its directory.
#include "Paths.h"

#include <cstring>
#include <cwchar>
#include <string_view>

#include "Buffers.h"

namespace {

// A path computed on first use and lent to every caller for the rest of the run.
struct RunPath {
  RunText text;
  bool known = false;
};

// Run-long caches of the executable's paths: every unit asks for them, at any time.
RunPath exePath;
RunPath exeDirectory;
RunPath exeLongPath;

bool endsWithExe(const char* path) {
  size_t length = strlen(path);
  return length > 3 && _stricmp(path + length - 4, ".exe") == 0;
}

// The NT way: the wide module name, shortened, so that a path outside the ANSI
// code page still has a narrow form the ANSI file functions can open.
bool wideShortExecutablePath(char* out, size_t capacity) {
  wchar_t longName[kTextBufferSize];
  wchar_t shortName[kTextBufferSize];
  DWORD length = GetModuleFileNameW(nullptr, longName, kTextBufferSize);
  if (length == 0 || length >= kTextBufferSize) return false;
  length = shortPathOf(longName, shortName, kTextBufferSize);
  if (length == 0 || length >= kTextBufferSize) return false;
  return pathToNarrow(shortName, out, static_cast<int>(capacity)) && endsWithExe(out);
}

void ansiShortExecutablePath(char* out, size_t capacity) {
  char longName[kTextBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, longName, sizeof longName);
  if (length >= sizeof longName) length = sizeof longName - 1;
  longName[length] = 0;
  length = GetShortPathNameA(longName, out, static_cast<DWORD>(capacity));
  // Without a short form the module name itself is the best there is.
  if (length == 0 || length >= capacity) copyText(out, capacity, longName);
}

}  // namespace

bool isWindowsNT() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;  // 148 bytes
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

const char* executablePath() {
  char* path = exePath.text.text();
  if (!exePath.known) {
    if (!isWindowsNT() || !wideShortExecutablePath(path, RunText::capacity)) {
      ansiShortExecutablePath(path, RunText::capacity);
    }
    lowerCasePath(path);
    collapseBackslashes(path);
    exePath.known = true;
  }
  return path;
}

const char* executableDirectory() {
  char* directory = exeDirectory.text.text();
  if (!exeDirectory.known) {
    char full[kTextBufferSize];
    char* namePart = nullptr;
    DWORD length = GetFullPathNameA(executablePath(), sizeof full, full, &namePart);
    if (length == 0 || length >= sizeof full) copyText(full, sizeof full, executablePath());
    if (!directoryOf(directory, RunText::capacity, full, true)) directory[0] = 0;
    exeDirectory.known = true;
  }
  return directory;
}

const char* executableLongPath() {
  char* path = exeLongPath.text.text();
  if (exeLongPath.known) return path;
  exeLongPath.known = true;
  wchar_t moduleName[kTextBufferSize];
  DWORD length = GetModuleFileNameW(nullptr, moduleName, kTextBufferSize);
  // A device path ("\\?\") is left to the system's long form of the short path.
  if (length > 0 && length < kTextBufferSize && wcsncmp(moduleName, L"\\\\?\\", 4) != 0 &&
      pathToNarrow(moduleName, path, static_cast<int>(RunText::capacity)) && strchr(path, '~') == nullptr) {
    return path;
  }
  length = toLongPath(executablePath(), path, static_cast<DWORD>(RunText::capacity));
  if (length == 0 || length >= RunText::capacity) copyText(path, RunText::capacity, executablePath());
  return path;
}

void resolveAgainstExeDir(char* out, size_t capacity, const char* path) {
  out[0] = 0;
  if (isRelativePath(path)) copyText(out, capacity, executableDirectory());
  appendText(out, capacity, path);
  collapseBackslashes(out);
}

void fullPath(char* out, size_t capacity, const char* path, bool keepCase) {
  char resolved[kTextBufferSize];
  resolveAgainstExeDir(resolved, sizeof resolved, path);
  char* namePart = nullptr;
  DWORD length = GetFullPathNameA(resolved, static_cast<DWORD>(capacity), out, &namePart);
  if (length == 0 || length >= capacity) copyText(out, capacity, resolved);
  if (!keepCase) lowerCasePath(out);
  collapseBackslashes(out);
}

void resolvePathList(char* out, size_t capacity, const char* list) {
  out[0] = 0;
  forEachListEntry(list, [&](std::string_view entry) {
    char piece[kTextBufferSize];
    copyText(piece, sizeof piece, entry);
    char resolved[kTextBufferSize];
    resolveAgainstExeDir(resolved, sizeof resolved, piece);
    if (out[0] != 0) appendText(out, capacity, ";");
    appendText(out, capacity, resolved);
    return false;
  });
}
