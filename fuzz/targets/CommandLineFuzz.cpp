// The splitting of a command line or configured argument text, on the input
// read as 16-bit units.
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
  return 0;
}
