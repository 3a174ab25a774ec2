// Runtimes named by the registry: the JavaSoft keys and the located-runtime lists.
#include "RegistryDiscovery.h"
#include "RegistryDiscoveryInternal.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "JavaVersion.h"
#include "Log.h"
#include "RegistryKeys.h"
#include "UniqueHandle.h"
#include "VersionText.h"

namespace {

// "CurrentVersion" is read into 100 bytes; a longer value counts as absent.
constexpr size_t kCurrentVersionSize = 100;
// The longest registry key name, with its terminator.
constexpr DWORD kKeyNameSize = 256;

// A string value of a key below the software key; the stored text need not
// carry its terminator.
bool readRegistryString(HKEY root, const char* keyPath, const char* valueName, char* out, size_t capacity) {
  char path[kTextBufferSize];
  if (capacity < 2 || !softwareKeyPath(path, sizeof path, keyPath)) return false;
  UniqueKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return false;
  return readStringValue(key.get(), valueName, out, capacity);
}

// The names of a key's subkeys, in the registry's order.
std::vector<std::string> subkeyNames(HKEY root, const char* keyPath) {
  std::vector<std::string> names;
  char path[kTextBufferSize];
  if (!softwareKeyPath(path, sizeof path, keyPath)) return names;
  UniqueKey key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    char name[kKeyNameSize];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

// The runtime whose home a JavaSoft version key names, vetted with pre-release
// runtimes refused; not accepted when the key names none.
RuntimeCandidate tryJavaSoftVersionKey(const char* versionKey, const char* minVersion, const char* maxVersion) {
  char home[kTextBufferSize];
  char exePath[kTextBufferSize];
  if (!readRegistryString(HKEY_LOCAL_MACHINE, versionKey, "JavaHome", home, sizeof home) ||
      !javaExeFromHome(home, exePath, sizeof exePath)) {
    return RuntimeCandidate();
  }
  return checkJavaExe(exePath, minVersion, maxVersion, false);
}

// The "CurrentVersion" of a JavaSoft key when the bounds let its family in; else empty.
void currentVersionOf(const char* javaSoftKey, const char* minVersion, const char* maxVersion, char* version) {
  if (!readRegistryString(HKEY_LOCAL_MACHINE, javaSoftKey, "CurrentVersion", version, kCurrentVersionSize) ||
      !matchesVersionPrefix(version, minVersion, maxVersion)) {
    version[0] = 0;
  }
}

// The better of two answers, each taken only when accepted: second only when
// its version is strictly greater (byte-wise).
const RuntimeCandidate& better(const RuntimeCandidate& first, const RuntimeCandidate& second) {
  if (!first.accepted()) return second;
  if (!second.accepted()) return first;
  return second.version > first.version ? second : first;
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

RuntimeCandidate scanModernRegistry(const char* minVersion, const char* maxVersion) {
  std::vector<std::string> tried;
  for (const RegisteredHome& registered : modernRegisteredHomes()) {
    std::string home = withoutTrailingBackslashes(registered.home);
    logInfo("Registered runtime %s (%s)", home.c_str(), registered.version.c_str());
    char exePath[kTextBufferSize];
    if (!javaExeFromHome(home.c_str(), exePath, sizeof exePath)) continue;
    // Several keys may name one runtime: it is looked at once.
    std::string exe = exePath;
    std::transform(exe.begin(), exe.end(), exe.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    if (std::find(tried.begin(), tried.end(), exe) != tried.end()) continue;
    tried.push_back(exe);
    RuntimeCandidate candidate = checkJavaExe(exePath, minVersion, maxVersion, false);
    if (candidate.accepted()) return candidate;
  }
  return RuntimeCandidate();
}

RuntimeCandidate scanJavaSoftCurrentVersion(const char* minVersion, const char* maxVersion) {
  char jdkVersion[kCurrentVersionSize];
  char jreVersion[kCurrentVersionSize] = "";
  currentVersionOf(kJdkKey, minVersion, maxVersion, jdkVersion);
  if (configInt(key::requireJdk) == 0) currentVersionOf(kJreKey, minVersion, maxVersion, jreVersion);
  // No usable CurrentVersion at all: the family keys themselves are not read.
  if (jdkVersion[0] == 0 && jreVersion[0] == 0) return RuntimeCandidate();

  bool jdk = strcmp(jdkVersion, jreVersion) > 0;
  char versionKey[kTextBufferSize];
  if (!formatText(versionKey, sizeof versionKey, "%s\\%s", jdk ? kJdkKey : kJreKey, jdk ? jdkVersion : jreVersion)) {
    return RuntimeCandidate();
  }
  return tryJavaSoftVersionKey(versionKey, minVersion, maxVersion);
}

RuntimeCandidate scanJavaSoftKey(const char* keyPath, const char* minVersion, const char* maxVersion) {
  std::vector<std::string> names;
  for (const std::string& name : subkeyNames(HKEY_LOCAL_MACHINE, keyPath)) {
    if (matchesVersionPrefix(name.c_str(), minVersion, maxVersion)) names.push_back(name);
  }
  // Byte-wise order, the greatest version tried first.
  std::sort(names.begin(), names.end());
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    char versionKey[kTextBufferSize];
    if (!formatText(versionKey, sizeof versionKey, "%s\\%s", keyPath, name->c_str())) continue;
    RuntimeCandidate candidate = tryJavaSoftVersionKey(versionKey, minVersion, maxVersion);
    if (candidate.accepted()) return candidate;
  }
  return RuntimeCandidate();
}

RuntimeCandidate scanLocatedJvms(HKEY root, const char* minVersion, const char* maxVersion) {
  RuntimeCandidate found;
  for (const std::string& name : subkeyNames(root, (std::string(kProductKey) + kLocatedJvmsSubkey).c_str())) {
    char exePath[kTextBufferSize];
    if (!copyText(exePath, sizeof exePath, name.c_str())) continue;
    std::replace(exePath, exePath + strlen(exePath), '/', '\\');
    RuntimeCandidate candidate = checkJavaExe(exePath, minVersion, maxVersion, true);
    if (candidate.accepted() && (!found.accepted() || candidate.version > found.version)) found = candidate;
  }
  return found;
}

RuntimeCandidate testRegistry(const char* minVersion, const char* maxVersion) {
  RuntimeCandidate javaSoft = scanJavaSoftCurrentVersion(minVersion, maxVersion);
  if (!javaSoft.accepted() && configInt(key::requireJdk) == 0) {
    javaSoft = scanJavaSoftKey(kJreKey, minVersion, maxVersion);
  }
  if (!javaSoft.accepted()) javaSoft = scanJavaSoftKey(kJdkKey, minVersion, maxVersion);

  RuntimeCandidate userLocated = scanLocatedJvms(HKEY_CURRENT_USER, minVersion, maxVersion);
  RuntimeCandidate machineLocated = scanLocatedJvms(HKEY_LOCAL_MACHINE, minVersion, maxVersion);
  // On equal versions the machine's list wins over the user's, and a located
  // runtime over the JavaSoft one.
  RuntimeCandidate winner = better(better(machineLocated, userLocated), javaSoft);
  if (modernRuntimeSearch()) {
    RuntimeCandidate modern = scanModernRegistry(minVersion, maxVersion);
    if (modern.accepted() &&
        (!winner.accepted() || compareVersionTexts(modern.version.c_str(), winner.version.c_str()) > 0)) {
      winner = modern;
    }
  }
  return winner;
}
