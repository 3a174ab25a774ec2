// "Did you mean ...?" for misspelt names.
#pragma once
#include <optional>
#include <string_view>
#include <vector>

namespace tovex {

// The candidate closest to `word`, ignoring case, if it is close enough to be
// a plausible misspelling.
std::optional<std::string_view> closestMatch(std::string_view word, const std::vector<std::string_view>& candidates);

}  // namespace tovex
