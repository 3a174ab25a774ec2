// The runtime search, the loading of its jvm.dll (RuntimeLibrary) and the
// messages when none fits.
#include "WinLoader.h"
#include "WinLoaderInternal.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Config.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "JavaVersion.h"
#include "Log.h"
#include "PackedRuntime.h"
#include "Paths.h"
#include "ProcessEnvironment.h"
#include "RegistryDiscovery.h"
#include "RuntimeArchitecture.h"
#include "RuntimeCandidates.h"
#include "RuntimeLibrary.h"
#include "UniqueHandle.h"

namespace {

// The candidate tests of the sequence's entries: the runtime that passed
// checkJavaExe, or a candidate that is not accepted. A directory's runtime
// may be a pre-release one.
RuntimeCandidate testDirectory(const char* directory, const char* minVersion, const char* maxVersion);
RuntimeCandidate testEnvironmentVariable(const char* name, const char* minVersion, const char* maxVersion);

constexpr const char* kPreferredLocationFile = "\\.vandrel\\pref_jre.cfg";
constexpr const char* kInstallerLocationFile = "\\.vandrel\\inst_jre.cfg";

// How many refused runtimes a message lists.
constexpr size_t kTriedRuntimesShown = 5;

// The version bounds of one search.
struct VersionBounds {
  char minimum[kTextBufferSize];
  char maximum[kTextBufferSize];
};

// With the modern runtime search a runtime counts only once its jvm.dll is
// loaded: one whose library is missing or fails is recorded with the reason,
// and the search goes on.
bool loadsItsLibrary(const RuntimeCandidate& runtime, HMODULE* library) {
  *library = nullptr;
  if (!modernRuntimeSearch()) return true;
  logInfo("Trying to load JVM-DLL from %s", runtime.exePath.c_str());
  JvmLibraryFailure failure;
  UniqueLibrary loaded(loadJvmLibrary(runtime.exePath.c_str(), &failure));
  if (loaded && createJavaVmOf(loaded.get()) != nullptr) {
    // Stays loaded for the process's life: the JVM runs from it.
    *library = loaded.release();
    return true;
  }
  RuntimeCandidate refused = runtime;
  refused.refusal = failure.found || loaded ? Refusal::jvmNotLoaded : Refusal::jvmMissing;
  if (loaded) {
    refused.detail = kNoCreateJavaVmDetail;
  } else if (failure.found) {
    refused.detail = systemMessageText(failure.error, failure.path.c_str());
  }
  recordCandidate(refused);
  return false;
}

bool succeed(JvmLocation* location, LocationKind kind, const RuntimeCandidate& runtime, const char* text) {
  HMODULE library = nullptr;
  if (!loadsItsLibrary(runtime, &library)) return false;
  location->library = library;
  location->kind = kind;
  location->exePath = runtime.exePath;
  location->locationText = text;
  return true;
}

// The runtime one main-pass entry names, accepted or not, and how it was
// found (none for a letter that names no test).
RuntimeCandidate testEntry(char letter, const char* text, const VersionBounds& bounds, LocationKind* kind) {
  switch (letter) {
    case 'A':
    case 'B':
    case 'R':
      *kind = LocationKind::directory;
      return testDirectory(text, bounds.minimum, bounds.maximum);
    case 'E':
      *kind = LocationKind::environmentVariable;
      return testEnvironmentVariable(text, bounds.minimum, bounds.maximum);
    case 'S':
      *kind = LocationKind::searchPath;
      return testSearchPath(bounds.minimum, bounds.maximum);
    case 'Y':
      *kind = LocationKind::registry;
      return testRegistry(bounds.minimum, bounds.maximum);
    default:
      *kind = LocationKind::none;
      return RuntimeCandidate();
  }
}

// The java executable a directory entry names, with the home's packed
// runtime unpacked; whether the home counts (javaExeFromHome).
bool javaExeOfDirectory(const char* directory, char* exePath, size_t capacity) {
  exePath[0] = 0;
  char home[kTextBufferSize];
  fullPath(home, sizeof home, directory, false);
  // A runtime whose jars could not be restored cannot run.
  return unpackPackedRuntime(home) && javaExeFromHome(home, exePath, capacity);
}

// Calls visit(letter, text) for each non-empty ";"-separated entry of the
// sequence until it returns true; whether one did.
template <typename Visit>
bool forEachEntry(const char* sequence, Visit visit) {
  return forEachListEntry(sequence, [&](std::string_view entry) {
    char text[kTextBufferSize];
    copyText(text, sizeof text, entry.substr(1));
    return visit(entry[0], static_cast<const char*>(text));
  });
}

bool mainPass(const char* sequence, const VersionBounds& bounds, JvmLocation* location) {
  return forEachEntry(sequence, [&](char letter, const char* text) {
    logInfo("Testing location %s (type %c)", text, letter);
    LocationKind kind = LocationKind::none;
    RuntimeCandidate found = testEntry(letter, text, bounds, &kind);
    return found.accepted() && succeed(location, kind, found, letter == 'Y' ? "" : text);
  });
}

// Directory entries again, taking any runtime whose executable is there.
bool relativePass(const char* sequence, JvmLocation* location) {
  return forEachEntry(sequence, [&](char letter, const char* text) {
    if (letter != 'A' && letter != 'B' && letter != 'R') return false;
    if (letter != 'B' && isAbsoluteEntryText(text)) return false;
    logInfo("Testing relative location %s", text);
    // Any executable there will do, whether or not its home counts.
    char exePath[kTextBufferSize];
    javaExeOfDirectory(text, exePath, sizeof exePath);
    if (!fileExists(exePath)) return false;
    RuntimeCandidate candidate;
    candidate.exePath = exePath;
    if (modernRuntimeSearch() && isOtherArchitecture(exePath, &candidate.machine)) {
      candidate.refusal = Refusal::otherArchitecture;
      recordCandidate(candidate);
      return false;
    }
    logInfo("%s exists", exePath);
    return succeed(location, LocationKind::directory, candidate, text);
  });
}

// A location file's runtime: "Has ... location", then "Using ... location" when it passes.
bool testLocationFile(const char* fileName, const char* name, const VersionBounds& bounds, JvmLocation* location) {
  char line[kTextBufferSize];
  if (!readLocationFile(fileName, line, sizeof line)) return false;
  logInfo("Has %s location %s", name, line);
  RuntimeCandidate found = testDirectory(line, bounds.minimum, bounds.maximum);
  if (!found.accepted()) return false;
  logInfo("Using %s location", name);
  return succeed(location, LocationKind::directory, found, line);
}

// The runtimes the search looked at, for a message: one indented line each,
// the first few only (the log has them all).
std::string triedRuntimesText() {
  const std::vector<RuntimeCandidate>& records = candidateRecords();
  std::string text;
  size_t shown = 0;
  for (const RuntimeCandidate& record : records) {
    if (record.refusal == Refusal::none) continue;
    if (shown == kTriedRuntimesShown) {
      text += kMoreRuntimesTried;
      break;
    }
    if (!text.empty()) text += "\r\n";
    text += "    " + record.exePath;
    if (!record.version.empty()) text += " (" + record.version + ")";
    text += ": ";
    text += refusalDescription(record);
    ++shown;
  }
  return text.empty() ? std::string(kNoRuntimesTried) : text;
}

// Message 3003 when a runtime was refused for its architecture, else 1001;
// either may name the architectures, the refused runtime and every runtime
// looked at.
void reportNoRuntime() {
  const RuntimeCandidate* refused = modernRuntimeSearch() ? firstArchitectureRefusal() : nullptr;
  char wrongArchitecture[kTextBufferSize];
  configString(key::msgWrongArchitecture, wrongArchitecture, sizeof wrongArchitecture);
  int key = refused != nullptr && wrongArchitecture[0] != 0 ? key::msgWrongArchitecture : key::msgNoJvm;
  char home[kTextBufferSize] = "";
  if (refused != nullptr) {
    if (!runtimeHome(home, sizeof home, refused->exePath.c_str())) copyText(home, sizeof home, refused->exePath.c_str());
    // The folder as the user knows it, not its short form.
    char longHome[kTextBufferSize];
    DWORD length = toLongPath(home, longHome, sizeof longHome);
    if (length > 0 && length < sizeof longHome) copyText(home, sizeof home, longHome);
  }
  std::string tried = triedRuntimesText();
  const Filling fillings[] = {
      {kRequiredArchPlaceholder, machineText(launcherMachine())},
      {kFoundArchPlaceholder, refused != nullptr ? machineText(refused->machine) : ""},
      {kRuntimePathPlaceholder, home},
      {kRuntimesTriedPlaceholder, tried.c_str()},
  };
  showNoRuntimeError(key, fillings, sizeof fillings / sizeof fillings[0]);
}

// The message for a runtime whose library failed, by how it was found.
void reportBrokenRuntime(const JvmLocation& location) {
  switch (location.kind) {
    case LocationKind::searchPath:
      showErrorKey(key::msgJvmOnPathDamaged);
      break;
    case LocationKind::environmentVariable:
      showErrorKey(key::msgEnvVarJvmBroken, kEnvVarNamePlaceholder, location.locationText.c_str());
      break;
    case LocationKind::directory:
      showErrorKey(key::msgDefinedJvmDamaged, kDefinedPathPlaceholder, location.locationText.c_str());
      break;
    case LocationKind::registry:
    case LocationKind::none:
      showErrorKey(key::msgJvmNotStarted);
      break;
  }
}

}  // namespace

std::string javaHomeOf(const char* exePath) {
  char home[kTextBufferSize];
  if (!runtimeDirectory(home, sizeof home, exePath) || !appendText(home, sizeof home, "..")) return std::string();
  return home;
}

bool isAbsoluteEntryText(const char* text) {
  return strlen(text) >= 2 && (text[1] == ':' || (text[0] == '\\' && text[1] == '\\'));
}

bool readLocationFile(const char* fileName, char* line, size_t capacity) {
  char path[kTextBufferSize];
  if (!installationFilePath(path, sizeof path, fileName)) return false;

  UniqueFile file(fopen(path, "r"));
  if (!file) return false;
  char text[kTextBufferSize];
  bool read = fgets(text, sizeof text, file.get()) != nullptr;
  // A first line longer than the buffer would name another directory.
  bool whole = read && (strchr(text, '\n') != nullptr || feof(file.get()));
  if (!whole) return false;
  trimLineEnd(text);
  return copyText(line, capacity, text);
}

namespace {

RuntimeCandidate testDirectory(const char* directory, const char* minVersion, const char* maxVersion) {
  char exePath[kTextBufferSize];
  if (!javaExeOfDirectory(directory, exePath, sizeof exePath)) return RuntimeCandidate();
  return checkJavaExe(exePath, minVersion, maxVersion, true);
}

RuntimeCandidate testEnvironmentVariable(const char* name, const char* minVersion, const char* maxVersion) {
  char home[kTextBufferSize];
  DWORD length = GetEnvironmentVariableA(name, home, sizeof home);
  if (length == 0 || length >= sizeof home) return RuntimeCandidate();
  for (char* p = home; *p != 0; ++p) {
    if (*p == '/') *p = '\\';
  }
  char exePath[kTextBufferSize];
  if (!javaExeFromHome(home, exePath, sizeof exePath)) return RuntimeCandidate();
  return checkJavaExe(exePath, minVersion, maxVersion, false);
}

}  // namespace

bool findOnPath(const char* fileName, char* out, size_t capacity) {
  DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (size == 0) return false;
  std::vector<char> path(size);
  DWORD length = GetEnvironmentVariableA("PATH", path.data(), size);
  if (length == 0 || length >= size) return false;
  bool copied = false;
  forEachListEntry(std::string_view(path.data(), length), [&](std::string_view folder) {
    // A quoted folder ("C:\Program Files\x") stands for the folder.
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') folder = folder.substr(1, folder.size() - 2);
    char directory[kTextBufferSize];
    // A relative folder would depend on the current directory.
    if (folder.empty() || !copyText(directory, sizeof directory, folder) || isRelativePath(directory)) return false;
    const char* separator = folder.back() == '\\' ? "" : "\\";
    char candidate[kTextBufferSize];
    if (!formatText(candidate, sizeof candidate, "%s%s%s", directory, separator, fileName) || !fileExists(candidate)) {
      return false;
    }
    copied = copyText(out, capacity, candidate);
    return true;
  });
  return copied;
}

RuntimeCandidate testSearchPath(const char* minVersion, const char* maxVersion) {
  char exePath[kTextBufferSize];
  if (!findOnPath("java.exe", exePath, sizeof exePath)) return RuntimeCandidate();
  return checkJavaExe(exePath, minVersion, maxVersion, false);
}

bool searchJvm(JvmLocation* location) {
  location->kind = LocationKind::none;
  location->exePath.clear();
  location->locationText.clear();
  location->library = nullptr;
  logInfo("Searching for a JVM");
  clearCandidateRecords();
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
  if (homeVariable != nullptr) {
    RuntimeCandidate found = testEnvironmentVariable(homeVariable, bounds.minimum, bounds.maximum);
    if (found.accepted()) return succeed(location, LocationKind::environmentVariable, found, homeVariable);
  }
  if (testLocationFile(kInstallerLocationFile, "installer", bounds, location)) return true;
  if (relativePass(sequence, location)) return true;
  location->kind = LocationKind::none;
  return false;
}

std::optional<LoadedRuntime> loadRuntime() {
  // The historical first line prints a null text argument as "(null)".
  logInfo("LoadDLL (%d, %s, %d)", 1, "(null)", 0);
  restrictDllSearch();
  JvmLocation location;
  if (!searchJvm(&location)) {
    logError("No JVM found");
    reportNoRuntime();
    return std::nullopt;
  }
  // The modern runtime search has loaded it already.
  HMODULE library = location.library;
  if (library == nullptr) {
    logInfo("Trying to load JVM-DLL from %s", location.exePath.c_str());
    library = loadJvmLibrary(location.exePath.c_str());
  }
  if (library == nullptr) logError("Could not get DLL-Handle.");
  LoadedRuntime runtime{location.exePath, javaHomeOf(location.exePath.c_str()),
                        library != nullptr ? createJavaVmOf(library) : nullptr};
  if (runtime.createJavaVm == nullptr) {
    logError("Could not load functions");
    reportBrokenRuntime(location);
    return std::nullopt;
  }
  logInfo("Loading of JVM-DLL successful");
  return runtime;
}
