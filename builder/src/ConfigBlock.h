// The configuration block and the application executable around it: the one
// place that knows their byte layout. Build writes through it, inspect reads.
//
//   stub | magic | N | N x {key, length, bytes} | M | M x {key, length, bytes}
//        | included files (none yet) | zero padding to a multiple of 512 bytes
#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "BlockFormat.h"
#include "ByteOrder.h"

namespace tovex {

// The executable's size is rounded up to this many bytes.
constexpr std::size_t kFileSizeAlignment = blockformat::kFileSizeAlignment;

struct Record {
    int32_t key;
    std::string bytes;  // ANSI text (narrow) or UTF-16LE (wide), no terminator
};

struct ConfigBlock {
    std::vector<Record> narrow;
    std::vector<Record> wide;
};

// Stub, then the block, then padding. The stub is copied unchanged.
Bytes assembleExecutable(const Bytes& stub, const ConfigBlock& block);

struct RecordAt {
    Record record;
    std::size_t offset;  // of the record's key field
};

struct ParsedBlock {
    std::vector<RecordAt> narrow;
    std::vector<RecordAt> wide;
    std::size_t blockOffset;
    std::size_t includedFilesOffset;  // just past the last wide record
};

class BlockFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the block that starts at `offset`; throws BlockFormatError saying
// what is wrong and where.
ParsedBlock parseConfigBlock(const Bytes& file, std::size_t offset);

// "3584 (0xE00)"
std::string describeOffset(std::size_t offset);

}  // namespace tovex
