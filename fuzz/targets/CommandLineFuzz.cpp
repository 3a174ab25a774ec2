// The splitting of a command line or configured argument text, on the input
// read as 16-bit units: the launcher's own rule and the C runtime's, for a
// whole command line and for arguments alone.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ArgumentSplitting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    wchar_t unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  std::vector<std::wstring> pieces;
  if (splitArgumentPieces(text.c_str(), pieces)) {
    // No piece is longer than the text, and none holds the blank that ended it unquoted.
    for (const std::wstring& piece : pieces) {
      if (piece.size() > text.size()) __builtin_trap();
    }
  }
  // The C runtime's rule never refuses a text and never makes characters:
  // together the pieces are no longer than the text.
  std::vector<std::wstring> crtPieces;
  splitCrtArgumentPieces(text.c_str(), crtPieces);
  size_t total = 0;
  for (const std::wstring& piece : crtPieces) total += piece.size();
  if (total > text.size()) __builtin_trap();
  std::vector<std::wstring> commandLine;
  splitCrtCommandLinePieces(text.c_str(), commandLine);
  if (commandLine.empty()) __builtin_trap();
  total = 0;
  for (const std::wstring& piece : commandLine) total += piece.size();
  if (total > text.size()) __builtin_trap();
  return 0;
}
