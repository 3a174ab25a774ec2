// Conversions between UTF-8 (the tool's own text), code points and UTF-16LE
// (the launcher's wide records).
#pragma once
#include <string>
#include <string_view>

namespace tovex {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Malformed sequences become U+FFFD.
std::u32string decodeUtf8(std::string_view utf8);

void appendUtf8(std::string& out, char32_t codePoint);
std::string encodeUtf8(std::u32string_view codePoints);

// Byte string of UTF-16 code units, low byte first.
std::string encodeUtf16Le(std::u32string_view codePoints);

// Unpaired surrogates and a dangling odd byte become U+FFFD.
std::string utf16LeToUtf8(std::string_view bytes);

// "U+00E9" style, as used in messages.
std::string codePointLabel(char32_t codePoint);

// "U+00E9 'é'"; a control character without the character itself.
std::string characterLabel(char32_t codePoint);

}  // namespace tovex
