#include "PeStub.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

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

// Optional header fields, from the optional header's start.
constexpr uint32_t kSizeOfInitializedData = 8;
constexpr uint32_t kSectionAlignment = 32;
constexpr uint32_t kFileAlignment = 36;
constexpr uint32_t kSizeOfImage = 56;
constexpr uint32_t kNumberOfRvaAndSizes = 92;
constexpr uint32_t kResourceDirectoryEntry = 96 + 2 * 8;

void writeU32(Bytes& image, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

uint64_t alignUp(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

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

SectionView lastSection(const Bytes& image) {
    return {readU32(image, kLastSectionHeaderOffset + 12), readU32(image, kLastSectionHeaderOffset + 8),
            readU32(image, kLastSectionRawPointerOffset), readU32(image, kLastSectionRawSizeOffset)};
}

std::optional<uint32_t> resourceDirectoryOffset(const Bytes& image) {
    if (readU32(image, kOptionalHeaderOffset + kNumberOfRvaAndSizes) < 3) return std::nullopt;
    uint32_t rva = readU32(image, kOptionalHeaderOffset + kResourceDirectoryEntry);
    uint32_t size = readU32(image, kOptionalHeaderOffset + kResourceDirectoryEntry + 4);
    if (rva == 0 && size == 0) return std::nullopt;
    SectionView section = lastSection(image);
    if (rva < section.virtualAddress || uint64_t{rva} - section.virtualAddress >= section.rawSize)
        throw std::runtime_error("the resource directory (RVA " + hex(rva) + ") is not in the .rsrc section (RVA " +
                                 hex(section.virtualAddress) + ", " + std::to_string(section.rawSize) +
                                 " bytes of raw data)");
    return rva - section.virtualAddress;
}

void replaceResourceSection(Bytes& image, const Bytes& data) {
    uint32_t fileAlignment = readU32(image, kOptionalHeaderOffset + kFileAlignment);
    uint32_t sectionAlignment = readU32(image, kOptionalHeaderOffset + kSectionAlignment);
    if (!isPowerOfTwo(fileAlignment) || !isPowerOfTwo(sectionAlignment))
        throw std::runtime_error("the file alignment (" + hex(fileAlignment) + ") and section alignment (" +
                                 hex(sectionAlignment) + ") must be powers of two");
    if (readU32(image, kOptionalHeaderOffset + kNumberOfRvaAndSizes) < 3)
        throw std::runtime_error("the optional header has no data directory entry for resources");
    SectionView section = lastSection(image);
    uint64_t rawSize = alignUp(data.size(), fileAlignment);
    uint64_t imageSize = alignUp(uint64_t{section.virtualAddress} + data.size(), sectionAlignment);
    if (uint64_t{section.rawPointer} + rawSize > UINT32_MAX || imageSize > UINT32_MAX)
        throw std::runtime_error("the resources would make the image larger than 4 GiB");

    image.resize(section.rawPointer);
    image.insert(image.end(), data.begin(), data.end());
    image.resize(section.rawPointer + rawSize, 0);

    // Linkers count the resource section as initialised data; a stub whose
    // count leaves it out keeps its count.
    uint32_t initialised = readU32(image, kOptionalHeaderOffset + kSizeOfInitializedData);
    if (initialised >= section.rawSize && initialised - section.rawSize + rawSize <= UINT32_MAX)
        writeU32(image, kOptionalHeaderOffset + kSizeOfInitializedData,
                 static_cast<uint32_t>(initialised - section.rawSize + rawSize));
    writeU32(image, kOptionalHeaderOffset + kSizeOfImage, static_cast<uint32_t>(imageSize));
    writeU32(image, kOptionalHeaderOffset + kResourceDirectoryEntry, section.virtualAddress);
    writeU32(image, kOptionalHeaderOffset + kResourceDirectoryEntry + 4, static_cast<uint32_t>(data.size()));
    writeU32(image, kLastSectionHeaderOffset + 8, static_cast<uint32_t>(data.size()));
    writeU32(image, kLastSectionRawSizeOffset, static_cast<uint32_t>(rawSize));
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

constexpr std::size_t kSubsystemOffset = 68;

void setSubsystem(Bytes& image, uint16_t subsystem) {
    image[kOptionalHeaderOffset + kSubsystemOffset] = static_cast<uint8_t>(subsystem);
    image[kOptionalHeaderOffset + kSubsystemOffset + 1] = static_cast<uint8_t>(subsystem >> 8);
}

uint16_t subsystemOf(const Bytes& image) { return readU16(image, kOptionalHeaderOffset + kSubsystemOffset); }

}  // namespace tovex
