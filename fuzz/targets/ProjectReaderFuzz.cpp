// The build tool's project reader on any text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Project.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tovex::readProject(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.toml");
  return 0;
}
