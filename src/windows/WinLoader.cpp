// The runtime search and the loading of jvm.dll.
#include "WinLoader.h"

#include <cstdio>
#include <cstring>

#include "Config.h"
#include "ErrorReport.h"
#include "JavaVersion.h"
#include "Log.h"
#include "PackedRuntime.h"
#include "Paths.h"
#include "ProcessEnvironment.h"
#include "RegistryDiscovery.h"

namespace {

constexpr const char* kPreferredLocationFile = "\\.vandrel\\pref_jre.cfg";
constexpr const char* kInstallerLocationFile = "\\.vandrel\\inst_jre.cfg";
// Folders below a runtime's bin directory that may hold jvm.dll, after the
// configured one.
constexpr const char* kJvmFolders[] = {"hotspot", "client", "server", "classic", "jrockit"};

CreateJavaVmFunction createJavaVm = nullptr;
char javaHomeText[kTextBufferSize] = "";

// The version bounds of one search.
struct VersionBounds {
  char minimum[kTextBufferSize];
  char maximum[kTextBufferSize];
};

bool succeed(JvmLocation* location, LocationKind kind, const char* text) {
  location->kind = kind;
  copyText(location->locationText, sizeof location->locationText, text);
  return true;
}

// The test of one main-pass entry; kind none for a letter that names no test.
LocationKind testEntry(char letter, const char* text, const VersionBounds& bounds, char* exePath,
                       size_t capacity) {
  switch (letter) {
    case 'A':
    case 'B':
    case 'R':
      return testDirectory(text, false, bounds.minimum, bounds.maximum, exePath, capacity) ? LocationKind::directory
                                                                                          : LocationKind::none;
    case 'E':
      return testEnvironmentVariable(text, bounds.minimum, bounds.maximum, exePath, capacity)
                 ? LocationKind::environmentVariable
                 : LocationKind::none;
    case 'S':
      return testSearchPath(bounds.minimum, bounds.maximum, exePath, capacity) ? LocationKind::searchPath
                                                                               : LocationKind::none;
    case 'Y':
      return testRegistry(bounds.minimum, bounds.maximum, exePath, capacity) ? LocationKind::registry
                                                                             : LocationKind::none;
    default:
      return LocationKind::none;
  }
}

// Calls visit(letter, text) for each non-empty ";"-separated entry of the
// sequence until it returns true; whether one did.
template <typename Visit>
bool forEachEntry(const char* sequence, Visit visit) {
  const char* entry = sequence;
  while (*entry != 0) {
    const char* end = strchr(entry, ';');
    size_t length = end != nullptr ? static_cast<size_t>(end - entry) : strlen(entry);
    if (length > 0) {
      char text[kTextBufferSize];
      size_t textLength = length - 1 < sizeof text - 1 ? length - 1 : sizeof text - 1;
      memcpy(text, entry + 1, textLength);
      text[textLength] = 0;
      if (visit(entry[0], text)) return true;
    }
    entry += length;
    if (*entry == ';') ++entry;
  }
  return false;
}

bool mainPass(const char* sequence, const VersionBounds& bounds, JvmLocation* location) {
  return forEachEntry(sequence, [&](char letter, const char* text) {
    logInfo("Testing location %s (type %c)", text, letter);
    LocationKind kind = testEntry(letter, text, bounds, location->exePath, sizeof location->exePath);
    return kind != LocationKind::none && succeed(location, kind, letter == 'Y' ? "" : text);
  });
}

// Directory entries again, taking any runtime whose executable is there.
bool relativePass(const char* sequence, const VersionBounds& bounds, JvmLocation* location) {
  return forEachEntry(sequence, [&](char letter, const char* text) {
    if (letter != 'A' && letter != 'B' && letter != 'R') return false;
    if (letter != 'B' && isAbsoluteEntryText(text)) return false;
    logInfo("Testing relative location %s", text);
    testDirectory(text, true, bounds.minimum, bounds.maximum, location->exePath, sizeof location->exePath);
    if (!fileExists(location->exePath)) return false;
    logInfo("%s exists", location->exePath);
    return succeed(location, LocationKind::directory, text);
  });
}

// A location file's runtime: "Has ... location", then "Using ... location" when it passes.
bool testLocationFile(const char* fileName, const char* name, const VersionBounds& bounds, JvmLocation* location) {
  char line[kTextBufferSize];
  if (!readLocationFile(fileName, line, sizeof line)) return false;
  logInfo("Has %s location %s", name, line);
  if (!testDirectory(line, false, bounds.minimum, bounds.maximum, location->exePath, sizeof location->exePath)) {
    return false;
  }
  logInfo("Using %s location", name);
  return succeed(location, LocationKind::directory, line);
}

HMODULE loadFromRuntimeDirectory(const char* exePath) {
  char directory[kTextBufferSize];
  if (!runtimeDirectory(directory, sizeof directory, exePath)) return nullptr;
  char preferred[kTextBufferSize];
  configString(key::preferredJvmFolder, preferred, sizeof preferred);

  const char* folders[1 + sizeof kJvmFolders / sizeof kJvmFolders[0]];
  size_t count = 0;
  if (preferred[0] != 0) folders[count++] = preferred;
  for (const char* folder : kJvmFolders) folders[count++] = folder;

  for (size_t i = 0; i < count; ++i) {
    char candidate[kTextBufferSize];
    if (!formatText(candidate, sizeof candidate, "%s%s\\jvm.dll", directory, folders[i])) continue;
    logInfo("Trying %s (exists %d)", candidate, fileExists(candidate) ? 1 : 0);
    // Loaded whatever the look-up said.
    HMODULE library = LoadLibraryA(candidate);
    if (library != nullptr) return library;
  }
  return nullptr;
}

// The message for a runtime whose library failed, by how it was found.
void reportBrokenRuntime(const JvmLocation& location) {
  switch (location.kind) {
    case LocationKind::searchPath:
      showErrorKey(key::msgJvmOnPathDamaged);
      break;
    case LocationKind::environmentVariable:
      showErrorKey(key::msgEnvVarJvmBroken, kEnvVarNamePlaceholder, location.locationText);
      break;
    case LocationKind::directory:
      showErrorKey(key::msgDefinedJvmDamaged, kDefinedPathPlaceholder, location.locationText);
      break;
    case LocationKind::registry:
    case LocationKind::none:
      showErrorKey(key::msgJvmNotStarted);
      break;
  }
}

}  // namespace

CreateJavaVmFunction createJavaVmEntry() { return createJavaVm; }

const char* javaHome() { return javaHomeText; }

bool runtimeDirectory(char* out, size_t capacity, const char* exePath) {
  const char* lastSeparator = strrchr(exePath, '\\');
  if (lastSeparator == nullptr) return false;
  size_t length = static_cast<size_t>(lastSeparator - exePath) + 1;
  if (length >= capacity) return false;
  memcpy(out, exePath, length);
  out[length] = 0;
  return true;
}

void setJavaHome(const char* exePath) {
  if (!runtimeDirectory(javaHomeText, sizeof javaHomeText, exePath) ||
      !appendText(javaHomeText, sizeof javaHomeText, "..")) {
    javaHomeText[0] = 0;
  }
}

bool isAbsoluteEntryText(const char* text) {
  return strlen(text) >= 2 && (text[1] == ':' || (text[0] == '\\' && text[1] == '\\'));
}

bool readLocationFile(const char* fileName, char* line, size_t capacity) {
  char path[kTextBufferSize];
  if (!installationFilePath(path, sizeof path, fileName)) return false;

  FILE* file = fopen(path, "r");
  if (file == nullptr) return false;
  char text[kTextBufferSize];
  bool read = fgets(text, sizeof text, file) != nullptr;
  // A first line longer than the buffer would name another directory.
  bool whole = read && (strchr(text, '\n') != nullptr || feof(file));
  fclose(file);
  if (!whole) return false;
  size_t length = strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) text[--length] = 0;
  return copyText(line, capacity, text);
}

bool testDirectory(const char* directory, bool acceptWithoutChecking, const char* minVersion,
                   const char* maxVersion, char* exePath, size_t capacity) {
  exePath[0] = 0;
  char home[kTextBufferSize];
  fullPath(home, sizeof home, directory, false);
  unpackPackedRuntime(home);
  bool named = javaExeFromHome(home, exePath, capacity);
  if (acceptWithoutChecking) return true;
  return named && checkJavaExe(exePath, capacity, nullptr, 0, minVersion, maxVersion, true);
}

bool testEnvironmentVariable(const char* name, const char* minVersion, const char* maxVersion, char* exePath,
                             size_t capacity) {
  char home[kTextBufferSize];
  DWORD length = GetEnvironmentVariableA(name, home, sizeof home);
  if (length == 0 || length >= sizeof home) return false;
  for (char* p = home; *p != 0; ++p) {
    if (*p == '/') *p = '\\';
  }
  return javaExeFromHome(home, exePath, capacity) &&
         checkJavaExe(exePath, capacity, nullptr, 0, minVersion, maxVersion, false);
}

bool testSearchPath(const char* minVersion, const char* maxVersion, char* exePath, size_t capacity) {
  DWORD length = SearchPathA(nullptr, "java.exe", nullptr, static_cast<DWORD>(capacity), exePath, nullptr);
  if (length == 0 || length >= capacity) return false;
  return checkJavaExe(exePath, capacity, nullptr, 0, minVersion, maxVersion, false);
}

bool searchJvm(JvmLocation* location) {
  location->kind = LocationKind::none;
  location->exePath[0] = 0;
  location->locationText[0] = 0;
  logInfo("Searching for a JVM");
  char sequence[kTextBufferSize];
  configString(key::jvmSearchSequence, sequence, sizeof sequence);
  VersionBounds bounds;
  configString(key::minJavaVersion, bounds.minimum, sizeof bounds.minimum);
  configString(key::maxJavaVersion, bounds.maximum, sizeof bounds.maximum);

  if (testLocationFile(kPreferredLocationFile, "preferred", bounds, location)) return true;
  if (mainPass(sequence, bounds, location)) return true;
  logInfo("Search sequence finished");

  const char* homeVariable =
      isWrapperFlavour() ? "TOVEX_JAVA_HOME" : (isInstallerFlavour() ? "VANDREL_JAVA_HOME" : nullptr);
  if (homeVariable != nullptr &&
      testEnvironmentVariable(homeVariable, bounds.minimum, bounds.maximum, location->exePath,
                              sizeof location->exePath)) {
    return succeed(location, LocationKind::environmentVariable, homeVariable);
  }
  if (testLocationFile(kInstallerLocationFile, "installer", bounds, location)) return true;
  if (relativePass(sequence, bounds, location)) return true;
  location->kind = LocationKind::none;
  return false;
}

HMODULE loadJvmLibrary(const char* exePath) {
  HMODULE library = loadFromRuntimeDirectory(exePath);
  if (library != nullptr) return library;
  // A JDK's bin\java.exe whose library lives in the JDK's own jre folder.
  char directory[kTextBufferSize];
  char jdkRuntimeExe[kTextBufferSize];
  if (!runtimeDirectory(directory, sizeof directory, exePath) ||
      !formatText(jdkRuntimeExe, sizeof jdkRuntimeExe, "%s..\\jre\\bin\\java.exe", directory)) {
    return nullptr;
  }
  return loadFromRuntimeDirectory(jdkRuntimeExe);
}

bool LoadDLL() {
  // The historical first line prints a null text argument as "(null)".
  logInfo("LoadDLL (%d, %s, %d)", 1, "(null)", 0);
  JvmLocation location;
  if (!searchJvm(&location)) {
    logError("No JVM found");
    showNoRuntimeError(key::msgNoJvm, nullptr, 0);
    return false;
  }
  logInfo("Trying to load JVM-DLL from %s", location.exePath);
  HMODULE library = loadJvmLibrary(location.exePath);
  setJavaHome(location.exePath);
  if (library == nullptr) logError("Could not get DLL-Handle.");
  FARPROC entry = library != nullptr ? GetProcAddress(library, "JNI_CreateJavaVM") : nullptr;
  if (entry == nullptr) {
    logError("Could not load functions");
    reportBrokenRuntime(location);
    return false;
  }
  createJavaVm = reinterpret_cast<CreateJavaVmFunction>(reinterpret_cast<void*>(entry));
  logInfo("Loading of JVM-DLL successful");
  return true;
}
