// The build tool's application manifest check on any bytes.
#include <cstddef>
#include <cstdint>

#include "ManifestXml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tovex::manifestProblem(tovex::Bytes(data, data + size));
  return 0;
}
