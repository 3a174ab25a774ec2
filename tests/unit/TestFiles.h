// Helpers shared by the unit tests: scratch directories, files, executables
// carrying a configuration block, and environment variables put back after use.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Config.h"

namespace testfiles {

// A fresh, empty directory under the system's temporary directory, removed
// with everything in it when the object goes. Its path is in long form, has no
// trailing backslash, and keeps the case it was made with.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "\\" + name.
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

// Removes a directory and everything below it, without following links.
void removeTree(const std::string& path);

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
void makeDirectory(const std::string& path);

struct NarrowRecord {
  int32_t key;
  std::string value;
};

struct WideRecord {
  int32_t key;
  std::wstring value;
};

// Little-endian 32-bit value as four bytes.
std::string int32Bytes(int32_t value);

// A whole configuration block: magic, narrow records, wide records.
std::string configBlock(const std::vector<NarrowRecord>& narrow, const std::vector<WideRecord>& wide = {});

// Where the image of executableImage ends and its block begins.
constexpr uint32_t kImageEnd = 1024;

// An executable-like file: kImageEnd bytes whose last section header says
// where the image ends, followed by `tail` (the block and anything after it).
std::string executableImage(const std::string& tail);

// Opens a file for reading with the sharing the launcher uses for itself.
HANDLE openForReading(const std::string& path);

// Writes an executable carrying a block of these records, under a fresh name
// in dir, and reads its block into the launcher's store.
ConfigReadResult loadConfigBlockOf(const std::string& dir, const std::vector<NarrowRecord>& records);

// An environment variable's value (or its absence), put back on destruction.
class SavedVariable {
 public:
  explicit SavedVariable(const char* name);
  ~SavedVariable();
  SavedVariable(const SavedVariable&) = delete;
  SavedVariable& operator=(const SavedVariable&) = delete;

 private:
  std::string name_;
  std::string value_;
  bool present_;
};

// The process environment's value of name; `present` tells an empty value
// from an absent one.
std::string environmentValue(const char* name, bool* present = nullptr);

// Moves the launcher's registry keys (RegistryKeys.h) below "SOFTWARE\<name>\"
// in HKCU and HKLM for the object's life; afterwards removes that key from both
// and puts the earlier place back.
class TestRegistryRoot {
 public:
  explicit TestRegistryRoot(const std::string& name);
  ~TestRegistryRoot();
  TestRegistryRoot(const TestRegistryRoot&) = delete;
  TestRegistryRoot& operator=(const TestRegistryRoot&) = delete;

  // "SOFTWARE\<name>\".
  const std::string& base() const { return base_; }

 private:
  std::string base_;
  std::string previous_;
};

// Case-insensitive ASCII comparison of two paths.
bool samePath(const std::string& a, const std::string& b);

// Runs action with the C library's stream (stdout or stderr) sent to file and
// returns what it wrote there, read back as text.
std::string capturedStream(FILE* stream, const std::string& file, const std::function<void()>& action);

}  // namespace testfiles
