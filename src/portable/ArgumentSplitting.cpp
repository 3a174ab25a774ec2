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


namespace {

bool isCrtBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

void splitCrtArgumentPieces(const wchar_t* text, std::vector<std::wstring>& pieces) {
  const wchar_t* p = text;
  bool inQuotes = false;
  for (;;) {
    while (isCrtBlank(*p)) ++p;
    if (*p == 0) return;
    std::wstring piece;
    for (;;) {
      size_t backslashes = 0;
      while (*p == L'\\') {
        ++p;
        ++backslashes;
      }
      bool copy = true;
      if (*p == L'"') {
        if (backslashes % 2 == 0) {
          // "" within quotes is one literal quote, and the quoted part goes on.
          if (inQuotes && p[1] == L'"') {
            ++p;
          } else {
            copy = false;
            inQuotes = !inQuotes;
          }
        }
        backslashes /= 2;
      }
      piece.append(backslashes, L'\\');
      if (*p == 0 || (!inQuotes && isCrtBlank(*p))) break;
      if (copy) piece.push_back(*p);
      ++p;
    }
    pieces.push_back(piece);
  }
}

void splitCrtCommandLinePieces(const wchar_t* text, std::vector<std::wstring>& pieces) {
  const wchar_t* p = text;
  std::wstring program;
  bool inQuotes = false;
  while (*p != 0 && (inQuotes || !isCrtBlank(*p))) {
    if (*p == L'"') {
      inQuotes = !inQuotes;
    } else {
      program.push_back(*p);
    }
    ++p;
  }
  pieces.push_back(program);
  splitCrtArgumentPieces(p, pieces);
}
