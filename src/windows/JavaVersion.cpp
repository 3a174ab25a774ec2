// Runtime versions: the probe, the version cache, the comparisons and the
// java executable of a Java home.
#include "JavaVersion.h"
#include "JavaVersionInternal.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "Buffers.h"
#include "ChildProcess.h"
#include "Config.h"
#include "DeletionQueue.h"
#include "Log.h"
#include "Paths.h"
#include "RegistryKeys.h"
#include "RuntimeArchitecture.h"
#include "RuntimeCandidates.h"
#include "TempFiles.h"
#include "UniqueHandle.h"
#include "VersionText.h"
#include "RuntimeLibrary.h"

namespace {

constexpr const char* kVersionLinePrefix = "java version \"";
constexpr DWORD kStillActive = 259;
// A modern runtime may print other lines ("Picked up JAVA_TOOL_OPTIONS: ...")
// before its version line; this many are looked at, each read this long.
constexpr int kMaxProbeLines = 64;
constexpr size_t kProbeLineSize = 1024;
constexpr const char* kReleaseFile = "..\\release";

bool isPrerelease(const char* version) {
  return strstr(version, "beta") != nullptr || strstr(version, "ea") != nullptr ||
         strstr(version, "rc") != nullptr;
}

void storeFileTime(BYTE* bytes, uint64_t time) {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<BYTE>(time >> (8 * i));
}

// The first line of a text file, at most 99 characters.
bool readFirstLine(const char* path, char* line, size_t capacity) {
  UniqueFile file(fopen(path, "r"));
  return file && fgets(line, static_cast<int>(capacity), file.get()) != nullptr;
}

// The first version line of a modern runtime's output, other lines skipped.
bool readVersionLine(const char* path, char* version, size_t capacity) {
  UniqueFile file(fopen(path, "r"));
  if (!file) return false;
  char line[kProbeLineSize];
  for (int i = 0; i < kMaxProbeLines && fgets(line, sizeof line, file.get()) != nullptr; ++i) {
    trimLineEnd(line);
    if (parseModernVersionLine(line, version, capacity)) return true;
  }
  return false;
}

// The probe's output file goes now, or at a later start when a process still holds it.
void removeProbeOutput(const char* path) {
  if (!DeleteFileA(path)) scheduleForDeletion(path, "delete_file");
}

// Waits for the probe, ends it when it hangs, and returns its exit code.
DWORD finishProbe(HANDLE process, DWORD timeoutMs) {
  DWORD exitCode = kStillActive;
  bool ended = finishChildProcess(process, timeoutMs, &exitCode);
  logInfo("Exit Code %d", static_cast<int>(exitCode));
  if (!ended) logInfo("Terminating process");
  return exitCode;
}

}  // namespace

Refusal versionRangeRefusal(const char* version, const char* minVersion, const char* maxVersion,
                            bool allowPrerelease) {
  if (!allowPrerelease && configInt(key::allowPrereleaseJava) == 0 && isPrerelease(version)) {
    return Refusal::prerelease;
  }
  if (modernRuntimeSearch()) {
    if (!versionWithinBounds(version, minVersion, "")) return Refusal::tooOld;
    return versionWithinBounds(version, "", maxVersion) ? Refusal::none : Refusal::tooNew;
  }
  if (strncmp(version, minVersion, strlen(minVersion)) < 0) return Refusal::tooOld;
  if (strncmp(version, maxVersion, strlen(maxVersion)) > 0) return Refusal::tooNew;
  return Refusal::none;
}

bool checkVersionRange(const char* version, const char* minVersion, const char* maxVersion,
                       bool allowPrerelease) {
  return versionRangeRefusal(version, minVersion, maxVersion, allowPrerelease) == Refusal::none;
}

namespace {

// The version that the release file of the runtime home holding this
// executable names (bin\..\release: JAVA_VERSION="17.0.2").
bool readReleaseVersion(const char* exePath, char* version, size_t capacity) {
  char path[kTextBufferSize];
  if (!runtimeDirectory(path, sizeof path, exePath) || !appendText(path, sizeof path, kReleaseFile)) return false;
  UniqueFile file(fopen(path, "r"));
  if (!file) return false;
  char line[kProbeLineSize];
  while (fgets(line, sizeof line, file.get()) != nullptr) {
    if (parseReleaseFileLine(line, version, capacity)) return true;
  }
  return false;
}

}  // namespace

bool matchesVersionPrefix(const char* name, const char* minVersion, const char* maxVersion) {
  size_t nameLength = strlen(name);
  size_t k = strlen(minVersion) < nameLength ? strlen(minVersion) : nameLength;
  if (strncmp(name, minVersion, k) < 0) return false;
  k = strlen(maxVersion) < nameLength ? strlen(maxVersion) : nameLength;
  if (strncmp(name, maxVersion, k) > 0) return false;
  return true;
}

namespace {

// A JDK of Java 9 and later: no jre\bin\java.exe (jdkRuntimeExe) and no
// tools.jar, but its compiler. Its executable is bin\java.exe; exePath is left
// alone when it is none.
bool modernJdkExecutable(const char* home, const char* jdkRuntimeExe, char* exePath, size_t capacity) {
  char compiler[kTextBufferSize];
  char executable[kTextBufferSize];
  if (!formatText(compiler, sizeof compiler, "%s\\bin\\javac.exe", home) ||
      !formatText(executable, sizeof executable, "%s\\bin\\java.exe", home)) {
    return false;
  }
  return !fileExists(jdkRuntimeExe) && fileExists(compiler) && copyText(exePath, capacity, executable);
}

}  // namespace

bool javaExeFromHome(const char* home, char* exePath, size_t capacity) {
  char candidate[kTextBufferSize];
  bool jdkExeFits = formatText(candidate, sizeof candidate, "%s\\jre\\bin\\java.exe", home);
  if (configInt(key::requireJdk) != 0) {
    char tools[kTextBufferSize];
    if (!jdkExeFits || !formatText(tools, sizeof tools, "%s\\lib\\tools.jar", home)) return false;
    if (!copyText(exePath, capacity, candidate)) return false;
    if (fileExists(tools)) return true;
    return modernRuntimeSearch() && modernJdkExecutable(home, candidate, exePath, capacity);
  }
  if (jdkExeFits && fileExists(candidate)) return copyText(exePath, capacity, candidate);
  // A JRE home: its executable is not looked for here; checkJavaExe does that.
  if (!formatText(candidate, sizeof candidate, "%s\\bin\\java.exe", home)) return false;
  return copyText(exePath, capacity, candidate);
}

bool parseVersionLine(const char* line, char* version, size_t capacity) {
  size_t prefixLength = strlen(kVersionLinePrefix);
  if (strncmp(line, kVersionLinePrefix, prefixLength) != 0) return false;
  char rest[kTextBufferSize];
  if (!copyText(rest, sizeof rest, line + prefixLength)) return false;
  trimLineEnd(rest);
  // The version is what stands between the quotes; a line cut short has no
  // closing quote and gives none.
  size_t length = strlen(rest);
  if (length < 2 || rest[length - 1] != '"') return false;
  rest[length - 1] = 0;
  return copyText(version, capacity, rest);
}

bool probeCommandLine(char* out, size_t capacity, const char* exePath) {
  char shortPath[kTextBufferSize];
  DWORD length = GetShortPathNameA(exePath, shortPath, sizeof shortPath);
  // Without a short form the full path serves: it is quoted either way.
  const char* program = (length > 0 && length < sizeof shortPath) ? shortPath : exePath;
  return formatText(out, capacity, "\"%s\" -version", program);
}

bool probeJavaVersion(const char* exePath, char* version, size_t capacity, DWORD timeoutMs) {
  // On the heap: a static buffer would add its size to every application executable.
  std::vector<char> commandLineBuffer(kCommandLineSize);
  char* commandLine = commandLineBuffer.data();
  if (!probeCommandLine(commandLine, commandLineBuffer.size(), exePath)) return false;

  char outputPath[kTextBufferSize];
  if (!createTempFileName(outputPath, sizeof outputPath)) return false;
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  // Shared for deletion too: a handle something else still holds must not keep the file.
  UniqueHandle output(CreateFileA(outputPath, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  // Without the file the child gets no error stream.
  HANDLE process = startHiddenProcess(commandLine, true, output ? output.get() : nullptr);
  if (process == nullptr) {
    output.reset();
    removeProbeOutput(outputPath);
    return false;
  }
  DWORD exitCode = finishProbe(process, timeoutMs);
  output.reset();

  bool found = false;
  char line[100];
  if (exitCode == 0 && modernRuntimeSearch()) {
    found = readVersionLine(outputPath, version, capacity);
  } else if (exitCode == 0 && readFirstLine(outputPath, line, sizeof line)) {
    found = parseVersionLine(line, version, capacity);
  }
  if (found) logInfo("Java version: %s", version);
  removeProbeOutput(outputPath);
  return found;
}

bool versionCacheKeyName(char* out, size_t capacity, const char* exePath) {
  if (!productKeyPath(out, capacity, kVersionCacheSubkey)) return false;
  size_t pathStart = strlen(out);
  if (!appendText(out, capacity, exePath)) return false;
  // Backslashes separate keys: the path's own become slashes.
  for (char* p = out + pathStart; *p != 0; ++p) {
    if (*p == '\\') *p = '/';
  }
  return true;
}

bool readCachedVersion(const char* exePath, uint64_t lastWriteTime, char* version, size_t capacity) {
  char keyName[kTextBufferSize + 64];
  if (capacity == 0 || !versionCacheKeyName(keyName, sizeof keyName, exePath)) return false;
  UniqueKey cache;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_READ, cache.receive()) != ERROR_SUCCESS) return false;

  BYTE stored[8];
  BYTE expected[8];
  storeFileTime(expected, lastWriteTime);
  DWORD size = sizeof stored;
  bool current = RegQueryValueExA(cache.get(), "LastWriteTime", nullptr, nullptr, stored, &size) == ERROR_SUCCESS &&
                 size == sizeof stored && memcmp(stored, expected, sizeof stored) == 0;
  return current && readStringValue(cache.get(), "Version", version, capacity);
}

void writeCachedVersion(const char* exePath, uint64_t lastWriteTime, const char* version) {
  char keyName[kTextBufferSize + 64];
  if (!versionCacheKeyName(keyName, sizeof keyName, exePath)) return;
  UniqueKey cache;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      cache.receive(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  BYTE time[8];
  storeFileTime(time, lastWriteTime);
  RegSetValueExA(cache.get(), "LastWriteTime", 0, REG_BINARY, time, sizeof time);
  RegSetValueExA(cache.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                 static_cast<DWORD>(strlen(version)));
}

namespace {

// The version of an existing executable: from the cache, else from a probe
// whose answer is cached. False when neither yields one.
bool obtainVersion(const char* exePath, uint64_t lastWriteTime, char* version, size_t capacity) {
  if (modernRuntimeSearch() && readReleaseVersion(exePath, version, capacity)) {
    logInfo("got version from release file %s", version);
    return true;
  }
  if (readCachedVersion(exePath, lastWriteTime, version, capacity)) {
    logInfo("got version from registry %s", version);
    return true;
  }
  if (probeJavaVersion(exePath, version, capacity)) {
    logInfo("got version from execution %s", version);
    writeCachedVersion(exePath, lastWriteTime, version);
    return true;
  }
  logInfo("couldn't get version");
  return false;
}

// java.exe becomes javaw.exe; a path already naming javaw.exe stays. False,
// the path unchanged, when it is too short or the new name would not fit.
bool useWindowedExecutable(std::string* exePath) {
  size_t length = exePath->size();
  if (length >= 5 && exePath->compare(length - 5, 5, "w.exe") == 0) return true;
  if (length < 4 || length + 1 >= kTextBufferSize) return false;
  exePath->replace(length - 4, 4, "w.exe");
  return true;
}

// Why an existing executable's runtime is refused, or none; the version and
// the jvm.dll's machine go into the candidate when known. A runtime of the
// other architecture is neither probed nor loaded.
Refusal vetRuntime(RuntimeCandidate* candidate, uint64_t lastWriteTime, const char* minVersion,
                   const char* maxVersion, bool allowPrerelease) {
  const char* exePath = candidate->exePath.c_str();
  if (modernRuntimeSearch() && isOtherArchitecture(exePath, &candidate->machine)) return Refusal::otherArchitecture;
  char version[kTextBufferSize] = "";
  bool obtained = obtainVersion(exePath, lastWriteTime, version, sizeof version);
  candidate->version = version;
  if (!obtained) return Refusal::noVersion;
  return versionRangeRefusal(version, minVersion, maxVersion, allowPrerelease);
}

}  // namespace

RuntimeCandidate checkJavaExe(const char* exePath, const char* minVersion, const char* maxVersion,
                              bool allowPrerelease) {
  logInfo("checkJavaExe (%s, [out], %s, %s, %d)", exePath, minVersion, maxVersion, allowPrerelease ? 1 : 0);
  char full[kTextBufferSize];
  fullPath(full, sizeof full, exePath, false);
  RuntimeCandidate candidate;
  candidate.exePath = full;

  uint64_t lastWriteTime = 0;
  if (!findFile(full, &lastWriteTime)) {
    logInfo("file doesn't exist");
  } else {
    logInfo("file exists");
    candidate.refusal = vetRuntime(&candidate, lastWriteTime, minVersion, maxVersion, allowPrerelease);
    if (candidate.accepted() && isGuiExecutable()) {
      bool windowed = useWindowedExecutable(&candidate.exePath) && fileExists(candidate.exePath.c_str());
      if (!windowed) candidate.refusal = Refusal::noJavaw;
      recordCandidate(candidate);
      return candidate;
    }
  }
  recordCandidate(candidate);
  logInfo("checkJavaExe returning %d", candidate.accepted() ? 1 : 0);
  return candidate;
}
