// The configuration block's records and the included-files area of an
// executable made of the input bytes; and an area made as the build tool
// makes one, from two files cut from the input, which must read as whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "BlockFormat.h"
#include "BlockReader.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
};

bool readAt(void* context, uint32_t offset, void* buffer, uint32_t size) {
  const Input* input = static_cast<const Input*>(context);
  if (offset > input->size || size > input->size - offset) return false;
  memcpy(buffer, input->data + offset, size);
  return true;
}

void dropText(void*, int32_t, char* text) { ::operator delete(text); }

void appendEntry(std::vector<uint8_t>& area, const uint8_t* data, size_t size) {
  for (int i = 0; i < 4; ++i) area.push_back(static_cast<uint8_t>(size >> (8 * i)));
  for (size_t i = 0; i < size; ++i) area.push_back(data[i] ^ blockformat::kScrambleMask);
}

// The input after its first byte, cut where that byte says into two files,
// written as the build tool writes them: size, scrambled bytes, then zero
// padding to a multiple of 512 bytes. Whatever the files hold, the area is
// whole.
void checkBuiltArea(const uint8_t* data, size_t size) {
  if (size == 0) return;
  size_t first = data[0] % size;
  std::vector<uint8_t> area;
  appendEntry(area, data + 1, first);
  appendEntry(area, data + 1 + first, size - 1 - first);
  area.resize((area.size() + blockformat::kFileSizeAlignment - 1) / blockformat::kFileSizeAlignment *
              blockformat::kFileSizeAlignment);
  Input input{area.data(), area.size()};
  if (checkIncludedArea(ByteSource{&input, readAt, static_cast<uint32_t>(area.size())}, 0, 2) != AreaShape::whole) {
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  Input input{data, size};
  ByteSource source{&input, readAt, static_cast<uint32_t>(size)};
  uint32_t filesOffset = 0;
  if (readBlockRecords(source, RecordSink{nullptr, dropText, dropText}, &filesOffset) == ConfigReadResult::ok) {
    checkIncludedArea(source, filesOffset, size > 0 ? data[size - 1] % 8 : 0);
  }
  // The area's walk on its own, from the start, reaches code the block guards.
  checkIncludedArea(source, size > 8 ? static_cast<uint32_t>(data[0]) % size : 0, size > 1 ? data[1] % 4 : 0);
  checkBuiltArea(data, size);
  return 0;
}
