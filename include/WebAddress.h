// The download page's address (key 3004): the build tool refuses what the
// launcher would not hand to the shell, and the launcher checks again. The
// shell passes the address to a browser's command line, where a quote or a
// blank would end the argument and a control character start another line.
// Portable: no system headers.
#pragma once
#include <cstddef>
#include <string_view>

namespace webaddress {

enum class Problem {
  none,
  notHttp,       // no "http://" or "https://" (any case) at the start
  noHost,        // nothing between "//" and the path
  badCharacter,  // a blank, quote, control, non-ASCII or other character an address cannot hold
  badPercent,    // "%" without two hexadecimal digits behind it
};

struct Check {
  Problem problem;
  std::size_t position;  // of the offending character, from 0
};

inline bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The characters of RFC 3986 but the single quote: letters, digits,
// -._~ :/?#[]@ !$&()*+,;= and "%" before two hexadecimal digits.
inline bool isAddressCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c != 0 && std::string_view("-._~:/?#[]@!$&()*+,;=%").find(c) != std::string_view::npos;
}

inline bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

// Whether the address is a well-formed http or https address, and where not.
inline Check check(std::string_view url) {
  std::size_t scheme = startsWithNoCase(url, "https://") ? 8 : startsWithNoCase(url, "http://") ? 7 : 0;
  if (scheme == 0) return {Problem::notHttp, 0};
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (!isAddressCharacter(url[i])) return {Problem::badCharacter, i};
    if (url[i] == '%' && (i + 2 >= url.size() || !isHexDigit(url[i + 1]) || !isHexDigit(url[i + 2]))) {
      return {Problem::badPercent, i};
    }
  }
  std::size_t hostEnd = url.find_first_of("/?#", scheme);
  if ((hostEnd == std::string_view::npos ? url.size() : hostEnd) == scheme) return {Problem::noHost, scheme};
  return {Problem::none, 0};
}

}  // namespace webaddress
