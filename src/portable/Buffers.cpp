#include "Buffers.h"

#include <cstdio>
#include <cstring>

namespace {

bool copyBounded(char* dst, size_t capacity, size_t start, const char* src) {
  if (capacity == 0) return false;
  size_t i = start;
  if (src != nullptr) {
    for (; *src != 0; ++src) {
      if (i + 1 >= capacity) {
        dst[i] = 0;
        return false;
      }
      dst[i++] = *src;
    }
  }
  dst[i] = 0;
  return true;
}

// The system C library's formatting: the C++ headers select MinGW's own,
// which adds 25 KB to the executable for conversions no text here uses. The
// native builds (fuzzing) have the standard function.
int formatBounded(char* dst, size_t capacity, const char* format, va_list args) {
#ifdef _WIN32
  return _vsnprintf(dst, capacity, format, args);
#else
  return vsnprintf(dst, capacity, format, args);
#endif
}

size_t boundedLength(const char* text, size_t capacity) {
  size_t n = 0;
  while (n < capacity && text[n] != 0) ++n;
  return n;
}

}  // namespace

bool copyText(char* dst, size_t capacity, const char* src) {
  return copyBounded(dst, capacity, 0, src);
}

bool copyText(char* dst, size_t capacity, std::string_view src) {
  if (capacity == 0) return false;
  size_t length = src.size() < capacity ? src.size() : capacity - 1;
  src.copy(dst, length);
  dst[length] = 0;
  return length == src.size();
}

void trimLineEnd(char* line) {
  size_t length = strlen(line);
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = 0;
}

bool appendText(char* dst, size_t capacity, const char* src) {
  size_t used = boundedLength(dst, capacity);
  if (used >= capacity) return false;  // not terminated: nothing fits
  return copyBounded(dst, capacity, used, src);
}

bool formatTextV(char* dst, size_t capacity, const char* format, va_list args) {
  if (capacity == 0) return false;
  int n = formatBounded(dst, capacity, format, args);
  dst[capacity - 1] = 0;
  // A C library that reports a cut with -1 has still filled the buffer.
  if (n < 0) return false;
  return static_cast<size_t>(n) < capacity;
}

bool formatText(char* dst, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool whole = formatTextV(dst, capacity, format, args);
  va_end(args);
  return whole;
}
