#include "CommandLine.h"
#include "CommandLineInternal.h"

#include <windows.h>

#include <cstddef>

#include "ArgumentSplitting.h"
#include "Config.h"

std::string narrowFromWide(const wchar_t* text, unsigned codePage) {
  int size = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string narrow(static_cast<size_t>(size), '\0');
  int written = WideCharToMultiByte(codePage, 0, text, -1, &narrow[0], size, nullptr, nullptr);
  // The count includes the terminator, which the string keeps on its own.
  narrow.resize(written > 0 ? static_cast<size_t>(written) - 1 : 0);
  return narrow;
}

std::wstring wideFromNarrow(const char* text, unsigned codePage) {
  int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (size <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  int written = MultiByteToWideChar(codePage, 0, text, -1, &wide[0], size);
  wide.resize(written > 0 ? static_cast<size_t>(written) - 1 : 0);
  return wide;
}

SplitResult trySplitArguments(const wchar_t* text, WideArgumentList& list) {
  // Split straight into the list, and cut back on failure: no copy of the pieces.
  size_t kept = list.size();
  if (text != nullptr && !splitArgumentPieces(text, list)) {
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(kept), list.end());
    return SplitResult::unclosedQuote;
  }
  return SplitResult::ok;
}

SplitResult trySplitNarrowArguments(const char* text, NarrowArgumentList& list) {
  if (text == nullptr || *text == 0) return SplitResult::ok;
  // Converted at its full length rather than into a fixed buffer, so a long
  // configured text is never cut.
  std::wstring wide = wideFromNarrow(text, CP_ACP);
  std::vector<std::wstring> pieces;
  if (!splitArgumentPieces(wide.c_str(), pieces)) return SplitResult::unclosedQuote;
  // Back through the same code page the text came from, so characters
  // outside ASCII survive the round trip.
  for (const std::wstring& piece : pieces) list.push_back(narrowFromWide(piece.c_str(), CP_ACP));
  return SplitResult::ok;
}

SplitResult splitCommandLine(const wchar_t* text, WideArgumentList& list) {
  if (!modernRuntimeSearch()) return trySplitArguments(text, list);
  if (text != nullptr) splitCrtCommandLinePieces(text, list);
  return SplitResult::ok;
}

SplitResult splitProgramArguments(const wchar_t* text, WideArgumentList& list) {
  if (!modernRuntimeSearch()) return trySplitArguments(text, list);
  if (text != nullptr) splitCrtArgumentPieces(text, list);
  return SplitResult::ok;
}
