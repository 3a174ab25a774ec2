// Splitting a command line or a configured argument text into pieces: the
// launcher's own rule (blanks, "..." and '...' grouping) and the Microsoft C
// runtime's. Portable: no system headers.
#pragma once
#include <string>
#include <vector>

// The launcher's own rule: blanks separate, "..." and '...' group, no escapes.
// Appends the pieces of text; false on a quote character without a partner.
bool splitArgumentPieces(const wchar_t* text, std::vector<std::wstring>& pieces);

// The Microsoft C runtime's rule for the arguments after the program name (its
// parse_cmdline as in the Universal CRT, which java.exe uses): blanks and tabs
// separate; "..." groups; 2N backslashes before a quote give N backslashes and
// the quote groups, 2N+1 give N backslashes and a literal quote; other
// backslashes are ordinary; "" inside a quoted part gives a literal quote and
// the part goes on. Every text splits: an open quote ends with the text.
void splitCrtArgumentPieces(const wchar_t* text, std::vector<std::wstring>& pieces);

// The same for a whole command line: the program name first, by the C
// runtime's simpler rule for it (quotes toggle and are dropped, backslashes are
// ordinary, a blank or tab outside quotes ends it; always present, maybe
// empty), then the arguments as above.
void splitCrtCommandLinePieces(const wchar_t* text, std::vector<std::wstring>& pieces);
