// The PE layout the launcher relies on to find its configuration block: the
// block starts where the raw data of the fifth and last section (.rsrc) ends.
// A stub is a 32-bit (PE32, x86) or a 64-bit (PE32+, x64) image.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "BlockFormat.h"
#include "ByteOrder.h"

namespace tovex {

// What is wrong with the headers of an image, or nothing when they have the
// launcher's layout. Does not look past the headers.
std::optional<std::string> findHeaderProblem(const Bytes& image);

// The layout of an image whose headers are valid: kX86Layout or kX64Layout.
const blockformat::StubLayout& stubLayout(const Bytes& image);

// Offset just past the last section's raw data. The headers must be valid.
uint64_t endOfLastSection(const Bytes& image);

// The raw data and placement of the last section (.rsrc). Headers must be valid.
struct SectionView {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawPointer;
    uint32_t rawSize;
};
SectionView lastSection(const Bytes& image);

// Where the resource directory starts within the last section, or nothing
// when the image names no resources. Throws std::runtime_error (with the
// reason) when the data directory points outside that section.
std::optional<uint32_t> resourceDirectoryOffset(const Bytes& image);

// Replaces the raw data of the last section by `data` (padded to the file
// alignment) and makes the headers agree: the section's sizes, the image
// size, the initialised data size and the resource data directory entry,
// which then covers `data` from its start. The image must end where the
// last section does. Throws std::runtime_error for an unusable alignment.
void replaceResourceSection(Bytes& image, const Bytes& data);

// Like findHeaderProblem, and also requires the file to end exactly where the
// last section does, so that appended data lands where the launcher looks.
std::optional<std::string> findStubProblem(const Bytes& stub);

// The optional header's Subsystem field, at the same offset in PE32 and
// PE32+: 2 for a GUI program, 3 for a console one. Headers must be valid.
constexpr uint16_t kSubsystemGui = 2;
constexpr uint16_t kMachineX86 = 0x14c;
constexpr uint16_t kMachineX64 = 0x8664;
constexpr uint16_t kSubsystemConsole = 3;
void setSubsystem(Bytes& image, uint16_t subsystem);
uint16_t subsystemOf(const Bytes& image);

}  // namespace tovex
