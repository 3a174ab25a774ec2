#include "InspectCommand.h"

#include <algorithm>
#include <cstdio>

#include "ConfigBlock.h"
#include "Diagnostic.h"
#include "ExitCode.h"
#include "FileIo.h"
#include "Json.h"
#include "KeyTable.h"
#include "PeStub.h"
#include "Unicode.h"

namespace tovex {
namespace {

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

// Keeps each value on one table row.
std::string displayQuoted(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

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

void printJson(std::ostream& out, const ParsedBlock& block, int codePage, std::size_t fileSize) {
    out << "{\n  \"codePage\": " << codePage << ",\n  \"blockOffset\": " << block.blockOffset << ",\n";
    printJsonRecords(out, "narrow", showRecords(block.narrow, false, codePage));
    printJsonRecords(out, "wide", showRecords(block.wide, true, codePage));
    out << "  \"includedFilesOffset\": " << block.includedFilesOffset << ",\n  \"fileSize\": " << fileSize << "\n}\n";
}

void printText(std::ostream& out, const std::string& file, const ParsedBlock& block, int codePage,
               std::size_t fileSize) {
    out << file << ": configuration block at offset " << describeOffset(block.blockOffset) << ", code page "
        << codePage << "\n\n";
    printTable(out, "Narrow records", showRecords(block.narrow, false, codePage));
    printTable(out, "Wide records", showRecords(block.wide, true, codePage));
    out << "\nIncluded files area at offset " << describeOffset(block.includedFilesOffset) << "; file size "
        << fileSize << " bytes\n";
}

int fail(std::ostream& err, const std::string& file, const std::string& message) {
    err << formatDiagnostic({file, {}, message}) << '\n';
    return kExitBadInput;
}

}  // namespace

int runInspect(const InspectRequest& request, std::ostream& out, std::ostream& err) {
    Bytes file;
    try {
        file = readWholeFile(pathFromUtf8(request.file));
    } catch (const FileError& e) {
        return fail(err, request.file, std::string("cannot read: ") + e.what());
    }
    if (std::optional<std::string> problem = findHeaderProblem(file)) return fail(err, request.file, *problem);
    uint64_t blockOffset = endOfLastSection(file);
    if (blockOffset > file.size())
        return fail(err, request.file,
                    "no configuration block: the last section ends at offset " + std::to_string(blockOffset) +
                        ", past the end of the file (" + std::to_string(file.size()) + " bytes)");
    ParsedBlock block;
    try {
        block = parseConfigBlock(file, static_cast<std::size_t>(blockOffset));
    } catch (const BlockFormatError& e) {
        return fail(err, request.file, e.what());
    }
    if (request.json)
        printJson(out, block, request.codePage, file.size());
    else
        printText(out, request.file, block, request.codePage, file.size());
    return kExitSuccess;
}

}  // namespace tovex
