#include "RuntimeTestSupport.h"

#include <cctype>
#include <stdexcept>

#include "Config.h"
#include "JavaVersion.h"

namespace {

// The directory of the stand-ins, from the test program's own directory and
// the relative path the build gives (TOVEX_STANDIN_DIR, "../standins"), with
// a trailing backslash.
std::string standinDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length);
  std::string relative = TOVEX_STANDIN_DIR;
  for (char& c : relative) {
    if (c == '/') c = '\\';
  }
  return text.substr(0, text.find_last_of('\\') + 1) + relative + "\\";
}

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
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
  if (testfiles::loadConfigBlockOf(dir.path(), records) != ConfigReadResult::ok) {
    throw std::runtime_error("readConfigBlock in " + dir.path());
  }
}

void makeDirectories(const std::string& path) {
  size_t at = path.find('\\', 3);
  while (at != std::string::npos) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    at = path.find('\\', at + 1);
  }
  CreateDirectoryA(path.c_str(), nullptr);
}

void copyStandin(const std::string& path) {
  std::string name = lowerCase(path.substr(path.find_last_of('\\') + 1));
  if (name != "java.exe" && name != "javaw.exe" && name != "unpack200.exe" && name != "jvm.dll") {
    throw std::runtime_error("no stand-in for " + path);
  }
  makeDirectories(path.substr(0, path.find_last_of('\\')));
  std::string source = standinDirectory() + name;
  if (!CopyFileA(source.c_str(), path.c_str(), FALSE)) {
    throw std::runtime_error("CopyFileA " + source + " " + path);
  }
}

void writeStandinConfig(const std::string& directory, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  testfiles::writeFile(directory + "\\standin.cfg", text);
}

void makeStandinJava(const std::string& exePath, const std::string& version) {
  copyStandin(exePath);
  writeStandinConfig(exePath.substr(0, exePath.find_last_of('\\')),
                     {"version_line=java version \"" + version + "\""});
}

void makeStandinJre(const std::string& home, const std::string& version) {
  makeStandinJava(home + "\\bin\\java.exe", version);
}

int standinRuns(const std::string& directory) {
  // One CR LF line per run.
  std::string path = directory + "\\runs.log";
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
  std::string text = testfiles::readFile(path);
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

TestRegistry::TestRegistry() : root_("tovex-unit-" + std::to_string(GetCurrentProcessId())) {}

TestRegistry::~TestRegistry() = default;

void TestRegistry::setString(HKEY root, const std::string& path, const char* name, const std::string& value) {
  HKEY key = createRegistryKey(root, root_.base() + path);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

void TestRegistry::createKey(HKEY root, const std::string& path) { RegCloseKey(createRegistryKey(root, root_.base() + path)); }

void writeReleaseFile(const std::string& home, const std::string& version) {
  testfiles::writeFile(home + "\\release", "IMPLEMENTOR=\"Stand-in\"\nJAVA_VERSION=\"" + version +
                                                "\"\nJAVA_VERSION_DATE=\"2024-10-15\"\n");
}

void setPeMachine(const std::string& path, uint16_t machine) {
  std::string image = testfiles::readFile(path);
  size_t peOffset = static_cast<unsigned char>(image.at(0x3C)) | static_cast<unsigned char>(image.at(0x3D)) << 8;
  image.at(peOffset + 4) = static_cast<char>(machine & 0xFF);
  image.at(peOffset + 5) = static_cast<char>(machine >> 8);
  testfiles::writeFile(path, image);
}
