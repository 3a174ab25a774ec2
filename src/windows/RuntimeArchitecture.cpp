// Reading a PE file's machine field; see RuntimeArchitecture.h.
#include "RuntimeArchitecture.h"

#include <cstdio>

#include "ErrorCodes.h"
#include "UniqueHandle.h"

namespace {

// The DOS header's pointer to the PE signature.
constexpr size_t kPeOffsetField = 0x3C;
// Enough of a file for the DOS header and a PE header that sits close behind it.
constexpr size_t kHeaderBytes = 4096;

uint32_t readLittle32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint16_t peMachineOfImage(const unsigned char* data, size_t size) {
  if (size < kPeOffsetField + 4 || data[0] != 'M' || data[1] != 'Z') return 0;
  uint32_t peOffset = readLittle32(data + kPeOffsetField);
  // The signature "PE\0\0" and the two bytes of the machine field must be there.
  if (peOffset > size || size - peOffset < 6) return 0;
  const unsigned char* pe = data + peOffset;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return 0;
  return static_cast<uint16_t>(pe[4] | pe[5] << 8);
}

uint16_t peMachineOfFile(const char* path) {
  UniqueFile file(fopen(path, "rb"));
  if (!file) return 0;
  unsigned char header[kHeaderBytes];
  size_t size = fread(header, 1, sizeof header, file.get());
  return peMachineOfImage(header, size);
}

const char* machineText(uint16_t machine) {
  switch (machine) {
    case kMachineI386:
      return kMachine32BitText;
    case kMachineAmd64:
      return kMachine64BitText;
    case kMachineArm64:
      return kMachineArm64Text;
    default:
      return kUnknownText;
  }
}
