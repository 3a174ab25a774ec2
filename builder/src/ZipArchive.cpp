#include "ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "FileIo.h"

namespace fs = std::filesystem;

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
constexpr uint16_t kEncryptedFlag = 1;
constexpr uint16_t kUtf8NamesFlag = 0x0800;
constexpr uint16_t kVersionNeeded = 20;  // deflate
constexpr uint16_t kMadeOnUnix = 3 << 8;
constexpr uint32_t kZip32Limit = 0xFFFFFFFF;
constexpr std::size_t kMaxEntries = 0xFFFF;
constexpr std::size_t kChunk = 64 * 1024;

struct Entry {
    std::string name;
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t crc = 0;
    uint32_t packedSize = 0;
    uint32_t size = 0;
    uint32_t mode = 0;         // Unix permissions, 0 when the archive keeps none
    uint64_t localHeader = 0;  // from the start of the file
};

// An archive's file and the entries of its central directory.
struct OpenArchive {
    std::ifstream file;
    uint64_t size = 0;
    std::vector<Entry> entries;
};

Bytes readAt(std::ifstream& file, uint64_t at, std::size_t length) {
    Bytes bytes(length);
    file.clear();
    file.seekg(static_cast<std::streamoff>(at));
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

// The central directory; what is wrong, or nothing.
std::optional<std::string> openArchive(const fs::path& path, OpenArchive& archive) {
    std::error_code status;
    if (!fs::is_regular_file(path, status)) return "no such file";
    archive.size = fs::file_size(path, status);
    archive.file.open(path, std::ios::binary);
    if (status || !archive.file) return "cannot open the file for reading";
    uint64_t tailStart = archive.size > kEndOfDirectorySize + 0xFFFF ? archive.size - kEndOfDirectorySize - 0xFFFF : 0;
    Bytes tail = readAt(archive.file, tailStart, static_cast<std::size_t>(archive.size - tailStart));
    if (tail.size() < kEndOfDirectorySize) return "not a zip archive (too short)";
    std::size_t end = tail.size() - kEndOfDirectorySize;
    while (readU32(tail, end) != kEndOfDirectorySignature) {
        if (end == 0) return "not a zip archive (no end of central directory)";
        --end;
    }
    std::size_t count = readU16(tail, end + 10);
    uint32_t directorySize = readU32(tail, end + 12), directoryOffset = readU32(tail, end + 16);
    if (count == kMaxEntries || directoryOffset == kZip32Limit) return "a zip64 archive, which this tool cannot read";
    uint64_t endAt = tailStart + end;
    if (endAt < uint64_t{directorySize} + directoryOffset) return "damaged zip archive: its directory lies outside it";
    // Data before the archive (a jmod's header) shifts every offset.
    uint64_t base = endAt - directorySize - directoryOffset;
    Bytes directory = readAt(archive.file, endAt - directorySize, directorySize);
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (at + kDirectoryEntrySize > directory.size() || readU32(directory, at) != kDirectoryEntrySignature)
            return "damaged zip archive: entry " + std::to_string(i + 1) + " of its directory is cut off";
        Entry entry;
        uint16_t madeBy = readU16(directory, at + 4);
        entry.flags = readU16(directory, at + 8);
        entry.method = readU16(directory, at + 10);
        entry.crc = readU32(directory, at + 16);
        entry.packedSize = readU32(directory, at + 20);
        entry.size = readU32(directory, at + 24);
        std::size_t nameLength = readU16(directory, at + 28);
        std::size_t skipped = std::size_t{readU16(directory, at + 30)} + readU16(directory, at + 32);
        if ((madeBy & 0xFF00) == kMadeOnUnix) entry.mode = (readU32(directory, at + 38) >> 16) & 0777;
        entry.localHeader = base + readU32(directory, at + 42);
        if (at + kDirectoryEntrySize + nameLength > directory.size())
            return "damaged zip archive: entry " + std::to_string(i + 1) + " of its directory is cut off";
        entry.name.assign(reinterpret_cast<const char*>(&directory[at + kDirectoryEntrySize]), nameLength);
        if (entry.packedSize == kZip32Limit || entry.size == kZip32Limit)
            return "a zip64 archive, which this tool cannot read";
        archive.entries.push_back(std::move(entry));
        at += kDirectoryEntrySize + nameLength + skipped;
    }
    return std::nullopt;
}

// Where an entry's data starts, after its local header.
std::optional<uint64_t> dataStart(OpenArchive& archive, const Entry& entry) {
    Bytes header = readAt(archive.file, entry.localHeader, kLocalHeaderSize);
    if (header.size() < kLocalHeaderSize || readU32(header, 0) != kLocalHeaderSignature) return std::nullopt;
    uint64_t start = entry.localHeader + kLocalHeaderSize + readU16(header, 26) + readU16(header, 28);
    if (start > archive.size || archive.size - start < entry.packedSize) return std::nullopt;
    return start;
}

// Hands the entry's bytes to `sink` in pieces, checking its size and CRC.
template <typename Sink>
std::optional<std::string> readEntry(OpenArchive& archive, const Entry& entry, Sink sink) {
    std::string which = "entry '" + entry.name + "'";
    if (entry.flags & kEncryptedFlag) return which + " is encrypted";
    if (entry.method != kStored && entry.method != kDeflated)
        return which + " is packed with method " + std::to_string(entry.method) +
               " (only stored and deflated are read)";
    std::optional<uint64_t> start = dataStart(archive, entry);
    if (!start) return "damaged zip archive: the data of " + which + " lies outside it";
    archive.file.clear();
    archive.file.seekg(static_cast<std::streamoff>(*start));
    z_stream stream{};
    if (entry.method == kDeflated && inflateInit2(&stream, -MAX_WBITS) != Z_OK) return "out of memory";
    std::vector<char> in(kChunk), out(kChunk);
    uint32_t left = entry.packedSize;
    uint64_t produced = 0;
    uLong crc = crc32(0, nullptr, 0);
    int status = Z_OK;
    std::optional<std::string> problem;
    while (!problem && left > 0 && status != Z_STREAM_END) {
        std::size_t piece = std::min<std::size_t>(left, in.size());
        archive.file.read(in.data(), static_cast<std::streamsize>(piece));
        if (static_cast<std::size_t>(archive.file.gcount()) != piece) {
            problem = "cannot read " + which;
            break;
        }
        left -= static_cast<uint32_t>(piece);
        if (entry.method == kStored) {
            crc = crc32(crc, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(piece));
            produced += piece;
            sink(in.data(), piece);
            continue;
        }
        stream.next_in = reinterpret_cast<Bytef*>(in.data());
        stream.avail_in = static_cast<uInt>(piece);
        while (stream.avail_in > 0 && status != Z_STREAM_END) {
            stream.next_out = reinterpret_cast<Bytef*>(out.data());
            stream.avail_out = static_cast<uInt>(out.size());
            status = inflate(&stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                problem = "damaged zip archive: " + which + " does not inflate";
                break;
            }
            std::size_t made = out.size() - stream.avail_out;
            if (made == 0 && status == Z_BUF_ERROR) break;
            crc = crc32(crc, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(made));
            produced += made;
            sink(out.data(), made);
        }
    }
    if (entry.method == kDeflated) inflateEnd(&stream);
    if (problem) return problem;
    if (produced != entry.size || crc != entry.crc)
        return "damaged zip archive: " + which + " does not hold the bytes its directory describes";
    return std::nullopt;
}

// The entry's name as a path below the target, or nothing when it could reach outside.
std::optional<fs::path> safeRelativePath(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name[0] == '/' || name.find(':') != std::string::npos) return std::nullopt;
    fs::path relative;
    std::size_t start = 0;
    while (start < name.size()) {
        std::size_t end = name.find('/', start);
        std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") relative /= pathFromUtf8(part);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return relative;
}

void putU16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void putU32(std::string& out, uint32_t value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

// A file's modification time and permissions as a zip records them.
struct FileStamp {
    uint16_t time = 0;
    uint16_t date = (1 << 5) | 1;  // 1980-01-01, the earliest a zip can say
    uint32_t mode = 0644;
};

FileStamp stampOf(const fs::path& file, bool folder) {
    FileStamp stamp;
    stamp.mode = folder ? 0755 : 0644;
#ifndef _WIN32
    struct stat info;
    if (::stat(file.c_str(), &info) != 0) return stamp;
    stamp.mode = info.st_mode & 0777;
    std::tm local{};
    if (localtime_r(&info.st_mtime, &local) == nullptr || local.tm_year < 80) return stamp;
    stamp.time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    stamp.date = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
#else
    (void)file;
#endif
    return stamp;
}

// Raw deflate of the whole buffer.
std::string deflated(const Bytes& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw FileError("out of memory");
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw FileError("cannot compress");
    return out;
}

}  // namespace

std::optional<std::string> extractZip(const fs::path& path, const fs::path& directory) {
    OpenArchive archive;
    if (std::optional<std::string> problem = openArchive(path, archive)) return problem;
    std::error_code status;
    fs::create_directories(directory, status);
    if (status) return "cannot create " + pathToUtf8(directory) + ": " + status.message();
    for (const Entry& entry : archive.entries) {
        std::optional<fs::path> relative = safeRelativePath(entry.name);
        if (!relative) return "entry '" + entry.name + "' would be written outside the folder it is unpacked into";
        fs::path target = directory / *relative;
        bool folder = !entry.name.empty() && (entry.name.back() == '/' || entry.name.back() == '\\');
        fs::create_directories(folder ? target : target.parent_path(), status);
        if (status) return "cannot create a folder for " + pathToUtf8(target) + ": " + status.message();
        if (folder) continue;
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        if (!out) return "cannot write " + pathToUtf8(target);
        std::optional<std::string> problem = readEntry(archive, entry, [&](const char* bytes, std::size_t length) {
            out.write(bytes, static_cast<std::streamsize>(length));
        });
        out.close();
        if (problem) return problem;
        if (!out) return "cannot write " + pathToUtf8(target) + " (disk full?)";
        if (entry.mode != 0) fs::permissions(target, static_cast<fs::perms>(entry.mode), status);
    }
    return std::nullopt;
}

std::optional<Bytes> readZipEntry(const fs::path& path, const std::string& name, std::string& problem) {
    OpenArchive archive;
    if (std::optional<std::string> opened = openArchive(path, archive)) {
        problem = *opened;
        return std::nullopt;
    }
    for (const Entry& entry : archive.entries) {
        if (entry.name != name) continue;
        Bytes data;
        std::optional<std::string> read = readEntry(archive, entry, [&](const char* bytes, std::size_t length) {
            data.insert(data.end(), bytes, bytes + length);
        });
        if (!read) return data;
        problem = *read;
        return std::nullopt;
    }
    problem = "it has no entry " + name;
    return std::nullopt;
}

void writeZip(const fs::path& path, const std::vector<ZipSource>& sources) {
    if (sources.size() >= kMaxEntries) throw FileError("more files than a zip archive without zip64 holds");
    writeFileReplacing(path, [&](std::ostream& out) {
        std::string directory;
        uint64_t offset = 0;
        for (const ZipSource& source : sources) {
            bool folder = !source.name.empty() && source.name.back() == '/';
            Bytes data = folder ? Bytes() : readWholeFile(source.file);
            std::string packed = folder ? std::string() : deflated(data);
            uint16_t method = kDeflated;
            if (packed.size() >= data.size()) {
                packed.assign(data.begin(), data.end());
                method = kStored;
            }
            uint32_t crc = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
            FileStamp stamp = stampOf(source.file, folder);
            if (offset > kZip32Limit)
                throw FileError("the archive would be larger than 4 GiB, more than zip without zip64 holds");
            std::string common;
            putU16(common, kVersionNeeded);
            putU16(common, kUtf8NamesFlag);
            putU16(common, method);
            putU16(common, stamp.time);
            putU16(common, stamp.date);
            putU32(common, crc);
            putU32(common, static_cast<uint32_t>(packed.size()));
            putU32(common, static_cast<uint32_t>(data.size()));
            putU16(common, static_cast<uint32_t>(source.name.size()));
            putU16(common, 0);  // no extra field
            std::string local;
            putU32(local, kLocalHeaderSignature);
            local += common + source.name;
            out.write(local.data(), static_cast<std::streamsize>(local.size()));
            out.write(packed.data(), static_cast<std::streamsize>(packed.size()));
            putU32(directory, kDirectoryEntrySignature);
            putU16(directory, kMadeOnUnix | kVersionNeeded);
            directory += common;
            putU16(directory, 0);  // comment
            putU16(directory, 0);  // disk
            putU16(directory, 0);  // internal attributes
            // Unix file type and permissions above, the MS-DOS folder attribute below.
            uint32_t unixMode = (folder ? 0040000u : 0100000u) | stamp.mode;
            putU32(directory, (unixMode << 16) | (folder ? 0x10u : 0u));
            putU32(directory, static_cast<uint32_t>(offset));
            directory += source.name;
            offset += local.size() + packed.size();
        }
        if (offset > kZip32Limit)
            throw FileError("the archive would be larger than 4 GiB, more than zip without zip64 holds");
        std::string end;
        putU32(end, kEndOfDirectorySignature);
        putU16(end, 0);
        putU16(end, 0);
        putU16(end, static_cast<uint32_t>(sources.size()));
        putU16(end, static_cast<uint32_t>(sources.size()));
        putU32(end, static_cast<uint32_t>(directory.size()));
        putU32(end, static_cast<uint32_t>(offset));
        putU16(end, 0);
        out.write(directory.data(), static_cast<std::streamsize>(directory.size()));
        out.write(end.data(), static_cast<std::streamsize>(end.size()));
    });
}

}  // namespace tovex
