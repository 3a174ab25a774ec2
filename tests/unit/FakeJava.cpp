// A stand-in for a runtime's programs in unit tests, driven by files beside it.
//
// As java.exe (any name but unpack200.exe): appends a line to runs.log, hangs
// while a file "hang" exists, writes stderr.txt to its error stream and exits
// with the number in exitcode.txt (0 without it).
// As unpack200.exe with "-r packed jar": copies packed to jar, deletes packed
// and appends the jar's path to unpack.log, so its arguments must arrive whole.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string ownDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length);
  return text.substr(0, text.find_last_of('\\') + 1);
}

bool endsWith(const std::string& text, const char* tail) {
  size_t n = strlen(tail);
  return text.size() >= n && _stricmp(text.c_str() + text.size() - n, tail) == 0;
}

std::string readAll(const std::string& path, bool* present) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  *present = file != INVALID_HANDLE_VALUE;
  std::string bytes;
  if (!*present) return bytes;
  char chunk[4096];
  DWORD done = 0;
  while (ReadFile(file, chunk, sizeof chunk, &done, nullptr) && done > 0) bytes.append(chunk, done);
  CloseHandle(file);
  return bytes;
}

void appendLine(const std::string& path, const std::string& line) {
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD done = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
  CloseHandle(file);
}

}  // namespace

int main(int argc, char** argv) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string dir = ownDirectory();
  if (endsWith(self, "unpack200.exe")) {
    if (argc != 4 || strcmp(argv[1], "-r") != 0) return 2;
    if (!CopyFileA(argv[2], argv[3], FALSE)) return 3;
    DeleteFileA(argv[2]);
    appendLine(dir + "unpack.log", argv[3]);
    return 0;
  }
  appendLine(dir + "runs.log", GetCommandLineA());
  bool present = false;
  while (GetFileAttributesA((dir + "hang").c_str()) != INVALID_FILE_ATTRIBUTES) Sleep(50);
  std::string text = readAll(dir + "stderr.txt", &present);
  DWORD done = 0;
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err != nullptr && err != INVALID_HANDLE_VALUE) WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
  std::string code = readAll(dir + "exitcode.txt", &present);
  return present ? atoi(code.c_str()) : 0;
}
