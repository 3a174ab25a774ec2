// Version texts: the version line, the release file's line and the numeric
// order, on any line a runtime might print.
#include <cstddef>
#include <cstdint>
#include <string>

#include "VersionText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string line = text.substr(0, text.find('\0'));
  char version[64];
  if (parseModernVersionLine(line.c_str(), version, sizeof version)) {
    // What comes back is terminated within the buffer and orders like itself.
    if (std::char_traits<char>::length(version) >= sizeof version) __builtin_trap();
    if (compareVersionTexts(version, version) != 0) __builtin_trap();
    if (!versionWithinBounds(version, version, version) && parseVersionNumber(version).count > 0) __builtin_trap();
  }
  parseReleaseFileLine(line.c_str(), version, sizeof version);
  isVersionLine(line.c_str());
  // The two halves of the input as a version and a bound.
  std::string first = line.substr(0, line.size() / 2), second = line.substr(line.size() / 2);
  int forward = compareVersionTexts(first.c_str(), second.c_str());
  int backward = compareVersionTexts(second.c_str(), first.c_str());
  if ((forward < 0 && backward <= 0) || (forward > 0 && backward >= 0) || (forward == 0 && backward != 0)) {
    __builtin_trap();
  }
  versionWithinBounds(first.c_str(), second.c_str(), "");
  return 0;
}
