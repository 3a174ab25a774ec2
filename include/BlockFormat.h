// The configuration block appended to a launcher executable: the contract
// between the build tool and the launcher. Portable: no system headers.
#pragma once
#include <cstdint>

namespace blockformat {

// Layout a stub must have: its PE header at 0x80 and five sections, the
// resource section last.
constexpr uint32_t kPeHeaderOffset = 0x80;
constexpr uint16_t kSectionCount = 5;

// What differs between the 32-bit (PE32) and the 64-bit (PE32+) stub. The
// launcher reads the last (fifth) section header's SizeOfRawData and
// PointerToRawData to find the end of its image, where the block starts;
// the bigger PE32+ optional header moves them 16 bytes on.
struct StubLayout {
  const char* architecture;          // "x86" or "x64", as a project names it
  uint16_t machine;                  // IMAGE_FILE_HEADER.Machine
  uint16_t optionalHeaderMagic;      // 0x10B PE32, 0x20B PE32+
  uint16_t optionalHeaderSize;
  uint32_t dataDirectoryOffset;      // from the optional header's start
  uint32_t lastSectionRawSizeOffset; // file offsets of the last section's fields
  uint32_t lastSectionRawPointerOffset;
};

constexpr StubLayout kX86Layout{"x86", 0x14C, 0x10B, 224, 96, 552, 556};
constexpr StubLayout kX64Layout{"x64", 0x8664, 0x20B, 240, 112, 568, 572};

// The layout of the launcher being compiled (the build tool itself reads
// both, by the stub's machine).
#ifdef _WIN64
inline constexpr const StubLayout& kOwnLayout = kX64Layout;
#else
inline constexpr const StubLayout& kOwnLayout = kX86Layout;
#endif
constexpr uint32_t kLastSectionRawSizeOffset = kOwnLayout.lastSectionRawSizeOffset;
constexpr uint32_t kLastSectionRawPointerOffset = kOwnLayout.lastSectionRawPointerOffset;

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
