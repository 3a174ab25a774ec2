#include "PeStub.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "BlockFormat.h"

namespace tovex {
namespace {

using namespace blockformat;

// Sizes and offsets fixed by the PE format itself.
constexpr uint32_t kLfanewOffset = 0x3C;
constexpr uint32_t kSignatureSize = 4;
constexpr uint32_t kFileHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;

constexpr uint32_t kFileHeaderOffset = kPeHeaderOffset + kSignatureSize;
constexpr uint32_t kOptionalHeaderOffset = kFileHeaderOffset + kFileHeaderSize;
constexpr uint32_t kLastSectionHeaderOffset =
    kOptionalHeaderOffset + kOptionalHeaderSize + (kSectionCount - 1) * kSectionHeaderSize;
constexpr uint32_t kHeadersEnd = kLastSectionHeaderOffset + kSectionHeaderSize;

// The shared offsets of the last section's fields follow from the layout.
static_assert(kLastSectionRawSizeOffset == kLastSectionHeaderOffset + 16);
static_assert(kLastSectionRawPointerOffset == kLastSectionHeaderOffset + 20);

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string lastSectionName(const Bytes& image) {
    auto begin = image.begin() + kLastSectionHeaderOffset;
    return std::string(begin, std::find(begin, begin + 8, uint8_t{0}));
}

}  // namespace

std::optional<std::string> findHeaderProblem(const Bytes& image) {
    if (image.size() < 2 || image[0] != 'M' || image[1] != 'Z')
        return "not a PE file: no 'MZ' signature at offset 0";
    if (image.size() < kHeadersEnd)
        return "file too short to hold the PE headers: " + std::to_string(image.size()) + " bytes, need at least " +
               std::to_string(kHeadersEnd);
    if (uint32_t lfanew = readU32(image, kLfanewOffset); lfanew != kPeHeaderOffset)
        return "PE header offset (e_lfanew at 0x3C) is " + hex(lfanew) + ", expected " + hex(kPeHeaderOffset);
    if (std::memcmp(&image[kPeHeaderOffset], "PE\0\0", kSignatureSize) != 0)
        return "no 'PE\\0\\0' signature at offset " + hex(kPeHeaderOffset);
    if (uint16_t machine = readU16(image, kFileHeaderOffset); machine != kMachineI386)
        return "machine type is " + hex(machine) + ", expected " + hex(kMachineI386) + " (32-bit x86)";
    if (uint16_t sections = readU16(image, kFileHeaderOffset + 2); sections != kSectionCount)
        return "the image has " + std::to_string(sections) + " sections, expected " + std::to_string(kSectionCount);
    if (uint16_t size = readU16(image, kFileHeaderOffset + 16); size != kOptionalHeaderSize)
        return "optional header size is " + std::to_string(size) + ", expected " + std::to_string(kOptionalHeaderSize);
    if (uint16_t magic = readU16(image, kOptionalHeaderOffset); magic != kPe32Magic)
        return "optional header magic is " + hex(magic) + (magic == kPe32PlusMagic ? " (PE32+, 64-bit)" : "") +
               ", expected " + hex(kPe32Magic) + " (PE32)";
    if (std::string name = lastSectionName(image); name != ".rsrc")
        return "the last section is '" + name + "', expected '.rsrc'";
    return std::nullopt;
}

uint64_t endOfLastSection(const Bytes& image) {
    return uint64_t{readU32(image, kLastSectionRawPointerOffset)} + readU32(image, kLastSectionRawSizeOffset);
}

std::optional<std::string> findStubProblem(const Bytes& stub) {
    if (auto problem = findHeaderProblem(stub)) return problem;
    uint64_t end = endOfLastSection(stub);
    if (end != stub.size())
        return "the last section's raw data ends at offset " + std::to_string(end) + " (PointerToRawData " +
               hex(readU32(stub, kLastSectionRawPointerOffset)) + " + SizeOfRawData " +
               hex(readU32(stub, kLastSectionRawSizeOffset)) + "), but the file is " + std::to_string(stub.size()) +
               " bytes; a stub must end exactly where its last section ends";
    return std::nullopt;
}

}  // namespace tovex
