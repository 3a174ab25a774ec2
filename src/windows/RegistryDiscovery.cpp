// Runtimes named by the registry: the JavaSoft keys and the located-runtime lists.
#include "RegistryDiscovery.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Config.h"
#include "JavaVersion.h"
#include "Log.h"
#include "VersionText.h"

namespace {

// "CurrentVersion" is read into 100 bytes; a longer value counts as absent.
constexpr size_t kCurrentVersionSize = 100;
// The longest registry key name, with its terminator.
constexpr DWORD kKeyNameSize = 256;

bool softwareKeyPath(char* out, size_t capacity, const char* below) {
  return formatText(out, capacity, "%s%s", softwareKeyBase(), below);
}

// A string value of a key below the software key; the stored text need not
// carry its terminator.
bool readRegistryString(HKEY root, const char* keyPath, const char* valueName, char* out, size_t capacity) {
  char path[kTextBufferSize];
  if (capacity < 2 || !softwareKeyPath(path, sizeof path, keyPath)) return false;
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(capacity - 1);
  bool read = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(out), &size) ==
                  ERROR_SUCCESS &&
              type == REG_SZ;
  RegCloseKey(key);
  if (read) out[size] = 0;
  return read;
}

// The names of a key's subkeys, in the registry's order.
std::vector<std::string> subkeyNames(HKEY root, const char* keyPath) {
  std::vector<std::string> names;
  char path[kTextBufferSize];
  if (!softwareKeyPath(path, sizeof path, keyPath)) return names;
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    char name[kKeyNameSize];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

// The runtime whose home a JavaSoft version key names, vetted with pre-release
// runtimes refused.
bool tryJavaSoftVersionKey(const char* versionKey, const char* minVersion, const char* maxVersion,
                           JvmCandidate* found) {
  char home[kTextBufferSize];
  if (!readRegistryString(HKEY_LOCAL_MACHINE, versionKey, "JavaHome", home, sizeof home)) return false;
  if (!javaExeFromHome(home, found->exePath, sizeof found->exePath)) return false;
  return checkJavaExe(found->exePath, sizeof found->exePath, found->version, sizeof found->version, minVersion,
                      maxVersion, false);
}

// The "CurrentVersion" of a JavaSoft key when the bounds let its family in; else empty.
void currentVersionOf(const char* javaSoftKey, const char* minVersion, const char* maxVersion, char* version) {
  if (!readRegistryString(HKEY_LOCAL_MACHINE, javaSoftKey, "CurrentVersion", version, kCurrentVersionSize) ||
      !matchesVersionPrefix(version, minVersion, maxVersion)) {
    version[0] = 0;
  }
}

// The better of two answers: second only when its version is strictly greater.
const JvmCandidate* better(const JvmCandidate* first, const JvmCandidate* second) {
  if (first == nullptr) return second;
  if (second == nullptr) return first;
  return strcmp(second->version, first->version) > 0 ? second : first;
}

// The homes of one Java 9+ JavaSoft key: <key>\<version>, value "JavaHome".
void addJavaSoftHomes(HKEY root, const char* keyPath, std::vector<RegisteredHome>* homes) {
  for (const std::string& version : subkeyNames(root, keyPath)) {
    std::string versionKey = std::string(keyPath) + "\\" + version;
    char home[kTextBufferSize];
    if (readRegistryString(root, versionKey.c_str(), "JavaHome", home, sizeof home)) {
      homes->push_back({version, home});
    }
  }
}

// The homes of one vendor key: <key>\<version>\<virtual machine>\MSI, value "Path".
void addVendorHomes(HKEY root, const char* keyPath, std::vector<RegisteredHome>* homes) {
  for (const std::string& version : subkeyNames(root, keyPath)) {
    std::string versionKey = std::string(keyPath) + "\\" + version;
    for (const std::string& machine : subkeyNames(root, versionKey.c_str())) {
      std::string msiKey = versionKey + "\\" + machine + "\\MSI";
      char home[kTextBufferSize];
      if (readRegistryString(root, msiKey.c_str(), "Path", home, sizeof home)) homes->push_back({version, home});
    }
  }
}

// A home as installers write it may end with a backslash.
std::string withoutTrailingBackslashes(std::string home) {
  while (home.size() > 3 && home.back() == '\\') home.pop_back();
  return home;
}

}  // namespace

std::vector<RegisteredHome> modernRegisteredHomes() {
  std::vector<RegisteredHome> homes;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const char* keyPath : kModernJavaSoftKeys) addJavaSoftHomes(root, keyPath, &homes);
    for (const char* keyPath : kVendorKeys) addVendorHomes(root, keyPath, &homes);
  }
  // Highest version first; among equals the machine's before the user's.
  std::stable_sort(homes.begin(), homes.end(), [](const RegisteredHome& a, const RegisteredHome& b) {
    return compareVersionTexts(a.version.c_str(), b.version.c_str()) > 0;
  });
  return homes;
}

bool scanModernRegistry(const char* minVersion, const char* maxVersion, JvmCandidate* found) {
  std::vector<std::string> tried;
  for (const RegisteredHome& registered : modernRegisteredHomes()) {
    std::string home = withoutTrailingBackslashes(registered.home);
    logInfo("Registered runtime %s (%s)", home.c_str(), registered.version.c_str());
    if (!javaExeFromHome(home.c_str(), found->exePath, sizeof found->exePath)) continue;
    // Several keys may name one runtime: it is looked at once.
    std::string exe = found->exePath;
    std::transform(exe.begin(), exe.end(), exe.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    if (std::find(tried.begin(), tried.end(), exe) != tried.end()) continue;
    tried.push_back(exe);
    if (checkJavaExe(found->exePath, sizeof found->exePath, found->version, sizeof found->version, minVersion,
                     maxVersion, false)) {
      return true;
    }
  }
  return false;
}

bool scanJavaSoftCurrentVersion(const char* minVersion, const char* maxVersion, JvmCandidate* found) {
  char jdkVersion[kCurrentVersionSize];
  char jreVersion[kCurrentVersionSize] = "";
  currentVersionOf(kJdkKey, minVersion, maxVersion, jdkVersion);
  if (configInt(key::requireJdk) == 0) currentVersionOf(kJreKey, minVersion, maxVersion, jreVersion);
  // No usable CurrentVersion at all: the family keys themselves are not read.
  if (jdkVersion[0] == 0 && jreVersion[0] == 0) return false;

  bool jdk = strcmp(jdkVersion, jreVersion) > 0;
  char versionKey[kTextBufferSize];
  if (!formatText(versionKey, sizeof versionKey, "%s\\%s", jdk ? kJdkKey : kJreKey, jdk ? jdkVersion : jreVersion)) {
    return false;
  }
  return tryJavaSoftVersionKey(versionKey, minVersion, maxVersion, found);
}

bool scanJavaSoftKey(const char* keyPath, const char* minVersion, const char* maxVersion, JvmCandidate* found) {
  std::vector<std::string> names;
  for (const std::string& name : subkeyNames(HKEY_LOCAL_MACHINE, keyPath)) {
    if (matchesVersionPrefix(name.c_str(), minVersion, maxVersion)) names.push_back(name);
  }
  // Byte-wise order, the greatest version tried first.
  std::sort(names.begin(), names.end());
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    char versionKey[kTextBufferSize];
    if (formatText(versionKey, sizeof versionKey, "%s\\%s", keyPath, name->c_str()) &&
        tryJavaSoftVersionKey(versionKey, minVersion, maxVersion, found)) {
      return true;
    }
  }
  return false;
}

bool scanLocatedJvms(HKEY root, const char* minVersion, const char* maxVersion, JvmCandidate* found) {
  bool any = false;
  found->exePath[0] = 0;
  found->version[0] = 0;
  for (const std::string& name : subkeyNames(root, kLocatedJvmsKey)) {
    JvmCandidate candidate;
    if (!copyText(candidate.exePath, sizeof candidate.exePath, name.c_str())) continue;
    std::replace(candidate.exePath, candidate.exePath + strlen(candidate.exePath), '/', '\\');
    if (checkJavaExe(candidate.exePath, sizeof candidate.exePath, candidate.version, sizeof candidate.version,
                     minVersion, maxVersion, true) &&
        (!any || strcmp(candidate.version, found->version) > 0)) {
      *found = candidate;
      any = true;
    }
  }
  return any;
}

bool testRegistry(const char* minVersion, const char* maxVersion, char* exePath, size_t capacity) {
  JvmCandidate javaSoft;
  JvmCandidate userLocated;
  JvmCandidate machineLocated;
  bool fromJavaSoft = scanJavaSoftCurrentVersion(minVersion, maxVersion, &javaSoft);
  if (!fromJavaSoft && configInt(key::requireJdk) == 0) {
    fromJavaSoft = scanJavaSoftKey(kJreKey, minVersion, maxVersion, &javaSoft);
  }
  if (!fromJavaSoft) fromJavaSoft = scanJavaSoftKey(kJdkKey, minVersion, maxVersion, &javaSoft);

  bool fromUser = scanLocatedJvms(HKEY_CURRENT_USER, minVersion, maxVersion, &userLocated);
  bool fromMachine = scanLocatedJvms(HKEY_LOCAL_MACHINE, minVersion, maxVersion, &machineLocated);
  // On equal versions the machine's list wins over the user's, and a located
  // runtime over the JavaSoft one.
  const JvmCandidate* located = better(fromMachine ? &machineLocated : nullptr, fromUser ? &userLocated : nullptr);
  const JvmCandidate* winner = better(located, fromJavaSoft ? &javaSoft : nullptr);
  JvmCandidate modern;
  if (modernRuntimeSearch() && scanModernRegistry(minVersion, maxVersion, &modern) &&
      (winner == nullptr || compareVersionTexts(modern.version, winner->version) > 0)) {
    winner = &modern;
  }
  return winner != nullptr && copyText(exePath, capacity, winner->exePath);
}
