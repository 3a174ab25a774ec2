// Splitting a command line, or a configured text, into arguments.
//
// Blanks separate; double quotes and apostrophes both group, each closed only
// by the same character; tabs and backslashes are ordinary characters and
// there are no escapes. A quote character without a later partner is a usage
// error.
#pragma once
#include <vector>

// Arguments in order; each string is allocated on its own with new[] and is
// never released by the launcher (the caller releases only the array).
using WideArgumentList = std::vector<wchar_t*>;
using NarrowArgumentList = std::vector<char*>;

// Strings for these lists, each allocated on its own with new[]: a copy, or
// the text converted to or from UTF-16 with a code page (at full length,
// never cut).
char* newNarrowCopy(const char* text);
wchar_t* newWideCopy(const wchar_t* text);
char* newNarrowFromWide(const wchar_t* text, unsigned codePage);
wchar_t* newWideFromNarrow(const char* text, unsigned codePage);

enum class SplitResult { ok, unclosedQuote };

// Appends the arguments of text to list. On unclosedQuote the list is left
// as it was.
SplitResult trySplitArguments(const wchar_t* text, WideArgumentList& list);

// The same for a narrow text in the ANSI code page: split through UTF-16 and
// each piece converted back to the ANSI code page.
SplitResult trySplitNarrowArguments(const char* text, NarrowArgumentList& list);

// trySplitArguments and trySplitNarrowArguments, ending the process with
// "Wrong Parameter Usage" (key 1007) on an unclosed quote.
void splitArguments(const wchar_t* text, WideArgumentList& list);
void splitNarrowArguments(const char* text, NarrowArgumentList& list);
