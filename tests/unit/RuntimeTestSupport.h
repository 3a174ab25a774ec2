// Helpers of the runtime-location tests: stand-in runtimes made of copies of
// fake_java.exe, the configuration they run under, and registry keys of the
// test's own, removed afterwards.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "TestFiles.h"

// Reads a block holding these records into the Config store, through a file in dir.
void loadConfigRecords(const testfiles::TempDir& dir, const std::vector<testfiles::NarrowRecord>& records);

// A stand-in java executable at exePath (its directories made as needed) that
// prints `java version "<version>"` on its error stream.
void makeFakeJava(const std::string& exePath, const std::string& version);

// A Java home with bin\java.exe reporting version.
void makeFakeJre(const std::string& home, const std::string& version);

// A copy of the stand-in under another name (such as unpack200.exe).
void copyFakeJava(const std::string& path);

// Makes every missing directory of a path, the last component included.
void makeDirectories(const std::string& path);

// How often the stand-in in this directory has run.
int fakeJavaRuns(const std::string& directory);

// Moves the subsystem's registry keys below "SOFTWARE\tovex-unit-<pid>\" in
// HKCU and HKLM for the object's life, and removes that key from both after.
class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

  // Writes a string value under base + path (the key made as needed).
  void setString(HKEY root, const std::string& path, const char* name, const std::string& value);
  // Makes the key base + path.
  void createKey(HKEY root, const std::string& path);

 private:
  std::string base_;
};
