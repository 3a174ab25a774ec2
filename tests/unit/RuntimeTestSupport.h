// Helpers of the runtime-location tests: stand-in runtimes made of copies of
// the shared stand-ins (tests/standins), the configuration they run under,
// and registry keys of the test's own, removed afterwards.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestFiles.h"

// Reads a block holding these records into the Config store, through a file in dir.
void loadConfigRecords(const testfiles::TempDir& dir, const std::vector<testfiles::NarrowRecord>& records);

// Copies the stand-in (tests/standins) whose name matches path's file name,
// case aside: java.exe, javaw.exe, unpack200.exe or jvm.dll. Its directories
// are made as needed.
void copyStandin(const std::string& path);

// Writes standin.cfg in directory, one "key=value" line each, which the
// stand-ins there read when they run.
void writeStandinConfig(const std::string& directory, const std::vector<std::string>& lines);

// A stand-in java executable at exePath whose -version prints
// `java version "<version>"` first on its error stream.
void makeStandinJava(const std::string& exePath, const std::string& version);

// A Java home with bin\java.exe reporting version.
void makeStandinJre(const std::string& home, const std::string& version);

// A runtime home's release file naming this version (JAVA_VERSION="...").
void writeReleaseFile(const std::string& home, const std::string& version);

// Rewrites the machine field of a PE file's header (0x8664: a 64-bit image),
// which is all a look at a runtime's architecture reads.
void setPeMachine(const std::string& path, uint16_t machine);

// Makes every missing directory of a path, the last component included.
void makeDirectories(const std::string& path);

// How often the stand-in java or javaw in this directory has run (runs.log).
int standinRuns(const std::string& directory);

// Moves the launcher's registry keys below "SOFTWARE\tovex-unit-<pid>\" in
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
  testfiles::TestRegistryRoot root_;
};
