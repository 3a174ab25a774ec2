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

// The entry names of the archive and its manifest's text, following the central directory.
std::optional<JarContents> readArchive(const Bytes& data, std::string& manifest) {
    if (data.size() < kEndOfDirectorySize) return std::nullopt;
    std::size_t end = data.size() - kEndOfDirectorySize;
    std::size_t lowest = data.size() > kEndOfDirectorySize + 0xFFFF ? end - 0xFFFF : 0;
    while (readU32(data, end) != kEndOfDirectorySignature) {
        if (end == lowest) return std::nullopt;
        --end;
    }
    JarContents contents;
    std::size_t entries = readU16(data, end + 10);
    std::size_t at = readU32(data, end + 16);
    for (std::size_t i = 0; i < entries; ++i) {
        if (at + kDirectoryEntrySize > data.size() || readU32(data, at) != kDirectoryEntrySignature) return std::nullopt;
        uint16_t method = readU16(data, at + 10);
        uint32_t packedSize = readU32(data, at + 20), size = readU32(data, at + 24);
        std::size_t nameLength = readU16(data, at + 28), extraLength = readU16(data, at + 30), commentLength = readU16(data, at + 32);
        std::size_t local = readU32(data, at + 42);
        if (at + kDirectoryEntrySize + nameLength > data.size()) return std::nullopt;
        contents.entries.emplace_back(reinterpret_cast<const char*>(data.data() + at + kDirectoryEntrySize),
                                      nameLength);
        if (namesManifest(data, at + kDirectoryEntrySize, nameLength) && manifest.empty()) {
            if (size > kMaxManifestSize || local + kLocalHeaderSize > data.size() ||
                readU32(data, local) != kLocalHeaderSignature)
                return std::nullopt;
            std::size_t start = local + kLocalHeaderSize + readU16(data, local + 26) + readU16(data, local + 28);
            if (start > data.size() || data.size() - start < packedSize) return std::nullopt;
            std::optional<std::string> text;
            if (method == kStored && packedSize == size)
                text = std::string(reinterpret_cast<const char*>(data.data() + start), size);
            else if (method == kDeflated)
                text = inflated(data, start, packedSize, size);
            if (!text) return std::nullopt;
            manifest = std::move(*text);
        }
        at += kDirectoryEntrySize + nameLength + extraLength + commentLength;
    }
    return contents;
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

std::optional<JarContents> readJarContents(const std::filesystem::path& jar) {
    Bytes data;
    try {
        data = readWholeFile(jar);
    } catch (const FileError&) {
        return std::nullopt;
    }
    std::string manifest;
    std::optional<JarContents> contents = readArchive(data, manifest);
    if (!contents) return std::nullopt;
    contents->mainClass = attribute(manifest, "Main-Class");
    // Class-Path: relative URLs separated by blanks.
    if (std::optional<std::string> classPath = attribute(manifest, "Class-Path")) {
        std::size_t start = 0;
        while ((start = classPath->find_first_not_of(' ', start)) != std::string::npos) {
            std::size_t end = std::min(classPath->find(' ', start), classPath->size());
            contents->classPath.push_back(classPath->substr(start, end - start));
            start = end;
        }
    }
    return contents;
}

bool jarHoldsClass(const JarContents& jar, const std::string& className) {
    std::string entry = className;
    std::replace(entry.begin(), entry.end(), '.', '/');
    entry += ".class";
    constexpr std::string_view kVersions = "META-INF/versions/";
    for (const std::string& name : jar.entries) {
        if (name == entry) return true;
        // A multi-release jar may hold a class for some versions only: META-INF/versions/N/...
        if (name.compare(0, kVersions.size(), kVersions) != 0) continue;
        std::size_t slash = name.find('/', kVersions.size());
        if (slash != std::string::npos && name.compare(slash + 1, std::string::npos, entry) == 0) return true;
    }
    return false;
}

}  // namespace tovex
