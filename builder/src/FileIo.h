// File access for the commands, with errors that name the file and the reason.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "ByteOrder.h"

namespace tovex {

class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Paths given by the user are UTF-8; this keeps them so on every platform.
std::filesystem::path pathFromUtf8(const std::string& text);
std::string pathToUtf8(const std::filesystem::path& path);

// The most any input file may hold: the launcher reads with signed 32-bit
// offsets.
constexpr std::uintmax_t kMaxInputFileBytes = 0x7FFFFFFF;

// The reading functions throw FileError with the reason, e.g. "no such file".
// They read regular files only, of at most kMaxInputFileBytes.
std::ifstream openForReading(const std::filesystem::path& path);
Bytes readWholeFile(const std::filesystem::path& path);
// The first `maxBytes` bytes, or all of a shorter file.
Bytes readFileStart(const std::filesystem::path& path, std::size_t maxBytes);

// Has `writeContent` write to a temporary file beside `target` and renames it
// over the target, so readers see either the old file or the whole new one.
// On failure, or when `writeContent` throws, the temporary file is removed;
// FileError is thrown for a failure here, the exception for one there.
void writeFileReplacing(const std::filesystem::path& target,
                        const std::function<void(std::ostream&)>& writeContent);

// The running program's own file; `argv0` is the fallback where the system
// cannot say.
std::filesystem::path ownExecutablePath(const char* argv0);

}  // namespace tovex
