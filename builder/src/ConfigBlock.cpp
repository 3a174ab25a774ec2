#include "ConfigBlock.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "BlockFormat.h"
#include "FileIo.h"

namespace tovex {
namespace {

constexpr std::size_t kFieldSize = 4;

// Large enough that reading and writing cost little per call, small enough
// not to matter beside the files themselves.
constexpr std::size_t kCopyChunkSize = 1 << 20;

std::string byteCount(uint64_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }

void appendRecords(Bytes& out, const std::vector<Record>& records) {
    appendI32(out, static_cast<int32_t>(records.size()));
    for (const Record& record : records) {
        appendI32(out, record.key);
        appendI32(out, static_cast<int32_t>(record.bytes.size()));
        out.insert(out.end(), record.bytes.begin(), record.bytes.end());
    }
}

std::string magicBytesAt(const Bytes& file, std::size_t offset) {
    std::string text;
    for (std::size_t i = offset; i < offset + kFieldSize && i < file.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%s%02X", text.empty() ? "" : " ", file[i]);
        text += hex;
    }
    return text;
}

void expectMagic(const Bytes& file, std::size_t offset) {
    std::string expected = "no configuration block: expected magic D5 13 E4 E8 at offset " + describeOffset(offset);
    if (offset >= file.size())
        throw BlockFormatError(expected + ", but the file ends there (" + std::to_string(file.size()) + " bytes)");
    if (file.size() - offset < kFieldSize || readU32(file, offset) != blockformat::kMagic)
        throw BlockFormatError(expected + ", found " + magicBytesAt(file, offset));
}

// Reads one list of records (count, then the records) starting at `offset`.
std::vector<RecordAt> parseRecords(const Bytes& file, std::size_t& offset, const std::string& kind) {
    std::size_t remaining = file.size() - offset;
    if (remaining < kFieldSize)
        throw BlockFormatError(kind + " record count at offset " + describeOffset(offset) +
                               " is cut off by the end of the file (" + std::to_string(remaining) +
                               " of 4 bytes present)");
    int32_t count = readI32(file, offset);
    if (count < 0)
        throw BlockFormatError("negative " + kind + " record count (" + std::to_string(count) + ") at offset " +
                               describeOffset(offset));
    offset += kFieldSize;

    std::vector<RecordAt> records;  // not reserved: the count may be damaged
    for (int32_t index = 1; index <= count; ++index) {
        std::string which = kind + " record " + std::to_string(index) + " of " + std::to_string(count);
        remaining = file.size() - offset;
        if (remaining < 2 * kFieldSize)
            throw BlockFormatError(which + " at offset " + describeOffset(offset) +
                                   " is cut off by the end of the file: its key and length need 8 bytes, " +
                                   byteCount(remaining) + " left");
        int32_t key = readI32(file, offset);
        int32_t length = readI32(file, offset + kFieldSize);
        which += " (key " + std::to_string(key) + ") at offset " + describeOffset(offset);
        if (length < 0)
            throw BlockFormatError(which + " has a negative length (" + std::to_string(length) + ")");
        remaining -= 2 * kFieldSize;
        if (remaining < static_cast<std::size_t>(length))
            throw BlockFormatError(which + " is cut off by the end of the file: its value needs " +
                                   byteCount(static_cast<std::size_t>(length)) + ", " + byteCount(remaining) + " left");
        const char* value = reinterpret_cast<const char*>(file.data()) + offset + 2 * kFieldSize;
        records.push_back({{key, std::string(value, static_cast<std::size_t>(length))}, offset});
        offset += 2 * kFieldSize + static_cast<std::size_t>(length);
    }
    return records;
}

uint64_t paddingAfter(uint64_t size) { return (kFileSizeAlignment - size % kFileSizeAlignment) % kFileSizeAlignment; }

uint64_t sizeBeforePadding(std::size_t stubSize, std::size_t blockSize, const std::vector<IncludedFileSource>& files) {
    uint64_t size = uint64_t{stubSize} + blockSize;
    for (const IncludedFileSource& file : files) size += kFieldSize + file.size;
    return size;
}

void writeBytes(std::ostream& out, const uint8_t* bytes, std::size_t count) {
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
}

void writeIncludedFile(std::ostream& out, const IncludedFileSource& file) {
    Bytes sizeField;
    appendI32(sizeField, static_cast<int32_t>(file.size));
    writeBytes(out, sizeField.data(), sizeField.size());
    std::ifstream in = openForReading(file.path);
    if (!copyScrambled(in, out, file.size)) {
        if (in.bad()) throw FileError("cannot read " + pathToUtf8(file.path) + ": read error");
        throw FileError(pathToUtf8(file.path) + " became shorter than " + byteCount(file.size) +
                        " while the executable was written");
    }
}

// Reads the size field of the entry at entry.offset, or says what is wrong with the entry.
std::optional<std::string> readIncludedEntry(std::istream& file, uint64_t fileSize, IncludedEntryAt& entry) {
    uint64_t remaining = fileSize - entry.offset;
    if (remaining < kFieldSize)
        return "is cut off by the end of the file: its size needs 4 bytes, " + byteCount(remaining) + " left";
    Bytes field(kFieldSize);
    file.seekg(static_cast<std::streamoff>(entry.offset));
    if (!file.read(reinterpret_cast<char*>(field.data()), kFieldSize))
        return std::string("cannot be read: the file ended early");
    int32_t size = readI32(field, 0);
    if (size < 0) return "has a negative size (" + std::to_string(size) + ")";
    entry.size = static_cast<uint32_t>(size);
    if (remaining - kFieldSize < entry.size)
        return "is cut off by the end of the file: its data needs " + byteCount(entry.size) + ", " +
               byteCount(remaining - kFieldSize) + " left";
    return std::nullopt;
}

}  // namespace

Bytes encodeConfigBlock(const ConfigBlock& block) {
    Bytes bytes;
    appendU32(bytes, blockformat::kMagic);
    appendRecords(bytes, block.narrow);
    appendRecords(bytes, block.wide);
    return bytes;
}

uint64_t executableSize(std::size_t stubSize, std::size_t blockSize, const std::vector<IncludedFileSource>& files) {
    uint64_t size = sizeBeforePadding(stubSize, blockSize, files);
    return size + paddingAfter(size);
}

void writeExecutable(std::ostream& out, const Bytes& stub, const Bytes& block,
                     const std::vector<IncludedFileSource>& files) {
    writeBytes(out, stub.data(), stub.size());
    writeBytes(out, block.data(), block.size());
    for (const IncludedFileSource& file : files) writeIncludedFile(out, file);
    Bytes padding(paddingAfter(sizeBeforePadding(stub.size(), block.size(), files)), 0);
    writeBytes(out, padding.data(), padding.size());
}

bool copyScrambled(std::istream& in, std::ostream& out, uint64_t size) {
    std::vector<uint8_t> chunk(static_cast<std::size_t>(std::min<uint64_t>(size, kCopyChunkSize)));
    while (size > 0 && out) {
        std::size_t wanted = static_cast<std::size_t>(std::min<uint64_t>(size, chunk.size()));
        in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(wanted));
        if (static_cast<std::size_t>(in.gcount()) != wanted) return false;
        for (std::size_t i = 0; i < wanted; ++i) chunk[i] ^= blockformat::kScrambleMask;
        writeBytes(out, chunk.data(), wanted);
        size -= wanted;
    }
    return true;
}

ParsedBlock parseConfigBlock(const Bytes& file, std::size_t offset) {
    expectMagic(file, offset);
    ParsedBlock parsed;
    parsed.blockOffset = offset;
    offset += kFieldSize;
    parsed.narrow = parseRecords(file, offset, "narrow");
    parsed.wide = parseRecords(file, offset, "wide");
    parsed.includedFilesOffset = offset;
    return parsed;
}

uint64_t IncludedEntryAt::dataOffset() const { return offset + kFieldSize; }

IncludedArea parseIncludedArea(std::istream& file, uint64_t fileSize, uint64_t offset,
                               const std::vector<std::string>& names) {
    IncludedArea area;
    for (std::size_t index = 0; index < names.size(); ++index) {
        IncludedEntryAt entry{offset, 0};
        if (std::optional<std::string> problem = readIncludedEntry(file, fileSize, entry)) {
            area.damage = "included file " + std::to_string(index + 1) + " of " + std::to_string(names.size()) +
                          " ('" + names[index] + "') at offset " + describeOffset(offset) + " " + *problem;
            break;
        }
        area.entries.push_back(entry);
        offset = entry.dataOffset() + entry.size;
    }
    return area;
}

std::string describeOffset(uint64_t offset) {
    char text[64];
    std::snprintf(text, sizeof text, "%llu (0x%llX)", static_cast<unsigned long long>(offset),
                  static_cast<unsigned long long>(offset));
    return text;
}

}  // namespace tovex
