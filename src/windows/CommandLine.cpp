#include "CommandLine.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "ArgumentSplitting.h"
#include "Config.h"
#include "ErrorReport.h"

char* newNarrowCopy(const char* text) {
  size_t length = strlen(text);
  char* copy = new char[length + 1];
  memcpy(copy, text, length + 1);
  return copy;
}

wchar_t* newWideCopy(const wchar_t* text) {
  size_t length = wcslen(text);
  wchar_t* copy = new wchar_t[length + 1];
  wmemcpy(copy, text, length + 1);
  return copy;
}

char* newNarrowFromWide(const wchar_t* text, unsigned codePage) {
  int size = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  char* narrow = new char[size > 0 ? static_cast<size_t>(size) : 1];
  narrow[0] = 0;
  if (size > 0) {
    WideCharToMultiByte(codePage, 0, text, -1, narrow, size, nullptr, nullptr);
    narrow[size - 1] = 0;
  }
  return narrow;
}

wchar_t* newWideFromNarrow(const char* text, unsigned codePage) {
  int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  wchar_t* wide = new wchar_t[size > 0 ? static_cast<size_t>(size) : 1];
  wide[0] = 0;
  if (size > 0) {
    MultiByteToWideChar(codePage, 0, text, -1, wide, size);
    wide[size - 1] = 0;
  }
  return wide;
}

SplitResult trySplitArguments(const wchar_t* text, WideArgumentList& list) {
  std::vector<std::wstring> pieces;
  if (text != nullptr && !splitArgumentPieces(text, pieces)) return SplitResult::unclosedQuote;
  for (const std::wstring& piece : pieces) list.push_back(newWideCopy(piece.c_str()));
  return SplitResult::ok;
}

SplitResult trySplitNarrowArguments(const char* text, NarrowArgumentList& list) {
  if (text == nullptr || *text == 0) return SplitResult::ok;
  // Converted at its full length rather than into a fixed buffer, so a long
  // configured text is never cut.
  int wideLength = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (wideLength <= 0) return SplitResult::ok;
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], wideLength);

  std::vector<std::wstring> pieces;
  if (!splitArgumentPieces(wide.c_str(), pieces)) return SplitResult::unclosedQuote;
  // Back through the same code page the text came from, so characters
  // outside ASCII survive the round trip.
  for (const std::wstring& piece : pieces) list.push_back(newNarrowFromWide(piece.c_str(), CP_ACP));
  return SplitResult::ok;
}

void splitArguments(const wchar_t* text, WideArgumentList& list) {
  if (trySplitArguments(text, list) != SplitResult::ok) fatalErrorKey(key::msgWrongParameterUsage);
}

void splitNarrowArguments(const char* text, NarrowArgumentList& list) {
  if (trySplitNarrowArguments(text, list) != SplitResult::ok) fatalErrorKey(key::msgWrongParameterUsage);
}
