// The deletion queue's entry filter, on every entry of a queue value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "QueueEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<std::string> locations = {"C:\\users\\me\\Temp\\", "c:\\temp", "C:\\windows\\temp"};
  std::string_view value(reinterpret_cast<const char*>(data), size);
  while (!value.empty()) {
    std::string_view entry = value.substr(0, value.find(';'));
    bool directory = isQueuedDirectoryAccepted(entry, locations);
    bool file = isQueuedFileAccepted(entry, locations);
    // An entry is one or the other, never both; an accepted one is a drive path.
    if ((directory && file) || ((directory || file) && (entry.size() < 4 || entry[1] != ':'))) __builtin_trap();
    isExtractionDirectoryName(entry);
    value.remove_prefix(entry.size() < value.size() ? entry.size() + 1 : value.size());
  }
  return 0;
}
