// Version texts as numbers; see VersionText.h. No Windows headers here.
#include "VersionText.h"

#include <cstring>

namespace {

constexpr const char* kVersionMarker = " version \"";
constexpr const char* kReleaseKey = "JAVA_VERSION=\"";
// A component never grows past this, however many digits it has.
constexpr uint32_t kComponentLimit = 0x0FFFFFFF;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Copies the text from start up to the next double quote; false when there is none.
bool copyUpToQuote(const char* start, char* out, size_t capacity) {
  const char* end = strchr(start, '"');
  if (end == nullptr || capacity == 0) return false;
  size_t length = static_cast<size_t>(end - start);
  // Cutting a version would give another version: refused instead.
  if (length >= capacity) return false;
  memcpy(out, start, length);
  out[length] = 0;
  return true;
}

}  // namespace

VersionNumber parseVersionNumber(const char* text) {
  VersionNumber number{};
  const char* p = text;
  while (isDigit(*p) && number.count < kMaxVersionComponents) {
    uint32_t value = 0;
    while (isDigit(*p)) {
      value = value < kComponentLimit / 10 ? value * 10 + static_cast<uint32_t>(*p - '0') : kComponentLimit;
      ++p;
    }
    number.components[number.count++] = value;
    if ((*p != '.' && *p != '_') || !isDigit(p[1])) break;
    ++p;
  }
  // The old scheme's "1." names the feature release that follows it.
  if (number.count >= 2 && number.components[0] == 1) {
    memmove(number.components, number.components + 1, (number.count - 1) * sizeof number.components[0]);
    --number.count;
  }
  return number;
}

int compareVersionPrefix(const VersionNumber& a, const VersionNumber& b, size_t length) {
  for (size_t i = 0; i < length && i < kMaxVersionComponents; ++i) {
    uint32_t left = i < a.count ? a.components[i] : 0;
    uint32_t right = i < b.count ? b.components[i] : 0;
    if (left != right) return left < right ? -1 : 1;
  }
  return 0;
}

int compareVersionTexts(const char* a, const char* b) {
  VersionNumber left = parseVersionNumber(a);
  VersionNumber right = parseVersionNumber(b);
  return compareVersionPrefix(left, right, left.count > right.count ? left.count : right.count);
}

bool versionWithinBounds(const char* version, const char* minimum, const char* maximum) {
  VersionNumber number = parseVersionNumber(version);
  if (*minimum == 0 && *maximum == 0) return true;
  if (number.count == 0) return false;
  if (*minimum != 0) {
    VersionNumber lower = parseVersionNumber(minimum);
    if (compareVersionPrefix(number, lower, lower.count) < 0) return false;
  }
  if (*maximum != 0) {
    VersionNumber upper = parseVersionNumber(maximum);
    if (compareVersionPrefix(number, upper, upper.count) > 0) return false;
  }
  return true;
}

bool isVersionLine(const char* line) {
  const char* marker = strstr(line, kVersionMarker);
  if (marker == nullptr || marker == line) return false;
  // One word before the marker: no blank, no quote.
  for (const char* p = line; p < marker; ++p) {
    if (*p == ' ' || *p == '\t' || *p == '"') return false;
  }
  return true;
}

bool parseModernVersionLine(const char* line, char* version, size_t capacity) {
  if (!isVersionLine(line)) return false;
  const char* open = strchr(line, '"');
  return copyUpToQuote(open + 1, version, capacity) && version[0] != 0;
}

bool parseReleaseFileLine(const char* line, char* version, size_t capacity) {
  size_t keyLength = strlen(kReleaseKey);
  if (strncmp(line, kReleaseKey, keyLength) != 0) return false;
  return copyUpToQuote(line + keyLength, version, capacity) && version[0] != 0;
}
