// Just enough JSON for inspect's machine-readable output.
#pragma once
#include <string>
#include <string_view>

namespace tovex {

// A JSON string literal, quotes included, for valid UTF-8 input.
std::string jsonString(std::string_view utf8);

}  // namespace tovex
