// The executable's path and every path operation.
#include "Paths.h"
#include "PathsInternal.h"

#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <algorithm>
#include <new>
#include <string_view>
#include <vector>

#include "Buffers.h"
#include "SystemFunctions.h"

namespace {

RunText exePathText;
bool exePathKnown = false;
RunText exeDirText;
bool exeDirKnown = false;
RunText exeLongPathText;
bool exeLongPathKnown = false;

// Narrow to wide in the file functions' code page; false when it does not fit.
bool toWide(const char* text, wchar_t* out, int capacity) {
  return MultiByteToWideChar(fileCodePage(), 0, text, -1, out, capacity) > 0;
}

// Wide to narrow; false when it does not fit or a character had no narrow form.
bool toNarrow(const wchar_t* text, char* out, int capacity) {
  BOOL usedDefault = FALSE;
  int written = WideCharToMultiByte(fileCodePage(), 0, text, -1, out, capacity, "?", &usedDefault);
  return written > 0 && !usedDefault;
}

// Runs a UTF-16 transformation over path and writes the result back only when
// the round trip keeps every character and the result fits where path was.
template <typename Transform>
void transformThroughWide(char* path, Transform transform) {
  wchar_t wide[kTextBufferSize];
  if (!toWide(path, wide, kTextBufferSize)) return;
  transform(wide);
  char narrow[kTextBufferSize];
  if (!toNarrow(wide, narrow, sizeof narrow)) return;
  if (strlen(narrow) > strlen(path)) return;
  copyText(path, strlen(path) + 1, narrow);
}

bool endsWithExe(const char* path) {
  size_t length = strlen(path);
  return length > 3 && _stricmp(path + length - 4, ".exe") == 0;
}

// Whether a path component is a short (8.3) name already: up to eight
// characters, then at most one dot and up to three more, all of them letters,
// digits, "_" or "-". Such a name has no other short form.
bool isShortNameComponent(std::wstring_view name) {
  size_t dot = name.find(L'.');
  std::wstring_view base = name.substr(0, dot);
  std::wstring_view extension = dot == std::wstring_view::npos ? std::wstring_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
  if (dot != std::wstring_view::npos && extension.empty()) return false;
  auto plain = [](wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' ||
           c == L'-';
  };
  return std::all_of(base.begin(), base.end(), plain) && std::all_of(extension.begin(), extension.end(), plain);
}

}  // namespace

DWORD shortPathOf(const wchar_t* path, wchar_t* out, DWORD capacity) {
  std::wstring_view whole(path);
  bool driveRooted = whole.size() > 3 && whole[1] == L':' && whole[2] == L'\\' &&
                     ((whole[0] >= L'a' && whole[0] <= L'z') || (whole[0] >= L'A' && whole[0] <= L'Z'));
  if (!driveRooted) return GetShortPathNameW(path, out, capacity);
  // Where the part that needs the file system ends: after the last component
  // that is no short name. Each component costs the system a directory look-up.
  size_t lookedUp = 0;
  for (size_t start = 3; start < whole.size();) {
    size_t end = std::min(whole.find(L'\\', start), whole.size());
    if (!isShortNameComponent(whole.substr(start, end - start))) lookedUp = end;
    start = end + 1;
  }
  std::wstring_view rest = whole.substr(lookedUp);
  DWORD length = 0;
  if (lookedUp > 0) {
    std::wstring head(whole.substr(0, lookedUp));
    length = GetShortPathNameW(head.c_str(), out, capacity);
    if (length == 0) return 0;
    // Refused: the size the whole path needs.
    if (length >= capacity) return static_cast<DWORD>(length + rest.size());
  }
  if (length + rest.size() >= capacity) return static_cast<DWORD>(length + rest.size() + 1);
  rest.copy(out + length, rest.size());
  out[length + rest.size()] = 0;
  return static_cast<DWORD>(length + rest.size());
}

namespace {

// The NT way: the wide module name, shortened, so that a path outside the ANSI
// code page still has a narrow form the ANSI file functions can open.
bool wideShortExecutablePath(char* out, size_t capacity) {
  wchar_t longName[kTextBufferSize];
  wchar_t shortName[kTextBufferSize];
  DWORD length = GetModuleFileNameW(nullptr, longName, kTextBufferSize);
  if (length == 0 || length >= kTextBufferSize) return false;
  length = shortPathOf(longName, shortName, kTextBufferSize);
  if (length == 0 || length >= kTextBufferSize) return false;
  return toNarrow(shortName, out, static_cast<int>(capacity)) && endsWithExe(out);
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

using LongPathFunction = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);

DWORD WINAPI resolveLongPathFunction(LPCSTR path, LPSTR out, DWORD size);
DWORD WINAPI longPathEmulation(LPCSTR path, LPSTR out, DWORD size) { return emulateLongPath(path, out, size); }

// Starts at the resolver, which replaces itself on its first call.
LongPathFunction volatile longPathFunction = resolveLongPathFunction;

DWORD WINAPI resolveLongPathFunction(LPCSTR path, LPSTR out, DWORD size) {
  auto system = kernelFunction<LongPathFunction>("GetLongPathNameA");
  if (system != nullptr) {
    DWORD result = system(path, out, size);
    if (result != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) {
      longPathFunction = system;
      return result;
    }
  }
  longPathFunction = longPathEmulation;
  return longPathEmulation(path, out, size);
}

// A shell failure code as a system error code.
DWORD errorFromResult(HRESULT result) {
  return HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : ERROR_INVALID_DATA;
}

}  // namespace

bool hasExtension(const char* name, const char* extension) {
  if (extension[0] == '.') ++extension;
  size_t nameLength = strlen(name);
  size_t length = strlen(extension);
  return nameLength > length && name[nameLength - length - 1] == '.' &&
         _stricmp(name + nameLength - length, extension) == 0;
}

bool isWindowsNT() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;  // 148 bytes
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

const char* executablePath() {
  char* exePath = exePathText.text();
  if (!exePathKnown) {
    if (!isWindowsNT() || !wideShortExecutablePath(exePath, RunText::capacity)) {
      ansiShortExecutablePath(exePath, RunText::capacity);
    }
    lowerCasePath(exePath);
    collapseBackslashes(exePath);
    exePathKnown = true;
  }
  return exePath;
}

const char* executableDirectory() {
  char* exeDir = exeDirText.text();
  if (!exeDirKnown) {
    char full[kTextBufferSize];
    char* namePart = nullptr;
    DWORD length = GetFullPathNameA(executablePath(), sizeof full, full, &namePart);
    if (length == 0 || length >= sizeof full) copyText(full, sizeof full, executablePath());
    if (!directoryOf(exeDir, RunText::capacity, full, true)) exeDir[0] = 0;
    exeDirKnown = true;
  }
  return exeDir;
}

UINT fileCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

bool directoryOf(char* out, size_t capacity, const char* path, bool slashesToo) {
  size_t separator = std::string_view(path).find_last_of(slashesToo ? "\\/" : "\\");
  if (separator == std::string_view::npos || separator + 1 >= capacity) return false;
  return copyText(out, capacity, std::string_view(path, separator + 1));
}

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
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  if (lastWriteTime != nullptr) *lastWriteTime = fileTimeValue(found.ftLastWriteTime);
  return true;
}

bool fileExists(const char* path) {
  if (path[0] == 0 || path[1] == 0) return findFile(path);
  const char* rest = path + 1;
  if (strcmp(rest, ":\\") == 0 || strcmp(rest, ":\\.") == 0 || strcmp(rest, ":\\.\\.") == 0) return true;
  return findFile(path);
}

bool isRelativePath(const char* path) {
  size_t length = strlen(path);
  if (length <= 2) return true;
  if (path[0] == '"') {
    if (length <= 3) return true;
    if (path[2] == ':' && path[3] == '\\') return false;
    if (path[1] == '\\' && path[2] == '\\') return false;
    return true;
  }
  if (path[1] == ':' && path[2] == '\\') return false;
  if (path[0] == '\\' && path[1] == '\\') return false;
  return true;
}

void lowerCasePath(char* path) {
  transformThroughWide(path, [](wchar_t* wide) { _wcslwr(wide); });
}

void collapseBackslashes(char* path) {
  transformThroughWide(path, [](wchar_t* wide) {
    if (wide[0] == 0 || wide[1] == 0) return;
    size_t kept = 2;
    for (size_t i = 2; wide[i] != 0; ++i) {
      if (wide[i] == L'\\' && wide[kept - 1] == L'\\') continue;
      wide[kept++] = wide[i];
    }
    wide[kept] = 0;
  });
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

DWORD toLongPath(const char* path, char* out, DWORD size) { return longPathFunction(path, out, size); }

DWORD longFormOf(const char* path, char* out, DWORD size) {
  if (strchr(path, '~') != nullptr) return toLongPath(path, out, size);
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return 0;
  size_t length = strlen(path);
  if (length >= size) return static_cast<DWORD>(length + 1);
  copyText(out, size, path);
  return static_cast<DWORD>(length);
}

const char* executableLongPath() {
  char* path = exeLongPathText.text();
  if (exeLongPathKnown) return path;
  exeLongPathKnown = true;
  wchar_t moduleName[kTextBufferSize];
  DWORD length = GetModuleFileNameW(nullptr, moduleName, kTextBufferSize);
  // A device path ("\\?\") is left to the system's long form of the short path.
  if (length > 0 && length < kTextBufferSize && wcsncmp(moduleName, L"\\\\?\\", 4) != 0 &&
      toNarrow(moduleName, path, static_cast<int>(RunText::capacity)) && strchr(path, '~') == nullptr) {
    return path;
  }
  length = toLongPath(executablePath(), path, static_cast<DWORD>(RunText::capacity));
  if (length == 0 || length >= RunText::capacity) copyText(path, RunText::capacity, executablePath());
  return path;
}

DWORD emulateLongPath(const char* path, char* out, DWORD size) {
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return 0;

  char full[MAX_PATH];
  char* namePart = nullptr;
  DWORD length = GetFullPathNameA(path, MAX_PATH, full, &namePart);
  if (length == 0) return 0;
  if (length >= MAX_PATH) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }

  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) return length;

  DWORD result = 0;
  wchar_t wide[MAX_PATH];
  LPITEMIDLIST items = nullptr;
  if (MultiByteToWideChar(fileCodePage(), 0, full, -1, wide, MAX_PATH) == 0) {
    if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) SetLastError(ERROR_BUFFER_OVERFLOW);
  } else {
    HRESULT parsed = desktop->ParseDisplayName(nullptr, nullptr, wide, nullptr, &items, nullptr);
    if (FAILED(parsed)) {
      SetLastError(errorFromResult(parsed));
    } else {
      char longForm[MAX_PATH];
      longForm[0] = 0;
      if (!SHGetPathFromIDListA(items, longForm) && longForm[0] != 0) {
        SetLastError(ERROR_INVALID_DATA);
      } else {
        DWORD longLength = static_cast<DWORD>(strlen(longForm));
        if (longLength + 1 > size) {
          SetLastError(ERROR_INSUFFICIENT_BUFFER);
          result = longLength + 1;
        } else {
          copyText(out, size, longForm);
          result = longLength;
        }
      }
    }
  }

  if (items != nullptr) {
    IMalloc* shellMalloc = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shellMalloc)) && shellMalloc != nullptr) {
      shellMalloc->Free(items);
      shellMalloc->Release();
    }
  }
  desktop->Release();
  return result;
}

std::vector<std::vector<std::string>> entriesWithExtensions(const char* dir,
                                                           const std::vector<const char*>& extensions) {
  std::vector<std::vector<std::string>> lists(extensions.size());
  char pattern[kTextBufferSize];
  if (!formatText(pattern, sizeof pattern, "%s\\*", dir)) return lists;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return lists;
  do {
    for (size_t i = 0; i < extensions.size(); ++i) {
      if (hasExtension(found.cFileName, extensions[i]) || hasExtension(found.cAlternateFileName, extensions[i])) {
        lists[i].emplace_back(found.cFileName);
      }
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return lists;
}

int listFilesWithExtension(const char* dir, const char* extension, char*** names) {
  std::vector<std::string> foundNames = entriesWithExtensions(dir, {extension})[0];
  if (foundNames.empty()) return 0;
  char** list = new (std::nothrow) char*[foundNames.size() + 1];
  if (list == nullptr) return 0;
  for (size_t i = 0; i < foundNames.size(); ++i) {
    list[i] = new (std::nothrow) char[kTextBufferSize];
    if (list[i] == nullptr) {
      for (size_t j = 0; j < i; ++j) delete[] list[j];
      delete[] list;
      return 0;
    }
    copyText(list[i], kTextBufferSize, foundNames[i].c_str());
  }
  *names = list;
  return static_cast<int>(foundNames.size());
}
