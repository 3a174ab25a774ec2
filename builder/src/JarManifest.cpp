#include "JarManifest.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "ByteOrder.h"
#include "FileIo.h"

namespace tovex {
namespace {

constexpr uint32_t kEndOfDirectorySignature = 0x06054b50;
constexpr uint32_t kDirectoryEntrySignature = 0x02014b50;
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::size_t kEndOfDirectorySize = 22;
constexpr std::size_t kDirectoryEntrySize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
// A manifest is small; anything larger is not worth reading for one line.
constexpr uint32_t kMaxManifestSize = 1 << 20;

bool namesManifest(const Bytes& data, std::size_t at, std::size_t length) {
    constexpr std::string_view kName = "META-INF/MANIFEST.MF";
    if (length != kName.size()) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (std::toupper(data[at + i]) != kName[i]) return false;
    return true;
}

std::optional<std::string> inflated(const Bytes& data, std::size_t at, uint32_t packedSize, uint32_t size) {
    std::string out(size, '\0');
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
    stream.next_in = const_cast<Bytef*>(data.data() + at);
    stream.avail_in = packedSize;
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = size;
    int status = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (status != Z_STREAM_END || stream.total_out != size) return std::nullopt;
    return out;
}

// The manifest's text from the archive's bytes, following the central directory.
std::optional<std::string> manifestText(const Bytes& data) {
    if (data.size() < kEndOfDirectorySize) return std::nullopt;
    std::size_t end = data.size() - kEndOfDirectorySize;
    std::size_t lowest = data.size() > kEndOfDirectorySize + 0xFFFF ? end - 0xFFFF : 0;
    while (readU32(data, end) != kEndOfDirectorySignature) {
        if (end == lowest) return std::nullopt;
        --end;
    }
    std::size_t entries = readU16(data, end + 10);
    std::size_t at = readU32(data, end + 16);
    for (std::size_t i = 0; i < entries; ++i) {
        if (at + kDirectoryEntrySize > data.size() || readU32(data, at) != kDirectoryEntrySignature) return std::nullopt;
        uint16_t method = readU16(data, at + 10);
        uint32_t packedSize = readU32(data, at + 20), size = readU32(data, at + 24);
        std::size_t nameLength = readU16(data, at + 28), extraLength = readU16(data, at + 30), commentLength = readU16(data, at + 32);
        std::size_t local = readU32(data, at + 42);
        if (at + kDirectoryEntrySize + nameLength > data.size()) return std::nullopt;
        if (namesManifest(data, at + kDirectoryEntrySize, nameLength)) {
            if (size > kMaxManifestSize || local + kLocalHeaderSize > data.size() ||
                readU32(data, local) != kLocalHeaderSignature)
                return std::nullopt;
            std::size_t start = local + kLocalHeaderSize + readU16(data, local + 26) + readU16(data, local + 28);
            if (start > data.size() || data.size() - start < packedSize) return std::nullopt;
            if (method == kStored && packedSize == size)
                return std::string(reinterpret_cast<const char*>(data.data() + start), size);
            if (method == kDeflated) return inflated(data, start, packedSize, size);
            return std::nullopt;
        }
        at += kDirectoryEntrySize + nameLength + extraLength + commentLength;
    }
    return std::nullopt;
}

// Manifest lines are at most 72 bytes; longer values go on in lines that start with a blank.
std::optional<std::string> attribute(const std::string& manifest, std::string_view name) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= manifest.size()) {
        std::size_t end = manifest.find_first_of("\r\n", start);
        std::string line = manifest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line[0] == ' ' && !lines.empty())
            lines.back() += line.substr(1);
        else
            lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + (manifest.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    for (const std::string& line : lines) {
        if (line.size() <= name.size() || line[name.size()] != ':') continue;
        bool same = std::equal(name.begin(), name.end(), line.begin(),
                               [](char a, char b) { return std::tolower(a) == std::tolower(b); });
        if (!same) continue;
        std::string value = line.substr(name.size() + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of(' ') + 1);
        if (!value.empty()) return value;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> jarMainClass(const std::filesystem::path& jar) {
    Bytes data;
    try {
        data = readWholeFile(jar);
    } catch (const FileError&) {
        return std::nullopt;
    }
    std::optional<std::string> manifest = manifestText(data);
    return manifest ? attribute(*manifest, "Main-Class") : std::nullopt;
}

}  // namespace tovex
