// The application's resources as files give them: the splash picture (BMP or
// PNG), the icon (.ico) and the version information, each turned into the
// data of the resources the launcher and Windows read.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ByteOrder.h"

namespace tovex {

// What is wrong with a picture or icon file, for the user.
class ResourceInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The size and depth of a device-independent bitmap.
struct DibInfo {
    int32_t width;
    int32_t height;  // rows, whichever way they run
    uint16_t bitsPerPixel;
};

// The header of a packed DIB (what an RT_BITMAP resource holds), or nothing
// when the data does not start with one.
std::optional<DibInfo> readDibInfo(const Bytes& dib);

struct SplashPicture {
    Bytes dib;  // header, colour table, pixels: the RT_BITMAP resource
    DibInfo info;
};

// A BMP file without its file header, or a PNG converted to a 24-bit DIB with
// transparent parts laid on the splash window's light grey.
SplashPicture loadSplashPicture(const Bytes& file);

struct IconImage {
    uint8_t width;  // 0 means 256
    uint8_t height;
    uint8_t colourCount;
    uint16_t planes;
    uint16_t bitCount;
    Bytes data;  // a DIB or a PNG: the RT_ICON resource
};

// The images of an .ico file.
std::vector<IconImage> loadIcon(const Bytes& file);

// The RT_GROUP_ICON resource for `images`, stored as RT_ICON resources with
// the numbers firstId, firstId + 1, ...
Bytes encodeIconGroup(const std::vector<IconImage>& images, uint16_t firstId);

// Four numbers, major first, as Windows keeps file and product versions.
using VersionNumber = std::array<uint16_t, 4>;

// "1", "1.2", "1.2.3" or "1.2.3.4", each part 0 to 65535; missing parts are 0.
// Nothing, with `problem` set, for anything else.
std::optional<VersionNumber> parseVersionNumber(std::string_view text, std::string& problem);

struct VersionInfo {
    VersionNumber fileVersion{};
    VersionNumber productVersion{};
    // StringFileInfo entries, e.g. {"ProductName", "Hello"}, UTF-8 values.
    std::vector<std::pair<std::string, std::string>> strings;
};

// The language of the version information, and of the resources the tool adds:
// U.S. English, with the strings in Unicode (code page 1200).
constexpr uint16_t kResourceLanguage = 0x0409;

// The RT_VERSION resource (VS_VERSIONINFO) for `info`.
Bytes encodeVersionInfo(const VersionInfo& info);

}  // namespace tovex
