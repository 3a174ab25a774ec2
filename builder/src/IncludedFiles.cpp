#include "IncludedFiles.h"

#include <limits>
#include <map>

#include "BlockFormat.h"
#include "CodePage.h"
#include "FileIo.h"
#include "IncludedNames.h"
#include "KeyTable.h"
#include "Unicode.h"

namespace fs = std::filesystem;

namespace tovex {
namespace {

// The launcher reads sizes and seeks with signed 32-bit numbers.
constexpr uint64_t kMaxLauncherFileSize = std::numeric_limits<int32_t>::max();

const char* const kSizeLimitText = "2147483647 bytes (2 GiB - 1)";

// "included file name 'x'", with where a name not given comes from.
std::string describeName(const IncludedFile& file) {
    std::string text = "included file name '" + includedFileName(file) + "'";
    return file.name ? text : text + " (from path '" + file.path + "')";
}

SourcePos namePos(const IncludedFile& file) { return file.name ? file.namePos : file.pathPos; }

// Windows compares file names ignoring case.
std::u32string caseFolded(const std::string& utf8) {
    std::u32string text = decodeUtf8(utf8);
    for (char32_t& c : text) c = upperCaseOf(c);
    return text;
}

// Checks one name; its bytes in the code page, or nothing after an error.
std::optional<std::string> encodedName(const IncludedFile& file, int codePage, const std::string& projectFile,
                                       std::vector<Diagnostic>& errors) {
    std::string name = includedFileName(file);
    std::string hint = file.name ? "" : "; give it another with name = \"...\"";
    if (std::optional<std::string> problem = includedNameProblem(name)) {
        errors.push_back({projectFile, namePos(file), describeName(file) + " " + *problem + hint});
        return std::nullopt;
    }
    Encoded encoded = encodeToCodePage(name, codePage);
    if (encoded.failure) {
        errors.push_back({projectFile, namePos(file),
                          describeName(file) + ": character " + std::to_string(encoded.failure->position) + " (" +
                              characterLabel(encoded.failure->codePoint) + ") cannot be expressed in code page " +
                              std::to_string(codePage) + ", in which file names are stored" + hint});
        return std::nullopt;
    }
    // The launcher checks the bytes: "COM\xB9" is COM¹ in code page 1252, a device.
    if (std::optional<std::string> problem = launcherRefusalProblem(encoded.bytes)) {
        errors.push_back({projectFile, namePos(file),
                          describeName(file) + " " + *problem + " in code page " + std::to_string(codePage) +
                              ", in which the launcher reads it (COM and LPT followed by a superscript digit are "
                              "devices too), so no start could extract it" +
                              hint});
        return std::nullopt;
    }
    return encoded.bytes;
}

// The size of a file that can be included, or nothing with `problem` saying
// why it cannot. `shown` is the path as the messages give it.
std::optional<uint64_t> includableSize(const fs::path& path, const std::string& shown, std::string& problem) {
    auto refuse = [&](std::string why) {
        problem = std::move(why);
        return std::nullopt;
    };
    std::error_code status;
    fs::file_status type = fs::status(path, status);
    if (!fs::exists(type)) return refuse("no such file: " + shown);
    if (fs::is_directory(type)) return refuse(shown + " is a directory; include the files in it one by one");
    if (!fs::is_regular_file(type)) return refuse(shown + " is not a regular file");
    uint64_t size = fs::file_size(path, status);
    if (status) return refuse("cannot read " + shown + ": " + status.message());
    if (size > kMaxLauncherFileSize)
        return refuse(shown + " is " + std::to_string(size) + " bytes; the launcher takes included files of at most " +
                      kSizeLimitText);
    try {
        openForReading(path);
    } catch (const FileError& e) {
        return refuse("cannot read " + shown + ": " + e.what());
    }
    return size;
}

}  // namespace

std::string includedFileName(const IncludedFile& file) {
    if (file.name) return *file.name;
    std::size_t separator = file.path.find_last_of("/\\");
    return separator == std::string::npos ? file.path : file.path.substr(separator + 1);
}

void addIncludedFileRecords(const std::vector<IncludedFile>& files, int codePage, const std::string& projectFile,
                            std::vector<Setting>& settings, std::vector<Diagnostic>& errors) {
    std::vector<std::string> names;  // UTF-8, for the record
    std::size_t listBytes = 0;       // in the code page, with the ';'s
    std::map<std::u32string, const IncludedFile*> taken;  // by folded name
    for (const IncludedFile& file : files) {
        std::optional<std::string> encoded = encodedName(file, codePage, projectFile, errors);
        auto [earlier, added] = taken.emplace(caseFolded(includedFileName(file)), &file);
        if (!added) {
            const IncludedFile& first = *earlier->second;
            errors.push_back({projectFile, namePos(file),
                              describeName(file) + " is also the name of the file at line " +
                                  std::to_string(namePos(first).line) + " ('" + includedFileName(first) +
                                  "'); Windows file names ignore case"});
            continue;
        }
        if (!encoded) continue;
        names.push_back(includedFileName(file));
        listBytes += encoded->size() + 1;
    }
    if (files.empty() || names.size() != files.size()) return;

    if (listBytes > static_cast<std::size_t>(blockformat::kMaxTextLength)) {
        errors.push_back({projectFile, files.front().tablePos,
                          "the names of the included files take " + std::to_string(listBytes) +
                              " bytes in key 2003 (includedFileNames), each with a ';', but the launcher reads at "
                              "most " + std::to_string(blockformat::kMaxTextLength) +
                              "; include fewer files or give them shorter names"});
        return;
    }
    std::string origin = "the included files";
    settings.push_back({key::includedFileCount, false, std::to_string(files.size()), origin, files.front().tablePos,
                        blockformat::kMaxTextLength});
    settings.push_back({key::includedFileNames, false, listIncludedNames(names), origin,
                        files.front().tablePos, blockformat::kMaxTextLength});
}

std::vector<IncludedFileSource> locateIncludedFiles(const std::vector<IncludedFile>& files,
                                                    const fs::path& projectDirectory, const std::string& projectFile,
                                                    std::vector<Diagnostic>& errors) {
    std::vector<IncludedFileSource> sources;
    for (const IncludedFile& file : files) {
        fs::path path = projectDirectory / pathFromUtf8(file.path);
        std::string problem;
        if (std::optional<uint64_t> size = includableSize(path, pathToUtf8(path), problem))
            sources.push_back({path, static_cast<uint32_t>(*size)});
        else
            errors.push_back({projectFile, file.pathPos, "[[files]] path: " + problem});
    }
    return sources;
}

}  // namespace tovex
