#include "ConfigBlock.h"

#include <cstdio>

#include "BlockFormat.h"

namespace tovex {
namespace {

constexpr std::size_t kFieldSize = 4;

std::string byteCount(std::size_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }

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

}  // namespace

Bytes assembleExecutable(const Bytes& stub, const ConfigBlock& block) {
    Bytes image = stub;
    appendU32(image, blockformat::kMagic);
    appendRecords(image, block.narrow);
    appendRecords(image, block.wide);
    std::size_t tail = image.size() % kFileSizeAlignment;
    if (tail != 0) image.resize(image.size() + kFileSizeAlignment - tail, 0);
    return image;
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

std::string describeOffset(std::size_t offset) {
    char text[48];
    std::snprintf(text, sizeof text, "%zu (0x%zX)", offset, offset);
    return text;
}

}  // namespace tovex
