// The configuration block and the application executable around it: the one
// place that knows their byte layout. Build writes through it, inspect reads.
//
//   stub | magic | N | N x {key, length, bytes} | M | M x {key, length, bytes}
//        | included files: per file {size, size bytes ^ kScrambleMask}
//        | zero padding to a multiple of 512 bytes
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
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

// Magic, narrow records, wide records.
Bytes encodeConfigBlock(const ConfigBlock& block);

// A file for the included-files area, with its size as checked beforehand.
struct IncludedFileSource {
    std::filesystem::path path;
    uint32_t size;  // at most INT32_MAX: the size field is signed
};

// The size writeExecutable gives the executable, padding included.
uint64_t executableSize(std::size_t stubSize, std::size_t blockSize, const std::vector<IncludedFileSource>& files);

// Stub (unchanged), block, included-files area, padding. Each file is read
// while it is written, a piece at a time. Throws FileError when a file cannot
// be read or has shrunk since it was checked.
void writeExecutable(std::ostream& out, const Bytes& stub, const Bytes& block,
                     const std::vector<IncludedFileSource>& files);

// Copies `size` bytes, each exclusive-or'ed with kScrambleMask: that both
// scrambles and unscrambles. False when `in` ends early. Stops when `out`
// fails, which the caller sees in its state.
bool copyScrambled(std::istream& in, std::ostream& out, uint64_t size);

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

struct IncludedEntryAt {
    uint64_t offset;  // of the size field
    uint32_t size;
    uint64_t dataOffset() const;
};

struct IncludedArea {
    std::vector<IncludedEntryAt> entries;  // the intact ones, in order
    std::optional<std::string> damage;     // what is wrong with the entry after them
};

// Walks the area at `offset` of `file` (`fileSize` bytes) for one entry per
// name; the names are only used in messages.
IncludedArea parseIncludedArea(std::istream& file, uint64_t fileSize, uint64_t offset,
                               const std::vector<std::string>& names);

// "3584 (0xE00)"
std::string describeOffset(uint64_t offset);

}  // namespace tovex
