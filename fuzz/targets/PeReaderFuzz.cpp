// The build tool's reading of an executable image: the header checks, the
// resource directory as `inspect` and `build --stub` read it, and writing the
// resources back.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "ApplicationResources.h"
#include "PeStub.h"
#include "ResourceDirectory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tovex::Bytes image(data, data + size);
  tovex::findStubProblem(image);
  if (tovex::findHeaderProblem(image)) return 0;
  try {
    std::vector<tovex::Resource> resources = tovex::readImageResources(image);
    tovex::serialiseResourceDirectory(resources, tovex::lastSection(image).virtualAddress);
  } catch (const std::runtime_error&) {
    // A refused image, with its reason: what the commands report.
  }
  return 0;
}
