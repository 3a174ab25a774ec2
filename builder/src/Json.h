// Just enough JSON for inspect's machine-readable output.
#pragma once
#include <string>
#include <string_view>

namespace tovex {

// Text in double quotes with backslash escapes for quotes, backslashes and
// line breaks; other control characters (and DEL when asked) as controlFormat.
std::string quotedWithEscapes(std::string_view utf8, const char* controlFormat, bool escapeDelete);

// A JSON string literal, quotes included, for valid UTF-8 input.
std::string jsonString(std::string_view utf8);

}  // namespace tovex
