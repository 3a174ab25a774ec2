// Splitting a command line, or a configured text, into arguments.
//
// The launcher's own rule, kept for the configured VM options and for a block
// without key 3001: blanks separate; double quotes and apostrophes both group,
// each closed only by the same character; tabs and backslashes are ordinary
// characters and there are no escapes. A quote character without a later
// partner is a usage error.
//
// With key 3001 the command line and the configured program arguments split by
// the Microsoft C runtime's rule instead (ArgumentSplitting.h), as java.exe
// splits them; nothing there is an error.
#pragma once
#include <string>
#include <vector>

// Arguments in order. The lists own their texts; a call that needs C strings
// takes c_str() of each for as long as the list lives.
using WideArgumentList = std::vector<std::wstring>;
using NarrowArgumentList = std::vector<std::string>;

// The text converted to or from UTF-16 with a code page, at full length,
// never cut; empty when the system cannot convert it.
std::string narrowFromWide(const wchar_t* text, unsigned codePage);
std::wstring wideFromNarrow(const char* text, unsigned codePage);

enum class SplitResult { ok, unclosedQuote };

// Splits a narrow text in the ANSI code page into arguments as the wide
// splitting does: through UTF-16, each piece converted back to the ANSI code
// page.
SplitResult trySplitNarrowArguments(const char* text, NarrowArgumentList& list);

// The process command line: by the C runtime's rule with key 3001, else as
// trySplitArguments, whose unclosed quote is a usage error (message 1007).
SplitResult splitCommandLine(const wchar_t* text, WideArgumentList& list);

// The configured program arguments (key 124), which have no program name: by
// the C runtime's rule with key 3001, else as trySplitArguments.
SplitResult splitProgramArguments(const wchar_t* text, WideArgumentList& list);
