// Long and short path forms: the system's functions, or the shell's parsing
// where the system has no long form.
#include "PathForms.h"
#include "PathFormsInternal.h"

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <string_view>

#include "Buffers.h"
#include "PathText.h"
#include "SystemFunctions.h"
#include "UniqueHandle.h"

namespace {

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

using LongPathFunction = DWORD(WINAPI*)(LPCSTR, LPSTR, DWORD);

DWORD WINAPI resolveLongPathFunction(LPCSTR path, LPSTR out, DWORD size);
DWORD WINAPI longPathEmulation(LPCSTR path, LPSTR out, DWORD size) { return emulateLongPath(path, out, size); }

// Process-wide, resolved once: starts at the resolver, which puts the
// system's function or the emulation in its place on the first call.
std::atomic<LongPathFunction> longPathFunction{resolveLongPathFunction};

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

// An item list the shell's parsing made, given back to the shell's allocator.
struct ShellItemListTraits {
  using Value = LPITEMIDLIST;
  static LPITEMIDLIST empty() { return nullptr; }
  static bool isValid(LPITEMIDLIST items) { return items != nullptr; }
  static void close(LPITEMIDLIST items) {
    ComPtr<IMalloc> shellMalloc;
    if (SUCCEEDED(SHGetMalloc(shellMalloc.receive())) && shellMalloc) shellMalloc.get()->Free(items);
  }
};
using UniqueShellItemList = UniqueResource<ShellItemListTraits>;

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

DWORD toLongPath(const char* path, char* out, DWORD size) { return longPathFunction.load()(path, out, size); }

DWORD longFormOf(const char* path, char* out, DWORD size) {
  if (strchr(path, '~') != nullptr) return toLongPath(path, out, size);
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return 0;
  size_t length = strlen(path);
  if (length >= size) return static_cast<DWORD>(length + 1);
  copyText(out, size, path);
  return static_cast<DWORD>(length);
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

  // Without the shell's parsing the full path is the best answer there is.
  ComPtr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.receive())) || !desktop) return length;

  wchar_t wide[MAX_PATH];
  if (MultiByteToWideChar(fileCodePage(), 0, full, -1, wide, MAX_PATH) == 0) {
    if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  UniqueShellItemList items;
  HRESULT parsed = desktop.get()->ParseDisplayName(nullptr, nullptr, wide, nullptr, items.receive(), nullptr);
  if (FAILED(parsed)) {
    SetLastError(errorFromResult(parsed));
    return 0;
  }
  char longForm[MAX_PATH];
  longForm[0] = 0;
  if (!SHGetPathFromIDListA(items.get(), longForm) && longForm[0] != 0) {
    SetLastError(ERROR_INVALID_DATA);
    return 0;
  }
  DWORD longLength = static_cast<DWORD>(strlen(longForm));
  if (longLength + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return longLength + 1;
  }
  copyText(out, size, longForm);
  return longLength;
}
