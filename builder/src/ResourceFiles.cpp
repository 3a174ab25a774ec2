#include "ResourceFiles.h"

#include <png.h>

#include <cstring>
#include <memory>

#include "Unicode.h"

namespace tovex {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kBmpFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;      // BITMAPCOREHEADER
constexpr uint32_t kInfoHeaderSize = 40;      // BITMAPINFOHEADER
constexpr uint32_t kLargestHeaderSize = 124;  // BITMAPV5HEADER

// Compression values a splash bitmap may have: Windows turns these into a
// screen bitmap; JPEG or PNG inside a BMP it does not.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;

// Light grey, the colour the splash window shows where the picture is not.
constexpr png_color kSplashBackground = {192, 192, 192};

// A picture larger than this is surely a mistake, and would bloat every copy of the application.
constexpr uint64_t kMaxPictureBytes = 64u << 20;

constexpr uint16_t kIconFileType = 1;
constexpr uint16_t kCursorFileType = 2;
constexpr std::size_t kIconDirSize = 6;
constexpr std::size_t kIconDirEntrySize = 16;
constexpr std::size_t kGroupEntrySize = 14;

bool startsWithPng(const Bytes& data, std::size_t at = 0) {
    return data.size() >= at + sizeof kPngSignature && std::memcmp(&data[at], kPngSignature, sizeof kPngSignature) == 0;
}

void appendU16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putU16(Bytes& out, std::size_t at, uint16_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

// The parts of a bitmap header that say how much data follows it.
struct DibLayout {
    DibInfo info;
    uint32_t headerSize;
    uint32_t maskBytes;     // colour masks after a BITMAPINFOHEADER
    uint32_t paletteBytes;
    uint64_t pixelBytes;
};

// Checks a bitmap header at `at` and works out the layout; `fileSize` bounds
// nothing here, the caller checks the data is there.
DibLayout readDibLayout(const Bytes& data, std::size_t at) {
    if (data.size() < at + 4) throw ResourceInputError("the bitmap header is cut off");
    DibLayout layout{};
    layout.headerSize = readU32(data, at);
    bool core = layout.headerSize == kCoreHeaderSize;
    if (!core && (layout.headerSize < kInfoHeaderSize || layout.headerSize > kLargestHeaderSize))
        throw ResourceInputError("unknown bitmap header size " + std::to_string(layout.headerSize));
    if (data.size() < at + layout.headerSize) throw ResourceInputError("the bitmap header is cut off");
    uint16_t planes;
    uint32_t compression = kBiRgb, coloursUsed = 0, imageSize = 0;
    if (core) {
        layout.info = {readU16(data, at + 4), readU16(data, at + 6), readU16(data, at + 10)};
        planes = readU16(data, at + 8);
    } else {
        layout.info = {readI32(data, at + 4), readI32(data, at + 8), readU16(data, at + 14)};
        planes = readU16(data, at + 12);
        compression = readU32(data, at + 16);
        imageSize = readU32(data, at + 20);
        coloursUsed = readU32(data, at + 32);
    }
    DibInfo& info = layout.info;
    if (info.width <= 0 || info.height == 0 || info.height == INT32_MIN)
        throw ResourceInputError("the bitmap's size is " + std::to_string(info.width) + " x " +
                                 std::to_string(info.height) + " pixels");
    if (info.height < 0) info.height = -info.height;  // rows from the top
    if (planes != 1) throw ResourceInputError("the bitmap has " + std::to_string(planes) + " planes, expected 1");
    uint16_t bits = info.bitsPerPixel;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        throw ResourceInputError("unsupported bitmap depth: " + std::to_string(bits) + " bits per pixel");
    bool fitting = compression == kBiRgb || (compression == kBiRle8 && bits == 8) ||
                   (compression == kBiRle4 && bits == 4) || (compression == kBiBitfields && (bits == 16 || bits == 32));
    if (!fitting)
        throw ResourceInputError("unsupported bitmap compression " + std::to_string(compression) + " at " +
                                 std::to_string(bits) + " bits per pixel (BI_RGB, BI_RLE8, BI_RLE4 and "
                                 "BI_BITFIELDS are supported)");
    if (compression == kBiBitfields && layout.headerSize == kInfoHeaderSize) layout.maskBytes = 12;
    if (bits <= 8 && coloursUsed > (1u << bits))
        throw ResourceInputError("the bitmap's colour table has " + std::to_string(coloursUsed) +
                                 " entries, more than " + std::to_string(1u << bits) + " at " + std::to_string(bits) +
                                 " bits per pixel");
    if (coloursUsed > 256) throw ResourceInputError("the bitmap's colour table has " + std::to_string(coloursUsed) + " entries");
    uint32_t colours = coloursUsed != 0 ? coloursUsed : (bits <= 8 ? 1u << bits : 0);
    layout.paletteBytes = colours * (core ? 3 : 4);
    if (compression == kBiRle8 || compression == kBiRle4) {
        if (imageSize == 0) throw ResourceInputError("a compressed bitmap must give its data size");
        layout.pixelBytes = imageSize;
    } else {
        layout.pixelBytes = (uint64_t{static_cast<uint32_t>(info.width)} * bits + 31) / 32 * 4 *
                            static_cast<uint32_t>(info.height);
    }
    return layout;
}

SplashPicture loadBmp(const Bytes& file) {
    if (file.size() < kBmpFileHeaderSize + 4) throw ResourceInputError("damaged BMP file: too short for its headers");
    uint32_t pixelOffset = readU32(file, 10);
    DibLayout layout;
    try {
        layout = readDibLayout(file, kBmpFileHeaderSize);
    } catch (const ResourceInputError& e) {
        throw ResourceInputError(std::string("unsupported or damaged BMP file: ") + e.what());
    }
    uint64_t tablesEnd = kBmpFileHeaderSize + uint64_t{layout.headerSize} + layout.maskBytes + layout.paletteBytes;
    if (tablesEnd > file.size())
        throw ResourceInputError("damaged BMP file: its colour table is cut off at byte " + std::to_string(file.size()));
    if (pixelOffset < tablesEnd)
        throw ResourceInputError("damaged BMP file: the pixels start at byte " + std::to_string(pixelOffset) +
                                 ", inside the headers and colour table (which end at byte " +
                                 std::to_string(tablesEnd) + ")");
    if (layout.pixelBytes > kMaxPictureBytes)
        throw ResourceInputError("the picture is too large: " + std::to_string(layout.pixelBytes) +
                                 " bytes of pixels, at most " + std::to_string(kMaxPictureBytes) + " allowed");
    if (uint64_t{pixelOffset} + layout.pixelBytes > file.size())
        throw ResourceInputError("damaged BMP file: its pixels need " + std::to_string(layout.pixelBytes) +
                                 " bytes from byte " + std::to_string(pixelOffset) + ", but the file has " +
                                 std::to_string(file.size()) + " bytes");
    // In a resource the pixels follow the colour table directly, whatever gap the file leaves.
    SplashPicture picture;
    picture.info = layout.info;
    picture.dib.assign(file.begin() + kBmpFileHeaderSize, file.begin() + static_cast<std::ptrdiff_t>(tablesEnd));
    picture.dib.insert(picture.dib.end(), file.begin() + pixelOffset,
                       file.begin() + static_cast<std::ptrdiff_t>(pixelOffset + layout.pixelBytes));
    return picture;
}

SplashPicture loadPng(const Bytes& file) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    std::unique_ptr<png_image, void (*)(png_image*)> release(&image, png_image_free);
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size()))
        throw ResourceInputError(std::string("damaged PNG file: ") + image.message);
    image.format = PNG_FORMAT_BGR;
    uint64_t stride = (uint64_t{image.width} * 3 + 3) / 4 * 4;
    uint64_t pixelBytes = stride * image.height;
    if (image.width > INT32_MAX || image.height > INT32_MAX || pixelBytes > kMaxPictureBytes)
        throw ResourceInputError("the picture is too large: " + std::to_string(image.width) + " x " +
                                 std::to_string(image.height) + " pixels");
    SplashPicture picture;
    picture.info = {static_cast<int32_t>(image.width), static_cast<int32_t>(image.height), 24};
    Bytes& dib = picture.dib;
    appendU32(dib, kInfoHeaderSize);
    appendI32(dib, picture.info.width);
    appendI32(dib, picture.info.height);  // positive: bottom row first
    appendU16(dib, 1);
    appendU16(dib, 24);
    appendU32(dib, kBiRgb);
    appendU32(dib, static_cast<uint32_t>(pixelBytes));
    appendI32(dib, 2835);  // 72 dots per inch
    appendI32(dib, 2835);
    appendU32(dib, 0);
    appendU32(dib, 0);
    std::size_t pixels = dib.size();
    dib.resize(pixels + pixelBytes);
    // A negative stride has libpng store the bottom row first, as a DIB does.
    if (!png_image_finish_read(&image, &kSplashBackground, &dib[pixels], -static_cast<png_int_32>(stride), nullptr))
        throw ResourceInputError(std::string("damaged PNG file: ") + image.message);
    return picture;
}

}  // namespace

std::optional<DibInfo> readDibInfo(const Bytes& dib) {
    try {
        return readDibLayout(dib, 0).info;
    } catch (const ResourceInputError&) {
        return std::nullopt;
    }
}

SplashPicture loadSplashPicture(const Bytes& file) {
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') return loadBmp(file);
    if (startsWithPng(file)) return loadPng(file);
    throw ResourceInputError("not a BMP or PNG file (it starts with neither 'BM' nor the PNG signature)");
}

std::vector<IconImage> loadIcon(const Bytes& file) {
    if (file.size() < kIconDirSize) throw ResourceInputError("not an icon file: too short for an icon header");
    uint16_t type = readU16(file, 2);
    if (readU16(file, 0) != 0 || (type != kIconFileType && type != kCursorFileType))
        throw ResourceInputError("not an icon file: no icon header (00 00 01 00)");
    if (type == kCursorFileType) throw ResourceInputError("a cursor file, not an icon");
    uint16_t count = readU16(file, 4);
    if (count == 0) throw ResourceInputError("the icon file holds no images");
    if (file.size() < kIconDirSize + std::size_t{count} * kIconDirEntrySize)
        throw ResourceInputError("damaged icon file: its list of " + std::to_string(count) +
                                 " images is cut off by the end of the file");
    std::vector<IconImage> images;
    for (uint16_t i = 0; i < count; ++i) {
        std::size_t entry = kIconDirSize + std::size_t{i} * kIconDirEntrySize;
        IconImage image{file[entry], file[entry + 1], file[entry + 2], readU16(file, entry + 4),
                        readU16(file, entry + 6), {}};
        uint32_t size = readU32(file, entry + 8);
        uint32_t offset = readU32(file, entry + 12);
        std::string which = "image " + std::to_string(i + 1) + " of " + std::to_string(count);
        if (size == 0 || uint64_t{offset} + size > file.size())
            throw ResourceInputError("damaged icon file: " + which + " (" + std::to_string(size) + " bytes at byte " +
                                     std::to_string(offset) + ") lies outside the file (" +
                                     std::to_string(file.size()) + " bytes)");
        image.data.assign(file.begin() + offset, file.begin() + offset + size);
        if (startsWithPng(image.data)) {
            if (image.bitCount == 0) image.bitCount = 32;
        } else if (image.data.size() >= kInfoHeaderSize && readU32(image.data, 0) == kInfoHeaderSize) {
            if (image.bitCount == 0) image.bitCount = readU16(image.data, 14);
        } else {
            throw ResourceInputError("damaged icon file: " + which + " is neither a bitmap nor a PNG");
        }
        if (image.planes == 0) image.planes = 1;
        images.push_back(std::move(image));
    }
    return images;
}

Bytes encodeIconGroup(const std::vector<IconImage>& images, uint16_t firstId) {
    Bytes group;
    appendU16(group, 0);
    appendU16(group, kIconFileType);
    appendU16(group, static_cast<uint16_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        group.insert(group.end(), {image.width, image.height, image.colourCount, 0});
        appendU16(group, image.planes);
        appendU16(group, image.bitCount);
        appendU32(group, static_cast<uint32_t>(image.data.size()));
        appendU16(group, static_cast<uint16_t>(firstId + i));
    }
    static_assert(kGroupEntrySize == 14);
    return group;
}

std::optional<VersionNumber> parseVersionNumber(std::string_view text, std::string& problem) {
    VersionNumber number{};
    std::size_t part = 0, start = 0;
    while (true) {
        std::size_t end = text.find('.', start);
        std::string_view piece = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (part == number.size()) {
            problem = "has more than four parts";
            return std::nullopt;
        }
        if (piece.empty() || piece.find_first_not_of("0123456789") != std::string_view::npos) {
            problem = piece.empty() ? (text.empty() ? "is empty" : "has an empty part")
                                    : "has '" + std::string(piece) + "' where a number is expected";
            return std::nullopt;
        }
        if (piece.size() > 5 || std::stoul(std::string(piece)) > 65535) {
            problem = "has the part " + std::string(piece) + ", more than 65535";
            return std::nullopt;
        }
        number[part++] = static_cast<uint16_t>(std::stoul(std::string(piece)));
        if (end == std::string_view::npos) return number;
        start = end + 1;
    }
}

namespace {

// One node of a VS_VERSIONINFO tree: length, value length, type, key,
// padding, value, padding, children.
class VersionNode {
public:
    VersionNode(std::string_view key, Bytes value, bool text, uint16_t valueLength)
        : key_(key), value_(std::move(value)), text_(text), valueLength_(valueLength) {}

    VersionNode& add(VersionNode child) {
        children_.push_back(std::move(child));
        return children_.back();
    }

    void write(Bytes& out) const {
        pad(out);
        std::size_t start = out.size();
        appendU16(out, 0);  // length, below
        appendU16(out, valueLength_);
        appendU16(out, text_ ? 1 : 0);
        appendUtf16(out, key_);
        pad(out);
        out.insert(out.end(), value_.begin(), value_.end());
        for (const VersionNode& child : children_) child.write(out);
        putU16(out, start, static_cast<uint16_t>(out.size() - start));
    }

    static void appendUtf16(Bytes& out, std::string_view utf8) {
        std::string units = encodeUtf16Le(decodeUtf8(utf8));
        out.insert(out.end(), units.begin(), units.end());
        appendU16(out, 0);
    }

private:
    static void pad(Bytes& out) {
        while (out.size() % 4 != 0) out.push_back(0);
    }

    std::string key_;
    Bytes value_;
    bool text_;
    uint16_t valueLength_;
    std::vector<VersionNode> children_;
};

uint32_t high(const VersionNumber& v) { return uint32_t{v[0]} << 16 | v[1]; }
uint32_t low(const VersionNumber& v) { return uint32_t{v[2]} << 16 | v[3]; }

}  // namespace

Bytes encodeVersionInfo(const VersionInfo& info) {
    constexpr uint32_t kSignature = 0xFEEF04BD, kStructVersion = 0x00010000, kFlagsMask = 0x3F;
    constexpr uint32_t kOsNtWindows32 = 0x00040004, kTypeApplication = 1;
    Bytes fixed;
    for (uint32_t field : {kSignature, kStructVersion, high(info.fileVersion), low(info.fileVersion),
                           high(info.productVersion), low(info.productVersion), kFlagsMask, 0u, kOsNtWindows32,
                           kTypeApplication, 0u, 0u, 0u})
        appendU32(fixed, field);
    uint16_t fixedSize = static_cast<uint16_t>(fixed.size());
    VersionNode root("VS_VERSION_INFO", std::move(fixed), false, fixedSize);

    VersionNode& table = root.add({"StringFileInfo", {}, true, 0}).add({"040904b0", {}, true, 0});
    for (const auto& [name, value] : info.strings) {
        Bytes text;
        VersionNode::appendUtf16(text, value);
        uint16_t units = static_cast<uint16_t>(text.size() / 2);
        table.add({name, std::move(text), true, units});
    }
    Bytes translation;
    appendU16(translation, kResourceLanguage);
    appendU16(translation, 1200);  // Unicode
    root.add({"VarFileInfo", {}, true, 0}).add({"Translation", std::move(translation), false, 4});

    Bytes out;
    root.write(out);
    return out;
}

}  // namespace tovex
