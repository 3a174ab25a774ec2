// Variable substitution: the input is split at its first two NUL bytes into
// the configured text, an environment block (entries separated by "\n") and
// the fixed values; the text goes into a small buffer to reach the refusals.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "VariableText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t first = input.find('\0');
  std::string text = input.substr(0, first);
  std::string rest = first == std::string::npos ? "" : input.substr(first + 1);
  size_t second = rest.find('\0');
  std::string environment = rest.substr(0, second);
  std::string value = second == std::string::npos ? "C:\\app\\" : rest.substr(second + 1);
  for (char& c : environment) {
    if (c == '\n') c = '\0';
  }
  environment.append(2, '\0');

  constexpr size_t kCapacity = 512;
  std::vector<char> buffer(kCapacity, 'x');
  size_t length = text.size() < kCapacity - 1 ? text.size() : kCapacity - 1;
  memcpy(buffer.data(), text.data(), length);
  buffer[length] = 0;
  VariableValues values{value.c_str(), "C:\\Temp\\tvx1.tmp_dir1", ""};
  substituteVariablesIn(buffer.data(), kCapacity, values, environment.c_str());
  if (strnlen(buffer.data(), kCapacity) >= kCapacity) __builtin_trap();
  return 0;
}
