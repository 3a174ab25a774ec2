// Path text: code page conversions, directory parts, extensions, normal form.
#include "PathText.h"

#include <cstring>
#include <cwchar>
#include <string_view>

#include "Buffers.h"

namespace {

// Runs a UTF-16 transformation over path and writes the result back only when
// the round trip keeps every character and the result fits where path was.
template <typename Transform>
void transformThroughWide(char* path, Transform transform) {
  wchar_t wide[kTextBufferSize];
  if (!pathToWide(path, wide, kTextBufferSize)) return;
  transform(wide);
  char narrow[kTextBufferSize];
  if (!pathToNarrow(wide, narrow, sizeof narrow)) return;
  if (strlen(narrow) > strlen(path)) return;
  copyText(path, strlen(path) + 1, narrow);
}

}  // namespace

UINT fileCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

bool pathToWide(const char* path, wchar_t* out, int capacity) {
  return MultiByteToWideChar(fileCodePage(), 0, path, -1, out, capacity) > 0;
}

bool pathToNarrow(const wchar_t* path, char* out, int capacity) {
  BOOL usedDefault = FALSE;
  int written = WideCharToMultiByte(fileCodePage(), 0, path, -1, out, capacity, "?", &usedDefault);
  return written > 0 && !usedDefault;
}

bool directoryOf(char* out, size_t capacity, const char* path, bool slashesToo) {
  size_t separator = std::string_view(path).find_last_of(slashesToo ? "\\/" : "\\");
  if (separator == std::string_view::npos || separator + 1 >= capacity) return false;
  return copyText(out, capacity, std::string_view(path, separator + 1));
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

bool hasExtension(const char* name, const char* extension) {
  if (extension[0] == '.') ++extension;
  size_t nameLength = strlen(name);
  size_t length = strlen(extension);
  return nameLength > length && name[nameLength - length - 1] == '.' &&
         _stricmp(name + nameLength - length, extension) == 0;
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
