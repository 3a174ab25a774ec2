#include "StandinConfig.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace standin {
namespace {

std::string modulePath(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCSTR>(address), &module);
  char path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameA(module, path, sizeof path);
  return std::string(path, length);
}

std::string trim(const std::string& text) {
  const char* space = " \t\r\n";
  std::string::size_type first = text.find_first_not_of(space);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

Config::Config(const void* address) {
  std::string path = modulePath(address);
  std::string::size_type slash = path.find_last_of("\\/");
  directory_ = path.substr(0, slash + 1);
  std::string file = path.substr(slash + 1);
  name_ = lower(file.substr(0, file.rfind('.')));

  std::ifstream in(directory_ + "standin.cfg", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string::size_type equals = line.find('=');
    std::string key = trim(line.substr(0, equals));
    if (key.empty() || key[0] == '#' || equals == std::string::npos) continue;
    // Values are taken as written (a version line may carry spaces).
    entries_.emplace_back(lower(key), line.substr(equals + 1));
  }
}

std::vector<std::string> Config::all(const std::string& key) const {
  std::vector<std::string> own, plain;
  for (const auto& entry : entries_) {
    if (entry.first == name_ + "." + key) own.push_back(entry.second);
    if (entry.first == key) plain.push_back(entry.second);
  }
  return own.empty() ? plain : own;
}

bool Config::has(const std::string& key) const { return !all(key).empty(); }

std::string Config::text(const std::string& key, const std::string& fallback) const {
  std::vector<std::string> values = all(key);
  return values.empty() ? fallback : values.back();
}

int Config::number(const std::string& key, int fallback) const {
  std::string value = trim(text(key, ""));
  return value.empty() ? fallback : static_cast<int>(std::strtol(value.c_str(), nullptr, 0));
}

void Config::record(const char* file, const std::string& line) const {
  // One write per record, appended: runs that overlap lose no line.
  HANDLE handle = CreateFileA((directory_ + file).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(handle);
}

}  // namespace standin
