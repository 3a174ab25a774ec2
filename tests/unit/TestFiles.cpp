#include "TestFiles.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "BlockFormat.h"
#include "RegistryKeysInternal.h"

namespace testfiles {

namespace {

void fail(const std::string& what) {
  throw std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}


void putLittleEndian(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

}  // namespace

TempDir::TempDir() {
  static unsigned counter = 0;
  char base[MAX_PATH];
  DWORD length = GetTempPathA(sizeof base, base);
  if (length == 0 || length >= sizeof base) fail("GetTempPathA");
  char longBase[MAX_PATH];
  length = GetLongPathNameA(base, longBase, sizeof longBase);
  if (length == 0 || length >= sizeof longBase) fail("GetLongPathNameA");
  std::string candidate;
  for (;;) {
    candidate = std::string(longBase) + "tovex-unit-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) fail("CreateDirectoryA " + candidate);
  }
  path_ = candidate;
}

TempDir::~TempDir() { removeTree(path_); }

void removeTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        // A link is removed itself; what it points to is left alone.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) removeTree(child);
        RemoveDirectoryA(child.c_str());
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}


std::string TempDir::operator/(const std::string& name) const { return path_ + "\\" + name; }

void writeFile(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) fail("fopen " + path);
  size_t written = fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
  if (written != bytes.size()) fail("fwrite " + path);
}

std::string readFile(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) fail("fopen " + path);
  std::string bytes;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  fclose(file);
  return bytes;
}

void makeDirectory(const std::string& path) {
  if (!CreateDirectoryA(path.c_str(), nullptr)) fail("CreateDirectoryA " + path);
}

std::string int32Bytes(int32_t value) {
  std::string bytes(4, '\0');
  putLittleEndian(bytes, 0, static_cast<uint32_t>(value));
  return bytes;
}

std::string configBlock(const std::vector<NarrowRecord>& narrow, const std::vector<WideRecord>& wide) {
  std::string block = int32Bytes(static_cast<int32_t>(blockformat::kMagic));
  block += int32Bytes(static_cast<int32_t>(narrow.size()));
  for (const NarrowRecord& record : narrow) {
    block += int32Bytes(record.key);
    block += int32Bytes(static_cast<int32_t>(record.value.size()));
    block += record.value;
  }
  block += int32Bytes(static_cast<int32_t>(wide.size()));
  for (const WideRecord& record : wide) {
    block += int32Bytes(record.key);
    block += int32Bytes(static_cast<int32_t>(record.value.size() * 2));
    for (wchar_t unit : record.value) {
      block += static_cast<char>(unit & 0xFF);
      block += static_cast<char>(unit >> 8 & 0xFF);
    }
  }
  return block;
}

std::string executableImage(const std::string& tail) {
  std::string image(kImageEnd, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  // Deliberately unequal halves: only their sum marks the end of the image.
  const uint32_t rawPointer = 0x280;
  putLittleEndian(image, blockformat::kLastSectionRawSizeOffset, kImageEnd - rawPointer);
  putLittleEndian(image, blockformat::kLastSectionRawPointerOffset, rawPointer);
  return image + tail;
}

ConfigReadResult loadConfigBlockOf(const std::string& dir, const std::vector<NarrowRecord>& records) {
  static int blocks = 0;
  std::string path = dir + "\\config" + std::to_string(++blocks) + ".exe";
  writeFile(path, executableImage(configBlock(records)));
  HANDLE file = openForReading(path);
  ConfigReadResult result = readConfigBlock(file);
  CloseHandle(file);
  return result;
}

HANDLE openForReading(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) fail("CreateFileA " + path);
  return file;
}

std::string environmentValue(const char* name, bool* present) {
  SetLastError(ERROR_SUCCESS);
  DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
  bool found = needed > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  if (present != nullptr) *present = found;
  if (needed == 0) return "";
  std::string value(needed, '\0');
  DWORD length = GetEnvironmentVariableA(name, &value[0], needed);
  value.resize(length < needed ? length : 0);
  return value;
}

SavedVariable::SavedVariable(const char* name) : name_(name) { value_ = environmentValue(name, &present_); }

TestRegistryRoot::TestRegistryRoot(const std::string& name)
    : base_("SOFTWARE\\" + name + "\\"), previous_(softwareKeyBase()) {
  setSoftwareKeyBaseForTests(base_.c_str());
}

TestRegistryRoot::~TestRegistryRoot() {
  setSoftwareKeyBaseForTests(previous_.c_str());
  std::string key = base_.substr(0, base_.size() - 1);
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    RegDeleteTreeA(root, key.c_str());
    RegDeleteKeyA(root, key.c_str());
  }
}

SavedVariable::~SavedVariable() {
  // The C library keeps its own copy; "NAME=" removes the name there (and, in
  // some C libraries, from the process environment too: hence this order).
  std::string assignment = name_ + "=" + (present_ ? value_ : "");
  _putenv(assignment.c_str());
  SetEnvironmentVariableA(name_.c_str(), present_ ? value_.c_str() : nullptr);
}

bool samePath(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string capturedStream(FILE* stream, const std::string& file, const std::function<void()>& action) {
  fflush(stream);
  int saved = _dup(_fileno(stream));
  int target = _open(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IREAD | _S_IWRITE);
  if (saved < 0 || target < 0) {
    if (saved >= 0) _close(saved);
    if (target >= 0) _close(target);
    return "(stream not redirected)";
  }
  _dup2(target, _fileno(stream));
  _close(target);
  action();
  fflush(stream);
  _dup2(saved, _fileno(stream));
  _close(saved);

  std::string text;
  FILE* in = fopen(file.c_str(), "r");
  if (in == nullptr) return "(capture not readable)";
  int c;
  while ((c = fgetc(in)) != EOF) text += static_cast<char>(c);
  fclose(in);
  return text;
}

}  // namespace testfiles
