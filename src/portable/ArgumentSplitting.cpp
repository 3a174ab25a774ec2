// Splitting an argument text into pieces.
#include "ArgumentSplitting.h"

#include <cwchar>

bool splitArgumentPieces(const wchar_t* text, std::vector<std::wstring>& pieces) {
  const wchar_t* rest = text;
  while (*rest != 0) {
    if (*rest == L' ') {
      ++rest;
      continue;
    }
    // The first blank or quote character decides how this argument ends.
    size_t plain = wcscspn(rest, L" \"'");
    if (rest[plain] == 0 || rest[plain] == L' ') {
      pieces.emplace_back(rest, plain);
      rest += plain;
      if (*rest == L' ') ++rest;
      continue;
    }
    wchar_t quote = rest[plain];
    const wchar_t* closing = wcschr(rest + plain + 1, quote);
    if (closing == nullptr) return false;
    // Quotes are expected at the start of an argument; characters before an
    // opening quote within the same word stay in front of the quoted text,
    // so -Dx="a b" gives -Dx=a b.
    std::wstring piece(rest, plain);
    piece.append(rest + plain + 1, closing);
    pieces.push_back(piece);
    rest = closing + 1;
    if (*rest == L' ') ++rest;
  }
  return true;
}

