// Names Windows opens as a device instead of a file: "NUL", "com1.jar",
// "CLOCK$" and the like. The build tool refuses them as included-file names
// and the launcher never writes to them. Portable: no system headers.
#pragma once
#include <string_view>

namespace devicenames {

inline char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool equalsUpper(std::string_view text, std::string_view upperName) {
  if (text.size() != upperName.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (upper(text[i]) != upperName[i]) return false;
  }
  return true;
}

// A name is a device when its stem (up to the first dot, blanks at its end
// dropped) is one of these, whatever the extension. COM and LPT with a
// superscript digit are devices too.
inline bool isWindowsDeviceName(std::string_view name) {
  static constexpr std::string_view kDevices[] = {
      "CON",  "PRN",  "AUX",  "NUL",  "CLOCK$", "CONIN$", "CONOUT$", "COM1", "COM2", "COM3", "COM4",
      "COM5", "COM6", "COM7", "COM8", "COM9",   "LPT1",   "LPT2",    "LPT3", "LPT4", "LPT5", "LPT6",
      "LPT7", "LPT8", "LPT9", "COM\xB9", "COM\xB2", "COM\xB3", "LPT\xB9", "LPT\xB2", "LPT\xB3"};
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && (stem.back() == ' ')) stem.remove_suffix(1);
  for (std::string_view device : kDevices) {
    if (equalsUpper(stem, device)) return true;
  }
  return false;
}

}  // namespace devicenames
