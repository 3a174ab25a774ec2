// Reading the configuration block and walking the included-files area behind
// it, on any source of bytes: the launcher gives its own executable, the fuzz
// targets a buffer. Portable: no system headers.
#pragma once
#include <cstddef>
#include <cstdint>

// Positioned reads from a file of known size.
struct ByteSource {
  void* context;
  // Reads exactly size bytes at offset; false when the source ends early or fails.
  bool (*readAt)(void* context, uint32_t offset, void* buffer, uint32_t size);
  uint32_t size;  // the whole source's length
};

// Outcome of reading a block, for loadConfigBlock and tests.
enum class ConfigReadResult { ok, badMagic, badInt, badString, badWideString };

// Receives each record's text: narrow texts are terminated, wide ones hold
// length / 2 UTF-16 units and a terminating zero unit. The receiver owns the
// text (allocated with ::operator new).
struct RecordSink {
  void* context;
  void (*narrow)(void* context, int32_t key, char* text);
  void (*wide)(void* context, int32_t key, char* utf16Text);
};

// Reads magic and records into sink; *filesOffset becomes the position just
// behind the last wide record.
ConfigReadResult readBlockRecords(const ByteSource& source, const RecordSink& sink, uint32_t* filesOffset);

// A little-endian 32-bit integer at offset.
bool readInt32At(const ByteSource& source, uint32_t offset, int32_t* value);

// How the included-files area from `start` holds together: the named entries
// (as many as the names the launcher extracts), each a size and that many
// bytes, then possibly more such entries until zero padding or the end.
enum class AreaShape {
  whole,         // the named entries end within the area, and what follows them is
                 // entries that reach the last non-zero byte, or zero padding
  negativeSize,  // an entry's size is below zero: the block is damaged
  overrunsEnd,   // an entry's data, or a size field, reaches past the area's end, or an
                 // unnamed entry's data lies wholly in the zero bytes behind the last
                 // non-zero one
};

// The area's end: the source's end, or the start of an Authenticode
// signature appended behind the block.
uint32_t includedAreaEnd(const ByteSource& source, uint32_t start);

// Walks the area from start to includedAreaEnd. The named entries' data is
// never taken for padding, whatever bytes it holds.
AreaShape checkIncludedArea(const ByteSource& source, uint32_t start, int namedEntries);
