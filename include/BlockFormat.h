// The configuration block appended to a launcher executable: the contract
// between the build tool and the launcher. Portable: no system headers.
#pragma once
#include <cstdint>

namespace blockformat {

// The launcher reads these two fields of its last (fifth) section header to
// find the end of its image, where the block starts.
constexpr uint32_t kLastSectionRawSizeOffset = 552;
constexpr uint32_t kLastSectionRawPointerOffset = 556;

// Layout the stub must have for those offsets to hold.
constexpr uint32_t kPeHeaderOffset = 0x80;
constexpr uint16_t kOptionalHeaderSize = 224;
constexpr uint16_t kSectionCount = 5;

// First four bytes of the block (D5 13 E4 E8 in the file).
constexpr uint32_t kMagic = 0xE8E413D5u;

// The one-letter marks of the two product flavours (key 2001).
constexpr char kWrapperFlavour = 'W';
constexpr char kInstallerFlavour = 'I';

// Every byte of an included file is stored exclusive-or'ed with this mask.
constexpr uint8_t kScrambleMask = 0xA7;

// Longest text a launcher text buffer holds: 8192 bytes, or 8192 UTF-16 units
// for a wide text, with the terminator.
constexpr int kMaxTextLength = 8191;
constexpr int kMaxWideTextUnits = 8191;

// The build tool pads an application executable to a multiple of this size.
constexpr uint32_t kFileSizeAlignment = 512;

}  // namespace blockformat
