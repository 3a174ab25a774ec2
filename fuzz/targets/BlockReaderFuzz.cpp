// The configuration block's records and the included-files area of an
// executable made of the input bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  Input input{data, size};
  ByteSource source{&input, readAt, static_cast<uint32_t>(size)};
  uint32_t filesOffset = 0;
  if (readBlockRecords(source, RecordSink{nullptr, dropText, dropText}, &filesOffset) == ConfigReadResult::ok) {
    checkIncludedArea(source, filesOffset);
  }
  // The area's walk on its own, from the start, reaches code the block guards.
  checkIncludedArea(source, size > 8 ? static_cast<uint32_t>(data[0]) % size : 0);
  return 0;
}
