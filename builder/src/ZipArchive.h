// Zip archives, as far as the runtime image needs them: a vendor's JDK zip
// unpacked, one entry of a jmod read, and a distribution written. Stored and
// deflated entries (zlib); no zip64, so each file and the archive stay below
// 4 GiB. Data before the archive (a jmod's "JM" header) is allowed.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ByteOrder.h"

namespace tovex {

// Unpacks every entry into `directory` (created), keeping Unix permissions
// where the archive records them. What is wrong, or nothing; a name that
// would reach outside the directory is refused.
std::optional<std::string> extractZip(const std::filesystem::path& archive, const std::filesystem::path& directory);

// The bytes of the entry `name`, or nothing when the archive cannot be read
// or has no such entry (`problem` then says which).
std::optional<Bytes> readZipEntry(const std::filesystem::path& archive, const std::string& name, std::string& problem);

// A file to put into a zip under `name` ('/'-separated); a name ending in
// '/' is a folder entry and `file` is not read.
struct ZipSource {
    std::filesystem::path file;
    std::string name;
};

// Writes the archive (through a temporary file beside it, see
// writeFileReplacing); deflates each file unless that makes it larger.
// Throws FileError.
void writeZip(const std::filesystem::path& archive, const std::vector<ZipSource>& sources);

}  // namespace tovex
