#include "FileIo.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <random>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace tovex {
namespace {

fs::path temporaryNameBeside(const fs::path& target) {
    std::random_device entropy;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x.tmp", entropy(), entropy());
    return target.parent_path() / pathFromUtf8("." + pathToUtf8(target.filename()) + suffix);
}

// Removes the file when it goes out of scope, unless it was kept.
class TemporaryFile {
public:
    explicit TemporaryFile(fs::path path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!kept_) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    const fs::path& path() const { return path_; }
    void keep() { kept_ = true; }

private:
    fs::path path_;
    bool kept_ = false;
};

std::string directoryOf(const fs::path& target) {
    return target.parent_path().empty() ? "." : pathToUtf8(target.parent_path());
}

}  // namespace

fs::path pathFromUtf8(const std::string& text) { return fs::u8path(text); }

std::string pathToUtf8(const fs::path& path) { return path.u8string(); }

std::ifstream openForReading(const fs::path& path) {
    std::error_code status;
    if (!fs::exists(path, status)) throw FileError("no such file");
    if (fs::is_directory(path, status)) throw FileError("is a directory, not a file");
    // A device or a pipe never ends or blocks the build.
    if (!fs::is_regular_file(path, status)) throw FileError("is not a regular file (a device, a pipe or a socket)");
    std::uintmax_t size = fs::file_size(path, status);
    if (status || size > kMaxInputFileBytes)
        throw FileError("is larger than " + std::to_string(kMaxInputFileBytes) +
                        " bytes, more than an executable can carry");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError("cannot open the file for reading");
    return in;
}

Bytes readWholeFile(const fs::path& path) { return readFileStart(path, std::numeric_limits<std::size_t>::max()); }

Bytes readFileStart(const fs::path& path, std::size_t maxBytes) {
    constexpr std::size_t kPiece = 1 << 20;
    std::ifstream in = openForReading(path);
    Bytes bytes;
    while (bytes.size() < maxBytes) {
        std::size_t before = bytes.size();
        std::size_t wanted = std::min(maxBytes - before, kPiece);
        bytes.resize(before + wanted);
        in.read(reinterpret_cast<char*>(bytes.data() + before), static_cast<std::streamsize>(wanted));
        bytes.resize(before + static_cast<std::size_t>(in.gcount()));
        if (bytes.size() < before + wanted) break;
    }
    if (in.bad()) throw FileError("read error");
    return bytes;
}

void writeFileReplacing(const fs::path& target, const std::function<void(std::ostream&)>& writeContent) {
    std::error_code status;
    fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    if (!fs::is_directory(directory, status))
        throw FileError("the output directory " + directoryOf(target) + " does not exist");
    if (fs::is_directory(target, status)) throw FileError("a directory of that name exists");

    TemporaryFile temporary(temporaryNameBeside(target));
    {
        std::ofstream out(temporary.path(), std::ios::binary | std::ios::trunc);
        if (!out) throw FileError("cannot create a file in " + directoryOf(target));
        writeContent(out);
        out.close();
        if (!out) throw FileError("writing to " + directoryOf(target) + " failed (disk full?)");
    }
    fs::rename(temporary.path(), target, status);
    if (status) throw FileError("cannot replace the file: " + status.message());
    temporary.keep();
}

fs::path ownExecutablePath(const char* argv0) {
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length > 0 && length < buffer.size()) return fs::path(buffer.substr(0, length));
#else
    std::error_code status;
    fs::path self = fs::read_symlink("/proc/self/exe", status);
    if (!status) return self;
#endif
    std::error_code ignored;
    return fs::absolute(pathFromUtf8(argv0 ? argv0 : "tovex"), ignored);
}

}  // namespace tovex
