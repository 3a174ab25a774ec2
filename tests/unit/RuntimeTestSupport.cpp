#include "RuntimeTestSupport.h"

#include <stdexcept>

#include "Config.h"
#include "JavaVersion.h"

namespace {

std::string testDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length);
  return text.substr(0, text.find_last_of('\\') + 1);
}

HKEY createRegistryKey(HKEY root, const std::string& path) {
  HKEY key;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("RegCreateKeyExA " + path);
  }
  return key;
}

}  // namespace

void loadConfigRecords(const testfiles::TempDir& dir, const std::vector<testfiles::NarrowRecord>& records) {
  static int files = 0;
  std::string file = dir / ("config" + std::to_string(++files) + ".exe");
  testfiles::writeFile(file, testfiles::executableImage(testfiles::configBlock(records)));
  HANDLE handle = testfiles::openForReading(file);
  ConfigReadResult result = readConfigBlock(handle);
  CloseHandle(handle);
  if (result != ConfigReadResult::ok) throw std::runtime_error("readConfigBlock " + file);
}

void makeDirectories(const std::string& path) {
  size_t at = path.find('\\', 3);
  while (at != std::string::npos) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    at = path.find('\\', at + 1);
  }
  CreateDirectoryA(path.c_str(), nullptr);
}

void copyFakeJava(const std::string& path) {
  makeDirectories(path.substr(0, path.find_last_of('\\')));
  if (!CopyFileA((testDirectory() + "fake_java.exe").c_str(), path.c_str(), FALSE)) {
    throw std::runtime_error("CopyFileA " + path);
  }
}

void makeFakeJava(const std::string& exePath, const std::string& version) {
  copyFakeJava(exePath);
  std::string dir = exePath.substr(0, exePath.find_last_of('\\') + 1);
  testfiles::writeFile(dir + "stderr.txt", "java version \"" + version + "\"\nJava(TM) 2 Runtime Environment\n");
}

void makeFakeJre(const std::string& home, const std::string& version) {
  makeFakeJava(home + "\\bin\\java.exe", version);
}

int fakeJavaRuns(const std::string& directory) {
  std::string path = directory + "\\runs.log";
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
  std::string text = testfiles::readFile(path);
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

TestRegistry::TestRegistry() {
  base_ = "SOFTWARE\\tovex-unit-" + std::to_string(GetCurrentProcessId()) + "\\";
  setSoftwareKeyBaseForTests(base_.c_str());
}

TestRegistry::~TestRegistry() {
  setSoftwareKeyBaseForTests("SOFTWARE\\");
  std::string key = base_.substr(0, base_.size() - 1);
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    RegDeleteTreeA(root, key.c_str());
    RegDeleteKeyA(root, key.c_str());
  }
}

void TestRegistry::setString(HKEY root, const std::string& path, const char* name, const std::string& value) {
  HKEY key = createRegistryKey(root, base_ + path);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

void TestRegistry::createKey(HKEY root, const std::string& path) { RegCloseKey(createRegistryKey(root, base_ + path)); }
