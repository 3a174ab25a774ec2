// The configuration block's records and the included-files area's shape.
#include "BlockReader.h"

#include <new>

#include "BlockFormat.h"

namespace {

// Lengths come from the file: a negative one is refused like a short read, and
// an absurd one fails its allocation instead of ending the process.
char* readRecordText(const ByteSource& source, uint32_t* position, int32_t length, bool wide) {
  if (length < 0 || static_cast<uint32_t>(length) > source.size) return nullptr;
  size_t bytes = static_cast<size_t>(length);
  char* text = static_cast<char*>(::operator new(bytes + 2, std::nothrow));
  if (text == nullptr) return nullptr;
  if (!source.readAt(source.context, *position, text, static_cast<uint32_t>(length))) {
    ::operator delete(text);
    return nullptr;
  }
  *position += static_cast<uint32_t>(length);
  // An odd wide length drops its last byte with the half unit.
  size_t end = wide ? bytes & ~static_cast<size_t>(1) : bytes;
  text[end] = 0;
  text[end + 1] = 0;
  return text;
}

ConfigReadResult readRecordList(const ByteSource& source, uint32_t* position, const RecordSink& sink, bool wide) {
  int32_t count = 0;
  if (!readInt32At(source, *position, &count)) return ConfigReadResult::badInt;
  *position += 4;
  for (int32_t i = 0; i < count; ++i) {
    int32_t key = 0;
    int32_t length = 0;
    if (!readInt32At(source, *position, &key) || !readInt32At(source, *position + 4, &length)) {
      return ConfigReadResult::badInt;
    }
    *position += 8;
    char* text = readRecordText(source, position, length, wide);
    if (text == nullptr) return wide ? ConfigReadResult::badWideString : ConfigReadResult::badString;
    (wide ? sink.wide : sink.narrow)(sink.context, key, text);
  }
  return ConfigReadResult::ok;
}

uint32_t readUint32At(const ByteSource& source, uint32_t offset, bool* ok) {
  int32_t value = 0;
  *ok = *ok && readInt32At(source, offset, &value);
  return static_cast<uint32_t>(value);
}

// One past the last byte of [start, end) that is not zero; start when all are.
uint32_t endOfNonZeroData(const ByteSource& source, uint32_t start, uint32_t end) {
  unsigned char chunk[4096];
  while (end > start) {
    uint32_t size = end - start < sizeof chunk ? end - start : static_cast<uint32_t>(sizeof chunk);
    if (!source.readAt(source.context, end - size, chunk, size)) return end;
    for (uint32_t i = size; i > 0; --i) {
      if (chunk[i - 1] != 0) return end - size + i;
    }
    end -= size;
  }
  return start;
}

}  // namespace

bool readInt32At(const ByteSource& source, uint32_t offset, int32_t* value) {
  unsigned char bytes[4];
  if (!source.readAt(source.context, offset, bytes, 4)) return false;
  *value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
  return true;
}

ConfigReadResult readBlockRecords(const ByteSource& source, const RecordSink& sink, uint32_t* filesOffset) {
  *filesOffset = 0;
  int32_t rawSize = 0;
  int32_t rawOffset = 0;
  if (!readInt32At(source, blockformat::kLastSectionRawSizeOffset, &rawSize) ||
      !readInt32At(source, blockformat::kLastSectionRawPointerOffset, &rawOffset)) {
    return ConfigReadResult::badInt;
  }
  uint32_t position = static_cast<uint32_t>(rawOffset) + static_cast<uint32_t>(rawSize);
  int32_t magic = 0;
  if (!readInt32At(source, position, &magic)) return ConfigReadResult::badInt;
  if (static_cast<uint32_t>(magic) != blockformat::kMagic) return ConfigReadResult::badMagic;
  position += 4;
  ConfigReadResult result = readRecordList(source, &position, sink, false);
  if (result != ConfigReadResult::ok) return result;
  result = readRecordList(source, &position, sink, true);
  if (result != ConfigReadResult::ok) return result;
  *filesOffset = position;
  return ConfigReadResult::ok;
}

uint32_t includedAreaEnd(const ByteSource& source, uint32_t start) {
  // The signature's place is in the security entry of the data directories,
  // which sit at 96 (PE32) or 112 (PE32+) bytes into the optional header.
  bool ok = true;
  uint32_t peHeader = readUint32At(source, 0x3C, &ok);
  int32_t magicWord = 0;
  ok = ok && peHeader < source.size && readInt32At(source, peHeader + 24, &magicWord);
  if (!ok) return source.size;
  uint32_t directories = peHeader + 24 + ((magicWord & 0xFFFF) == 0x20B ? 112 : 96);
  uint32_t signature = readUint32At(source, directories + 4 * 8, &ok);
  uint32_t signatureSize = readUint32At(source, directories + 4 * 8 + 4, &ok);
  if (ok && signature >= start && signature < source.size && signatureSize == source.size - signature) {
    return signature;
  }
  return source.size;
}

AreaShape checkIncludedArea(const ByteSource& source, uint32_t start, int namedEntries) {
  uint32_t end = includedAreaEnd(source, start);
  if (start >= end) return AreaShape::whole;
  uint64_t position = start;
  // The named entries are walked by their sizes alone: their data may be
  // anything, zero bytes at the end too (a file of 0xA7 bytes, scrambled).
  for (int i = 0; i < namedEntries; ++i) {
    int32_t size = 0;
    if (position + 4 > end || !readInt32At(source, static_cast<uint32_t>(position), &size)) {
      return AreaShape::overrunsEnd;
    }
    if (size < 0) return AreaShape::negativeSize;
    position += 4 + static_cast<uint64_t>(size);
    if (position > end) return AreaShape::overrunsEnd;
  }
  // Behind them, entries no name extracts, then the zero padding.
  uint32_t dataEnd = endOfNonZeroData(source, static_cast<uint32_t>(position), end);
  while (position < dataEnd) {
    int32_t size = 0;
    if (position + 4 > end || !readInt32At(source, static_cast<uint32_t>(position), &size)) {
      return AreaShape::overrunsEnd;
    }
    if (size < 0) return AreaShape::negativeSize;
    // Data that lies wholly in the zero bytes behind the last non-zero one is
    // a size read from the remains of a file cut short by the size before.
    if (size > 0 && position + 4 >= dataEnd) return AreaShape::overrunsEnd;
    position += 4 + static_cast<uint64_t>(size);
    if (position > end) return AreaShape::overrunsEnd;
  }
  return AreaShape::whole;
}
