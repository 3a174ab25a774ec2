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

constexpr uint32_t kFileHeaderOffset = kPeHeaderOffset + kSignatureSize;
constexpr uint32_t kOptionalHeaderOffset = kFileHeaderOffset + kFileHeaderSize;

// Optional header fields, from the optional header's start; the same in
// PE32 and PE32+ up to the data directories.
constexpr uint32_t kSizeOfInitializedData = 8;
constexpr uint32_t kSectionAlignment = 32;
constexpr uint32_t kFileAlignment = 36;
constexpr uint32_t kSizeOfImage = 56;
constexpr uint32_t kResourceDirectoryIndex = 2;

constexpr uint32_t lastSectionHeaderOffset(const StubLayout& layout) {
    return kOptionalHeaderOffset + layout.optionalHeaderSize + (kSectionCount - 1) * kSectionHeaderSize;
}
constexpr uint32_t headersEnd(const StubLayout& layout) { return lastSectionHeaderOffset(layout) + kSectionHeaderSize; }
// NumberOfRvaAndSizes comes just before the data directories.
constexpr uint32_t numberOfRvaAndSizes(const StubLayout& layout) { return layout.dataDirectoryOffset - 4; }
constexpr uint32_t resourceDirectoryEntry(const StubLayout& layout) {
    return layout.dataDirectoryOffset + kResourceDirectoryIndex * 8;
}

// The shared offsets of the last section's fields follow from the layouts.
static_assert(kX86Layout.lastSectionRawSizeOffset == lastSectionHeaderOffset(kX86Layout) + 16);
static_assert(kX86Layout.lastSectionRawPointerOffset == lastSectionHeaderOffset(kX86Layout) + 20);
static_assert(kX64Layout.lastSectionRawSizeOffset == lastSectionHeaderOffset(kX64Layout) + 16);
static_assert(kX64Layout.lastSectionRawPointerOffset == lastSectionHeaderOffset(kX64Layout) + 20);
static_assert(headersEnd(kX86Layout) < headersEnd(kX64Layout));

void writeU32(Bytes& image, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

uint64_t alignUp(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

const char* machineName(const StubLayout& layout) { return &layout == &kX64Layout ? "x86-64" : "32-bit x86"; }

// The layout an image claims: PE32+ when its optional header says so and its
// machine is not the 32-bit one; everything else is measured against PE32.
// Needs the headers up to the optional header's magic.
const StubLayout& claimedLayout(const Bytes& image) {
    bool pe32Plus = readU16(image, kOptionalHeaderOffset) == kX64Layout.optionalHeaderMagic &&
                    readU16(image, kFileHeaderOffset) != kX86Layout.machine;
    return pe32Plus ? kX64Layout : kX86Layout;
}

std::string lastSectionName(const Bytes& image, const StubLayout& layout) {
    auto begin = image.begin() + lastSectionHeaderOffset(layout);
    return std::string(begin, std::find(begin, begin + 8, uint8_t{0}));
}

}  // namespace

std::optional<std::string> findHeaderProblem(const Bytes& image) {
    if (image.size() < 2 || image[0] != 'M' || image[1] != 'Z')
        return "not a PE file: no 'MZ' signature at offset 0";
    // The smaller (PE32) headers first: enough to tell which layout the image has.
    if (image.size() < headersEnd(kX86Layout))
        return "file too short to hold the PE headers: " + std::to_string(image.size()) + " bytes, need at least " +
               std::to_string(headersEnd(kX86Layout));
    if (uint32_t lfanew = readU32(image, kLfanewOffset); lfanew != kPeHeaderOffset)
        return "PE header offset (e_lfanew at 0x3C) is " + hex(lfanew) + ", expected " + hex(kPeHeaderOffset);
    if (std::memcmp(&image[kPeHeaderOffset], "PE\0\0", kSignatureSize) != 0)
        return "no 'PE\\0\\0' signature at offset " + hex(kPeHeaderOffset);
    const StubLayout& layout = claimedLayout(image);
    if (uint16_t machine = readU16(image, kFileHeaderOffset); machine != layout.machine)
        return "machine type is " + hex(machine) + ", expected " + hex(layout.machine) + " (" + machineName(layout) +
               ")";
    if (image.size() < headersEnd(layout))
        return "file too short to hold the PE headers: " + std::to_string(image.size()) + " bytes, need at least " +
               std::to_string(headersEnd(layout));
    if (uint16_t sections = readU16(image, kFileHeaderOffset + 2); sections != kSectionCount)
        return "the image has " + std::to_string(sections) + " sections, expected " + std::to_string(kSectionCount);
    if (uint16_t size = readU16(image, kFileHeaderOffset + 16); size != layout.optionalHeaderSize)
        return "optional header size is " + std::to_string(size) + ", expected " +
               std::to_string(layout.optionalHeaderSize);
    if (uint16_t magic = readU16(image, kOptionalHeaderOffset); magic != layout.optionalHeaderMagic)
        return "optional header magic is " + hex(magic) +
               (magic == kX64Layout.optionalHeaderMagic ? " (PE32+, 64-bit)" : "") + ", expected " +
               hex(layout.optionalHeaderMagic) + " (PE32)";
    if (std::string name = lastSectionName(image, layout); name != ".rsrc")
        return "the last section is '" + name + "', expected '.rsrc'";
    return std::nullopt;
}

const StubLayout& stubLayout(const Bytes& image) { return claimedLayout(image); }

uint64_t endOfLastSection(const Bytes& image) {
    const StubLayout& layout = stubLayout(image);
    return uint64_t{readU32(image, layout.lastSectionRawPointerOffset)} +
           readU32(image, layout.lastSectionRawSizeOffset);
}

SectionView lastSection(const Bytes& image) {
    const StubLayout& layout = stubLayout(image);
    uint32_t header = lastSectionHeaderOffset(layout);
    return {readU32(image, header + 12), readU32(image, header + 8), readU32(image, layout.lastSectionRawPointerOffset),
            readU32(image, layout.lastSectionRawSizeOffset)};
}

std::optional<uint32_t> resourceDirectoryOffset(const Bytes& image) {
    const StubLayout& layout = stubLayout(image);
    if (readU32(image, kOptionalHeaderOffset + numberOfRvaAndSizes(layout)) < kResourceDirectoryIndex + 1)
        return std::nullopt;
    uint32_t rva = readU32(image, kOptionalHeaderOffset + resourceDirectoryEntry(layout));
    uint32_t size = readU32(image, kOptionalHeaderOffset + resourceDirectoryEntry(layout) + 4);
    if (rva == 0 && size == 0) return std::nullopt;
    SectionView section = lastSection(image);
    if (rva < section.virtualAddress || uint64_t{rva} - section.virtualAddress >= section.rawSize)
        throw std::runtime_error("the resource directory (RVA " + hex(rva) + ") is not in the .rsrc section (RVA " +
                                 hex(section.virtualAddress) + ", " + std::to_string(section.rawSize) +
                                 " bytes of raw data)");
    return rva - section.virtualAddress;
}

void replaceResourceSection(Bytes& image, const Bytes& data) {
    const StubLayout& layout = stubLayout(image);
    uint32_t fileAlignment = readU32(image, kOptionalHeaderOffset + kFileAlignment);
    uint32_t sectionAlignment = readU32(image, kOptionalHeaderOffset + kSectionAlignment);
    if (!isPowerOfTwo(fileAlignment) || !isPowerOfTwo(sectionAlignment))
        throw std::runtime_error("the file alignment (" + hex(fileAlignment) + ") and section alignment (" +
                                 hex(sectionAlignment) + ") must be powers of two");
    if (readU32(image, kOptionalHeaderOffset + numberOfRvaAndSizes(layout)) < kResourceDirectoryIndex + 1)
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
    writeU32(image, kOptionalHeaderOffset + resourceDirectoryEntry(layout), section.virtualAddress);
    writeU32(image, kOptionalHeaderOffset + resourceDirectoryEntry(layout) + 4, static_cast<uint32_t>(data.size()));
    writeU32(image, lastSectionHeaderOffset(layout) + 8, static_cast<uint32_t>(data.size()));
    writeU32(image, layout.lastSectionRawSizeOffset, static_cast<uint32_t>(rawSize));
}

std::optional<std::string> findStubProblem(const Bytes& stub) {
    if (auto problem = findHeaderProblem(stub)) return problem;
    const StubLayout& layout = stubLayout(stub);
    uint64_t end = endOfLastSection(stub);
    if (end != stub.size())
        return "the last section's raw data ends at offset " + std::to_string(end) + " (PointerToRawData " +
               hex(readU32(stub, layout.lastSectionRawPointerOffset)) + " + SizeOfRawData " +
               hex(readU32(stub, layout.lastSectionRawSizeOffset)) + "), but the file is " + std::to_string(stub.size()) +
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
