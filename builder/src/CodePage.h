// The Windows ANSI code pages the launcher's narrow records are written in.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tovex {

constexpr int kDefaultCodePage = 1252;

bool isSupportedCodePage(int codePage);

// "1250, 1251, ..., 1258", for messages.
std::string supportedCodePageList();

// The first character a code page has no byte for.
struct Unmappable {
    char32_t codePoint;
    std::size_t position;  // 1-based, in characters
};

struct Encoded {
    std::string bytes;
    std::optional<Unmappable> failure;
};

// UTF-8 text to the code page's bytes. The code page must be supported.
Encoded encodeToCodePage(std::string_view utf8, int codePage);

// The code page's bytes to UTF-8; bytes the page leaves undefined become U+FFFD.
std::string decodeFromCodePage(std::string_view bytes, int codePage);

// The upper case of a letter of one of the code pages, for comparing file
// names as Windows does, ignoring case; any other character unchanged.
char32_t upperCaseOf(char32_t c);

}  // namespace tovex
