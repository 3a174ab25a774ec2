#include "Unicode.h"

#include <cstdio>

namespace tovex {
namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Length of the sequence a lead byte starts and the payload bits it carries;
// 0 for a byte that cannot start one.
std::size_t sequenceLength(unsigned char lead, char32_t& bits) {
    if (lead < 0x80) { bits = lead; return 1; }
    if (lead >= 0xC2 && lead <= 0xDF) { bits = lead & 0x1F; return 2; }
    if (lead >= 0xE0 && lead <= 0xEF) { bits = lead & 0x0F; return 3; }
    if (lead >= 0xF0 && lead <= 0xF4) { bits = lead & 0x07; return 4; }
    return 0;
}

char32_t smallestFor(std::size_t length) { return length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000; }

void appendUnit(std::string& out, char16_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

}  // namespace

std::u32string decodeUtf8(std::string_view utf8) {
    std::u32string result;
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t c = 0;
        std::size_t length = sequenceLength(static_cast<unsigned char>(utf8[i]), c);
        std::size_t taken = 1;
        while (taken < length && i + taken < utf8.size() && isContinuation(static_cast<unsigned char>(utf8[i + taken]))) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + taken]) & 0x3F);
            ++taken;
        }
        bool valid = length > 0 && taken == length &&
                     (length == 1 || (c >= smallestFor(length) && c <= 0x10FFFF && !isSurrogate(c)));
        result.push_back(valid ? c : kReplacementCharacter);
        i += taken;
    }
    return result;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || isSurrogate(c)) c = kReplacementCharacter;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string encodeUtf8(std::u32string_view codePoints) {
    std::string out;
    for (char32_t c : codePoints) appendUtf8(out, c);
    return out;
}

std::string encodeUtf16Le(std::u32string_view codePoints) {
    std::string out;
    for (char32_t c : codePoints) {
        if (c > 0x10FFFF || isSurrogate(c)) c = kReplacementCharacter;
        if (c < 0x10000) {
            appendUnit(out, static_cast<char16_t>(c));
        } else {
            char32_t offset = c - 0x10000;
            appendUnit(out, static_cast<char16_t>(0xD800 + (offset >> 10)));
            appendUnit(out, static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        }
    }
    return out;
}

std::string utf16LeToUtf8(std::string_view bytes) {
    auto unitAt = [&](std::size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    std::string out;
    std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        char16_t unit = unitAt(i);
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < units && unitAt(i + 1) >= 0xDC00 && unitAt(i + 1) <= 0xDFFF) {
            char32_t low = unitAt(++i);
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00));
        } else {
            appendUtf8(out, isSurrogate(unit) ? kReplacementCharacter : unit);
        }
    }
    if (bytes.size() % 2 != 0) appendUtf8(out, kReplacementCharacter);
    return out;
}

std::string codePointLabel(char32_t codePoint) {
    char label[16];
    std::snprintf(label, sizeof label, "U+%04X", static_cast<unsigned>(codePoint));
    return label;
}

std::string characterLabel(char32_t codePoint) {
    std::string label = codePointLabel(codePoint);
    if (codePoint >= 0x20) {
        label += " '";
        appendUtf8(label, codePoint);
        label += "'";
    }
    return label;
}

}  // namespace tovex
