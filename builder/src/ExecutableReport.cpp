#include "ExecutableReport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>

#include "ApplicationResources.h"
#include "ConfigBlock.h"
#include "Diagnostic.h"
#include "ExitCode.h"
#include "FileIo.h"
#include "IncludedNames.h"
#include "Json.h"
#include "KeyTable.h"
#include "LauncherCodes.h"
#include "PeStub.h"
#include "Unicode.h"

namespace fs = std::filesystem;

namespace tovex {
namespace {

// The first read covers the headers and a typical block; the included files
// after it may be large and are left on disk.
constexpr std::size_t kFirstReadSize = 64 * 1024;

// A record as shown to the user.
struct ShownRecord {
    int32_t key;
    std::string name;  // empty for a key the launcher does not know
    std::string value;  // UTF-8
    std::size_t offset;
    std::size_t length;  // bytes
};

std::vector<ShownRecord> showRecords(const std::vector<RecordAt>& records, bool wide, int codePage) {
    std::vector<ShownRecord> shown;
    for (const RecordAt& at : records) {
        const KeyInfo* known = findKeyByNumber(at.record.key);
        std::string value = wide ? utf16LeToUtf8(at.record.bytes) : decodeFromCodePage(at.record.bytes, codePage);
        shown.push_back({at.record.key, known ? std::string(known->name) : "", value, at.offset, at.record.bytes.size()});
    }
    return shown;
}

// An included file as the launcher would extract it.
struct ShownFile {
    std::string name;  // UTF-8
    IncludedEntryAt entry;
    bool safe;  // the launcher would extract it
};

struct IncludedListing {
    std::vector<ShownFile> files;       // as far as the area is intact
    std::optional<std::string> note;    // the count and the names disagree
    std::vector<std::string> problems;  // unsafe names, a damaged area
};

// The launcher keeps the last of records with the same key.
std::string_view lastValue(const std::vector<RecordAt>& records, int32_t key) {
    for (auto at = records.rbegin(); at != records.rend(); ++at)
        if (at->record.key == key) return at->record.bytes;
    return {};
}

std::optional<std::string> countMismatch(const LauncherFileList& list) {
    if (list.count == static_cast<long long>(list.namesListed)) return std::nullopt;
    std::size_t extracted = list.names.size();
    return "includedFileCount (key 2002) is " + std::to_string(list.count) + " but includedFileNames (key 2003) lists " +
           std::to_string(list.namesListed) + (list.namesListed == 1 ? " name" : " names") +
           "; the launcher extracts " + (extracted == 0 ? "none" : "the first " + std::to_string(extracted));
}

IncludedListing listIncludedFiles(const fs::path& path, const ParsedBlock& block, uint64_t fileSize, int codePage) {
    LauncherFileList list = filesTheLauncherExtracts(lastValue(block.narrow, key::includedFileCount),
                                                     lastValue(block.narrow, key::includedFileNames));
    IncludedListing listing;
    listing.note = countMismatch(list);
    std::vector<std::string> names;
    for (const std::string& name : list.names) names.push_back(decodeFromCodePage(name, codePage));
    std::ifstream file = openForReading(path);
    IncludedArea area = parseIncludedArea(file, fileSize, block.includedFilesOffset, names);
    for (std::size_t i = 0; i < area.entries.size(); ++i) {
        // As the launcher checks it: the stored bytes, in which a superscript digit makes COM¹ a device.
        std::optional<std::string> unsafe = launcherRefusalProblem(list.names[i]);
        listing.files.push_back({names[i], area.entries[i], !unsafe});
        if (unsafe)
            listing.problems.push_back("included file " + std::to_string(i + 1) + " of " + std::to_string(names.size()) +
                                       ": the launcher refuses to extract '" + names[i] + "', which " + *unsafe);
    }
    if (area.damage) listing.problems.push_back(*area.damage);
    return listing;
}

// Keeps each value on one table row.
std::string displayQuoted(std::string_view utf8) { return quotedWithEscapes(utf8, "\\x%02X", true); }

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

void printTable(std::ostream& out, const char* title, const std::vector<ShownRecord>& records) {
    if (records.empty()) {
        out << title << ": none\n";
        return;
    }
    out << title << " (" << records.size() << "):\n";
    std::size_t keyWidth = 3, nameWidth = 4;
    for (const ShownRecord& record : records) {
        keyWidth = std::max(keyWidth, std::to_string(record.key).size());
        nameWidth = std::max(nameWidth, record.name.empty() ? 9 : record.name.size());
    }
    out << "  " << padded("Key", keyWidth) << "  " << padded("Name", nameWidth) << "  Value\n";
    for (const ShownRecord& record : records) {
        out << "  " << padded(std::to_string(record.key), keyWidth) << "  "
            << padded(record.name.empty() ? "(unknown)" : record.name, nameWidth) << "  " << displayQuoted(record.value)
            << '\n';
    }
}

void printJsonRecords(std::ostream& out, const char* field, const std::vector<ShownRecord>& records) {
    out << "  \"" << field << "\": [";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ShownRecord& record = records[i];
        out << (i == 0 ? "\n" : ",\n") << "    {\"key\": " << record.key
            << ", \"name\": " << (record.name.empty() ? "null" : jsonString(record.name))
            << ", \"value\": " << jsonString(record.value) << ", \"offset\": " << record.offset
            << ", \"length\": " << record.length << "}";
    }
    out << (records.empty() ? "],\n" : "\n  ],\n");
}

void printJsonFiles(std::ostream& out, const IncludedListing& listing) {
    out << "  \"includedFiles\": [";
    for (std::size_t i = 0; i < listing.files.size(); ++i) {
        const ShownFile& file = listing.files[i];
        out << (i == 0 ? "\n" : ",\n") << "    {\"name\": " << jsonString(file.name) << ", \"size\": " << file.entry.size
            << ", \"offset\": " << file.entry.offset << "}";
    }
    out << (listing.files.empty() ? "],\n" : "\n  ],\n");
    out << "  \"includedFilesNote\": " << (listing.note ? jsonString(*listing.note) : "null") << ",\n";
}

// The resources of the executable's image, as far as they can be read.
struct ResourceListing {
    std::vector<Resource> resources;
    std::optional<std::string> problem;  // why they cannot be read
    std::optional<std::string> warning;  // the splash picture does not fit its window
};

ResourceListing listResources(const fs::path& path, const ParsedBlock& block) {
    ResourceListing listing;
    try {
        listing.resources = readImageResources(readFileStart(path, block.blockOffset));
    } catch (const FileError&) {
        throw;
    } catch (const std::runtime_error& e) {
        listing.problem = std::string("cannot read the resources: ") + e.what();
        return listing;
    }
    for (const Resource& resource : listing.resources) {
        if (resource.type != ResourceId::of(resourcetype::bitmap) || resource.name != ResourceId::of(kSplashBitmapId))
            continue;
        std::optional<DibInfo> picture = readDibInfo(resource.data);
        if (!picture) {
            listing.problem = "the splash picture (bitmap " + std::to_string(kSplashBitmapId) + ") is not a bitmap";
            continue;
        }
        listing.warning = splashSizeMismatch(*picture, launcherInt(lastValue(block.narrow, key::splashWidth)),
                                             launcherInt(lastValue(block.narrow, key::splashHeight)));
    }
    return listing;
}

std::string jsonResourceId(const ResourceId& id) {
    return id.isNumber ? std::to_string(id.number) : jsonString(describeResourceId(id));
}

void printJsonResources(std::ostream& out, const ResourceListing& listing) {
    out << "  \"resources\": [";
    for (std::size_t i = 0; i < listing.resources.size(); ++i) {
        const Resource& resource = listing.resources[i];
        std::optional<std::string> typeName = standardTypeName(resource.type);
        out << (i == 0 ? "\n" : ",\n") << "    {\"type\": " << jsonResourceId(resource.type)
            << ", \"typeName\": " << (typeName ? jsonString(*typeName) : "null")
            << ", \"name\": " << jsonResourceId(resource.name) << ", \"language\": " << resource.language
            << ", \"size\": " << resource.data.size() << "}";
    }
    out << (listing.resources.empty() ? "],\n" : "\n  ],\n");
}

std::string shownResourceId(const ResourceId& id) {
    return id.isNumber ? std::to_string(id.number) : displayQuoted(describeResourceId(id));
}

void printResources(std::ostream& out, const ResourceListing& listing) {
    if (listing.resources.empty()) {
        out << "Resources: none\n";
        return;
    }
    out << "Resources (" << listing.resources.size() << "):\n";
    std::vector<std::array<std::string, 5>> rows;
    rows.push_back({"Type", "Name", "Language", "Size", ""});
    for (const Resource& resource : listing.resources) {
        char language[16];
        std::snprintf(language, sizeof language, "0x%04X", resource.language);
        std::string note;
        if (resource.type == ResourceId::of(resourcetype::bitmap))
            if (std::optional<DibInfo> picture = readDibInfo(resource.data))
                note = std::to_string(picture->width) + " x " + std::to_string(picture->height) + ", " +
                       std::to_string(picture->bitsPerPixel) + " bits per pixel";
        rows.push_back({standardTypeName(resource.type).value_or(shownResourceId(resource.type)),
                        shownResourceId(resource.name), language, std::to_string(resource.data.size()), note});
    }
    std::array<std::size_t, 4> widths{};
    for (const auto& row : rows)
        for (std::size_t column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    for (const auto& row : rows) {
        std::string line = "  ";
        for (std::size_t column = 0; column < widths.size(); ++column)
            line += padded(row[column], widths[column]) + "  ";
        line += row[4];
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
    }
}

// What the headers say beyond the block: the program's subsystem and its signature.
struct ImageFacts {
    uint16_t subsystem = 0;
    uint32_t signatureOffset = 0;  // the certificate table (security data directory entry); 0 for none
    uint32_t signatureSize = 0;
};

ImageFacts readImageFacts(const fs::path& path) {
    constexpr std::size_t kLfanew = 0x3C, kOptionalHeader = 24, kSubsystem = 68, kPe32Magic = 0x10B;
    constexpr std::size_t kSecurityEntryPe32 = 128, kSecurityEntryPe32Plus = 144;
    ImageFacts facts;
    Bytes start = readFileStart(path, 4096);
    if (start.size() < kLfanew + 4) return facts;
    std::size_t optional = std::size_t{readU32(start, kLfanew)} + kOptionalHeader;
    if (optional + kSecurityEntryPe32Plus + 8 > start.size()) return facts;
    facts.subsystem = readU16(start, optional + kSubsystem);
    std::size_t security = optional + (readU16(start, optional) == kPe32Magic ? kSecurityEntryPe32 : kSecurityEntryPe32Plus);
    facts.signatureOffset = readU32(start, security);
    facts.signatureSize = readU32(start, security + 4);
    return facts;
}

bool isManifest(const Resource& resource) { return resource.type == ResourceId::of(resourcetype::manifest); }

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    return text.empty() ? "(none)" : text;
}

std::string programText(std::string_view type, uint16_t subsystem) {
    std::string kind = type == "1"   ? "GUI: errors in message boxes"
                       : type == "5" ? "console type, errors in message boxes"
                                     : "console type, errors on standard error";
    return kind + " (executable type " + (type.empty() ? "absent" : "\"" + std::string(type) + "\"") + ", " +
           (subsystem == 3 ? "console subsystem" : subsystem == 2 ? "GUI subsystem" : "subsystem " + std::to_string(subsystem)) + ")";
}

// The first folder the search looks at beside the executable (a relative folder entry: a runtime shipped
// with the application), and its place in the search.
struct BundledRuntime {
    std::string folder;
    std::size_t place;  // 1 for the first entry
};

std::optional<BundledRuntime> bundledRuntime(const std::string& searchCode) {
    std::vector<std::string> words = describeSearchCode(searchCode);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.rfind("dir:", 0) != 0) continue;
        std::string folder = word.substr(4);
        bool absolute =
            folder.empty() || folder[0] == '\\' || folder[0] == '/' || (folder.size() > 1 && folder[1] == ':');
        if (!absolute) return BundledRuntime{folder, i + 1};
    }
    return std::nullopt;
}

void printSummary(std::ostream& out, const ParsedBlock& block, const ResourceListing& resources,
                  const ImageFacts& facts, int codePage) {
    auto text = [&](int32_t key) { return decodeFromCodePage(lastValue(block.narrow, key), codePage); };
    std::string search = text(key::jvmSearchSequence), classPath = text(key::classPath);
    std::string minimum = text(key::minJavaVersion), maximum = text(key::maxJavaVersion);
    auto manifest = std::find_if(resources.resources.begin(), resources.resources.end(), isManifest);
    out << "Application:\n";
    out << "  Program     " << programText(text(key::executableType), facts.subsystem) << '\n';
    out << "  Main class  " << (text(key::mainClass).empty() ? "(none)" : text(key::mainClass)) << '\n';
    out << "  Search      " << joined(describeSearchCode(search)) << "  (code " << displayQuoted(search) << ")\n";
    if (std::optional<BundledRuntime> bundled = bundledRuntime(search))
        out << "  Bundled     " << bundled->folder
            << "  (a Java runtime in this folder beside the executable, searched "
            << (bundled->place == 1 ? std::string("first") : "as entry " + std::to_string(bundled->place)) << ")\n";
    out << "  Class path  " << joined(describeClassPathCode(classPath)) << "  (code " << displayQuoted(classPath) << ")\n";
    std::string bounds = minimum.empty() && maximum.empty() ? "any version"
                         : maximum.empty()                  ? minimum + " or later"
                         : minimum.empty()                  ? "up to " + maximum
                                                            : minimum + " to " + maximum;
    out << "  Java        " << bounds
        << (text(key::modernRuntime).empty() || text(key::modernRuntime) == "0" ? "" : "; modern runtime search") << '\n';
    out << "  Manifest    "
        << (manifest == resources.resources.end() ? "none" : "RT_MANIFEST " + shownResourceId(manifest->name) + ", " +
                                                                 std::to_string(manifest->data.size()) + " bytes")
        << '\n';
    out << "  Signature   "
        << (facts.signatureSize == 0 ? "none"
                                     : "present: " + std::to_string(facts.signatureSize) + " bytes at offset " +
                                           describeOffset(facts.signatureOffset))
        << "\n\n";
}

void printJsonStrings(std::ostream& out, const std::vector<std::string>& words) {
    out << "[";
    for (std::size_t i = 0; i < words.size(); ++i) out << (i == 0 ? "" : ", ") << jsonString(words[i]);
    out << "]";
}

void printJsonSummary(std::ostream& out, const ParsedBlock& block, const ResourceListing& resources,
                      const ImageFacts& facts, int codePage) {
    auto text = [&](int32_t key) { return decodeFromCodePage(lastValue(block.narrow, key), codePage); };
    std::string search = text(key::jvmSearchSequence), classPath = text(key::classPath);
    auto manifest = std::find_if(resources.resources.begin(), resources.resources.end(), isManifest);
    out << "  \"application\": {\"program\": " << jsonString(text(key::executableType) == "1" ? "gui" : "console")
        << ", \"subsystem\": " << facts.subsystem << ", \"mainClass\": " << jsonString(text(key::mainClass))
        << ",\n    \"search\": ";
    printJsonStrings(out, describeSearchCode(search));
    std::optional<BundledRuntime> bundled = bundledRuntime(search);
    out << ", \"searchCode\": " << jsonString(search)
        << ", \"bundledRuntime\": " << (bundled ? jsonString(bundled->folder) : "null") << ",\n    \"classPath\": ";
    printJsonStrings(out, describeClassPathCode(classPath));
    out << ", \"classPathCode\": " << jsonString(classPath) << ",\n    \"manifestSize\": "
        << (manifest == resources.resources.end() ? "null" : std::to_string(manifest->data.size()))
        << ", \"signature\": ";
    if (facts.signatureSize == 0)
        out << "null";
    else
        out << "{\"offset\": " << facts.signatureOffset << ", \"size\": " << facts.signatureSize << "}";
    out << "},\n";
}

void printJson(std::ostream& out, const std::string& architecture, const ParsedBlock& block,
               const IncludedListing& listing, const ResourceListing& resources, const ImageFacts& facts, int codePage,
               uint64_t fileSize) {
    out << "{\n  \"architecture\": " << jsonString(architecture) << ",\n  \"codePage\": " << codePage
        << ",\n  \"blockOffset\": " << block.blockOffset << ",\n";
    printJsonRecords(out, "narrow", showRecords(block.narrow, false, codePage));
    printJsonRecords(out, "wide", showRecords(block.wide, true, codePage));
    out << "  \"includedFilesOffset\": " << block.includedFilesOffset << ",\n";
    printJsonFiles(out, listing);
    printJsonResources(out, resources);
    printJsonSummary(out, block, resources, facts, codePage);
    out << "  \"fileSize\": " << fileSize << "\n}\n";
}

void printFiles(std::ostream& out, const IncludedListing& listing) {
    if (listing.files.empty()) {
        out << "Included files: none\n";
    } else {
        out << "Included files (" << listing.files.size() << "):\n";
        std::size_t offsetWidth = 6, sizeWidth = 4;
        for (const ShownFile& file : listing.files) {
            offsetWidth = std::max(offsetWidth, std::to_string(file.entry.offset).size());
            sizeWidth = std::max(sizeWidth, std::to_string(file.entry.size).size());
        }
        out << "  " << padded("Offset", offsetWidth) << "  " << padded("Size", sizeWidth) << "  Name\n";
        for (const ShownFile& file : listing.files) {
            out << "  " << padded(std::to_string(file.entry.offset), offsetWidth) << "  "
                << padded(std::to_string(file.entry.size), sizeWidth) << "  " << displayQuoted(file.name)
                << (file.safe ? "" : "  (unsafe name: the launcher refuses it)") << '\n';
        }
    }
    if (listing.note) out << "Note: " << *listing.note << '\n';
}

void printText(std::ostream& out, const std::string& file, const std::string& architecture, const ParsedBlock& block,
               const IncludedListing& listing, const ResourceListing& resources, const ImageFacts& facts, int codePage,
               uint64_t fileSize) {
    out << file << ": configuration block at offset " << describeOffset(block.blockOffset) << ", code page "
        << codePage << "\nArchitecture: " << architecture << (architecture == "x86" ? " (32-bit, PE32)" : " (x86-64, PE32+)")
        << "\n\n";
    printSummary(out, block, resources, facts, codePage);
    printResources(out, resources);
    out << '\n';
    printTable(out, "Narrow records", showRecords(block.narrow, false, codePage));
    printTable(out, "Wide records", showRecords(block.wide, true, codePage));
    out << "\nIncluded files area at offset " << describeOffset(block.includedFilesOffset) << "; file size "
        << fileSize << " bytes\n";
    printFiles(out, listing);
}

int fail(std::ostream& err, const std::string& file, const std::string& message) {
    err << formatDiagnostic({file, {}, message}) << '\n';
    return kExitBadInput;
}

// Reads the headers and the block from the start of the file, in growing
// pieces until the block is whole. What is wrong, or nothing.
std::optional<std::string> readBlock(const fs::path& path, ParsedBlock& block, uint64_t& fileSize,
                                     std::string& architecture) {
    Bytes start = readFileStart(path, kFirstReadSize);
    std::error_code status;
    fileSize = fs::file_size(path, status);
    if (status) throw FileError(status.message());
    if (std::optional<std::string> problem = findHeaderProblem(start)) return problem;
    architecture = stubLayout(start).architecture;
    uint64_t blockOffset = endOfLastSection(start);
    if (blockOffset > fileSize)
        return "no configuration block: the last section ends at offset " + std::to_string(blockOffset) +
               ", past the end of the file (" + std::to_string(fileSize) + " bytes)";
    for (uint64_t wanted = blockOffset + kFirstReadSize;; wanted *= 2) {
        if (start.size() < std::min(wanted, fileSize))
            start = readFileStart(path, static_cast<std::size_t>(std::min(wanted, fileSize)));
        try {
            block = parseConfigBlock(start, static_cast<std::size_t>(blockOffset));
            return std::nullopt;
        } catch (const BlockFormatError& e) {
            // Cut off by the end of the piece read so far, perhaps; final once the piece is the whole file.
            if (start.size() >= fileSize) return std::string(e.what());
        }
    }
}

void reportProblems(std::ostream& err, const std::string& file, const IncludedListing& listing) {
    for (const std::string& problem : listing.problems) fail(err, file, problem);
}

int extractFiles(const InspectRequest& request, const fs::path& path, const IncludedListing& listing,
                 std::ostream& out, std::ostream& err) {
    fs::path directory = pathFromUtf8(*request.extractDirectory);
    std::error_code status;
    fs::create_directories(directory, status);
    if (!fs::is_directory(directory))
        return fail(err, *request.extractDirectory,
                    "cannot create the directory to extract to" + (status ? ": " + status.message() : std::string()));
    bool complete = listing.problems.empty();
    std::ifstream executable = openForReading(path);
    for (const ShownFile& file : listing.files) {
        if (!file.safe) continue;  // among the problems
        fs::path target = directory / pathFromUtf8(file.name);
        try {
            writeFileReplacing(target, [&](std::ostream& data) {
                executable.clear();
                executable.seekg(static_cast<std::streamoff>(file.entry.dataOffset()));
                if (!copyScrambled(executable, data, file.entry.size))
                    throw FileError("cannot read its data from " + request.file);
            });
            out << "wrote " << pathToUtf8(target) << " (" << file.entry.size << " bytes)\n";
        } catch (const FileError& e) {
            fail(err, request.file, "cannot extract " + pathToUtf8(target) + ": " + e.what());
            complete = false;
        }
    }
    if (listing.files.empty() && listing.problems.empty()) out << "no included files\n";
    reportProblems(err, request.file, listing);
    return complete ? kExitSuccess : kExitBadInput;
}

}  // namespace

int runInspect(const InspectRequest& request, std::ostream& out, std::ostream& err) {
    fs::path path = pathFromUtf8(request.file);
    ParsedBlock block;
    uint64_t fileSize = 0;
    IncludedListing listing;
    ResourceListing resources;
    ImageFacts facts;
    std::string architecture;
    try {
        if (std::optional<std::string> problem = readBlock(path, block, fileSize, architecture))
            return fail(err, request.file, *problem);
        listing = listIncludedFiles(path, block, fileSize, request.codePage);
        if (request.extractDirectory) return extractFiles(request, path, listing, out, err);
        resources = listResources(path, block);
        facts = readImageFacts(path);
    } catch (const FileError& e) {
        return fail(err, request.file, std::string("cannot read: ") + e.what());
    }
    if (request.json)
        printJson(out, architecture, block, listing, resources, facts, request.codePage, fileSize);
    else
        printText(out, request.file, architecture, block, listing, resources, facts, request.codePage, fileSize);
    reportProblems(err, request.file, listing);
    if (resources.warning) err << formatDiagnostic({request.file, {}, *resources.warning, true}) << '\n';
    if (resources.problem) fail(err, request.file, *resources.problem);
    return listing.problems.empty() && !resources.problem ? kExitSuccess : kExitBadInput;
}

}  // namespace tovex
