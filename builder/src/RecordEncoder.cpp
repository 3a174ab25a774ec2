#include "RecordEncoder.h"

#include <algorithm>

#include "CodePage.h"
#include "Unicode.h"

namespace tovex {
namespace {

// The launcher keeps texts as C strings, so a NUL would cut them short.
std::optional<std::size_t> findNul(std::string_view utf8) {
    std::u32string text = decodeUtf8(utf8);
    auto nul = std::find(text.begin(), text.end(), U'\0');
    if (nul == text.end()) return std::nullopt;
    return static_cast<std::size_t>(nul - text.begin()) + 1;
}

}  // namespace

ConfigBlock encodeSettings(const std::vector<Setting>& settings, int codePage, const std::string& fileName,
                           std::vector<Diagnostic>& errors) {
    ConfigBlock block;
    for (const Setting& setting : settings) {
        auto fail = [&](const std::string& problem) { errors.push_back({fileName, setting.pos, setting.origin + problem}); };
        if (std::optional<std::size_t> position = findNul(setting.text)) {
            fail(": character " + std::to_string(*position) + " is U+0000, which the launcher cannot hold");
            continue;
        }
        Record record{setting.key, {}};
        std::size_t length = 0;
        std::string unit;
        if (setting.wide) {
            record.bytes = encodeUtf16Le(decodeUtf8(setting.text));
            length = record.bytes.size() / 2;
            unit = " UTF-16 units";
        } else {
            Encoded encoded = encodeToCodePage(setting.text, codePage);
            if (encoded.failure) {
                fail(": character " + std::to_string(encoded.failure->position) + " (" +
                     characterLabel(encoded.failure->codePoint) + ") cannot be expressed in code page " +
                     std::to_string(codePage));
                continue;
            }
            record.bytes = std::move(encoded.bytes);
            length = record.bytes.size();
            unit = " bytes in code page " + std::to_string(codePage);
        }
        if (length > static_cast<std::size_t>(setting.maxLength)) {
            fail(" is too long: " + std::to_string(length) + unit + ", the launcher holds at most " +
                 std::to_string(setting.maxLength));
            continue;
        }
        (setting.wide ? block.wide : block.narrow).push_back(std::move(record));
    }
    auto byKey = [](const Record& a, const Record& b) { return a.key < b.key; };
    std::sort(block.narrow.begin(), block.narrow.end(), byKey);
    std::sort(block.wide.begin(), block.wide.end(), byKey);
    return block;
}

}  // namespace tovex
