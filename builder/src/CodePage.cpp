#include "CodePage.h"

#include <algorithm>

#include "CodePageTables.h"
#include "Unicode.h"

namespace tovex {
namespace {

const char16_t* upperHalfOf(int codePage) {
    for (std::size_t i = 0; i < kCodePageTableCount; ++i)
        if (kCodePageTables[i].number == codePage) return kCodePageTables[i].upperHalf;
    return nullptr;
}

// The byte for a code point, or nothing. The lower half of every table is ASCII.
std::optional<char> byteFor(char32_t c, const char16_t* upperHalf) {
    if (c < 0x80) return static_cast<char>(c);
    for (int i = 0; i < 128; ++i)
        if (upperHalf[i] != 0 && upperHalf[i] == c) return static_cast<char>(0x80 + i);
    return std::nullopt;
}

}  // namespace

bool isSupportedCodePage(int codePage) { return upperHalfOf(codePage) != nullptr; }

std::string supportedCodePageList() {
    std::string list;
    for (std::size_t i = 0; i < kCodePageTableCount; ++i) {
        if (i > 0) list += ", ";
        list += std::to_string(kCodePageTables[i].number);
    }
    return list;
}

Encoded encodeToCodePage(std::string_view utf8, int codePage) {
    const char16_t* upperHalf = upperHalfOf(codePage);
    Encoded result;
    std::u32string text = decodeUtf8(utf8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::optional<char> byte = byteFor(text[i], upperHalf);
        if (!byte) {
            result.failure = Unmappable{text[i], i + 1};
            return result;
        }
        result.bytes.push_back(*byte);
    }
    return result;
}

std::string decodeFromCodePage(std::string_view bytes, int codePage) {
    const char16_t* upperHalf = upperHalfOf(codePage);
    std::string utf8;
    for (char raw : bytes) {
        auto byte = static_cast<unsigned char>(raw);
        char32_t c = byte < 0x80 ? byte : upperHalf[byte - 0x80];
        appendUtf8(utf8, byte >= 0x80 && c == 0 ? kReplacementCharacter : c);
    }
    return utf8;
}

char32_t upperCaseOf(char32_t c) {
    const CaseMapping* end = kUpperCaseMappings + kUpperCaseMappingCount;
    const CaseMapping* found = std::lower_bound(kUpperCaseMappings, end, c,
                                                [](const CaseMapping& entry, char32_t key) { return entry.lower < key; });
    return found != end && found->lower == c ? found->upper : c;
}

}  // namespace tovex
