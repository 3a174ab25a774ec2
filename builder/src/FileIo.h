// File access for the commands, with errors that name the file and the reason.
#pragma once
#include <filesystem>
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

// Throws FileError("cannot read ...: reason").
Bytes readWholeFile(const std::filesystem::path& path);

// Writes `data` to a temporary file beside `target` and renames it over the
// target, so readers see either the old file or the whole new one. On
// failure the temporary file is removed and FileError thrown.
void writeFileReplacing(const std::filesystem::path& target, const Bytes& data);

// The running program's own file; `argv0` is the fallback where the system
// cannot say.
std::filesystem::path ownExecutablePath(const char* argv0);

}  // namespace tovex
