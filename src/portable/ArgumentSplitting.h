// Splitting a command line or a configured argument text into pieces at
// blanks, with "..." and '...' grouping. Portable: no system headers.
#pragma once
#include <string>
#include <vector>

// Appends the pieces of text; false on a quote character without a partner.
bool splitArgumentPieces(const wchar_t* text, std::vector<std::wstring>& pieces);
