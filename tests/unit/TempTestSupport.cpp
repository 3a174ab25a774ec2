#include "TempTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "Log.h"
#include "RegistryKeys.h"
#include "TestFiles.h"

namespace {

// The launcher's keys below a test key for the whole program.
class TestRegistryEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    root_ = std::make_unique<testfiles::TestRegistryRoot>("tovex-unit-" + std::to_string(GetCurrentProcessId()) +
                                                          "-temp");
  }
  void TearDown() override { root_.reset(); }

 private:
  std::unique_ptr<testfiles::TestRegistryRoot> root_;
};

testing::Environment* const testRegistryEnvironment = testing::AddGlobalTestEnvironment(new TestRegistryEnvironment);

}  // namespace

std::string queueKeyPath() { return std::string(softwareKeyBase()) + kProductKey + kQueueSubkey; }

std::string systemTempPath() {
  char path[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof path, path);
  return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

std::string makeScratchDirectory(const char* label) {
  static unsigned counter = 0;
  for (;;) {
    char name[MAX_PATH];
    snprintf(name, sizeof name, "tovex_%s_%lu_%u", label, static_cast<unsigned long>(GetCurrentProcessId()),
             counter++);
    std::string path = systemTempPath() + name;
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
}

std::string makeExtractionShapedDirectory() {
  static unsigned counter = 0;
  for (;;) {
    char name[MAX_PATH];
    snprintf(name, sizeof name, "tvx%X.tmp_dir%lu%u", static_cast<unsigned>(GetCurrentProcessId() & 0xFFFF),
             static_cast<unsigned long>(GetCurrentProcessId()), 90000 + counter++);
    std::string path = systemTempPath() + name;
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
}

void removeScratchDirectory(const std::string& path) {
  if (!path.empty()) testfiles::removeTree(path);
}

bool pathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void writeWholeFile(const std::string& path, const std::string& bytes) { testfiles::writeFile(path, bytes); }

std::string readWholeFile(const std::string& path) {
  return pathExists(path) ? testfiles::readFile(path) : std::string();
}

std::string logText() {
  const char* path = logFilePath();
  return path != nullptr ? readWholeFile(path) : std::string();
}

void deleteQueueKey() {
  RegDeleteTreeA(HKEY_CURRENT_USER, queueKeyPath().c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, queueKeyPath().c_str());
}

bool queueKeyExists() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, queueKeyPath().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool readRawQueueValue(const char* name, std::string* bytes) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, queueKeyPath().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  bool found = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
  if (found) {
    std::vector<char> data(size + 1);
    found = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) ==
            ERROR_SUCCESS;
    bytes->assign(data.data(), size);
  }
  RegCloseKey(key);
  return found;
}

void writeRawQueueValue(const char* name, const std::string& text) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, queueKeyPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()));
  RegCloseKey(key);
}
