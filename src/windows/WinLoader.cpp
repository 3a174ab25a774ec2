// The runtime search and the loading of jvm.dll.
#include "WinLoader.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Config.h"
#include "ErrorReport.h"
#include "JavaVersion.h"
#include "Log.h"
#include "PackedRuntime.h"
#include "Paths.h"
#include "ProcessEnvironment.h"
#include "RegistryDiscovery.h"
#include "RuntimeArchitecture.h"
#include "RuntimeCandidates.h"

namespace {

constexpr const char* kPreferredLocationFile = "\\.vandrel\\pref_jre.cfg";
constexpr const char* kInstallerLocationFile = "\\.vandrel\\inst_jre.cfg";
// Folders below a runtime's bin directory that may hold jvm.dll, after the
// configured one.
constexpr const char* kJvmFolders[] = {"hotspot", "client", "server", "classic", "jrockit"};

// How many refused runtimes a message lists.
constexpr size_t kTriedRuntimesShown = 5;
// Where jvm.dll's own dependencies may come from: its folder, the system's
// folder and the folders added with AddDllDirectory (the runtime's bin).
constexpr DWORD kRuntimeLibrarySearch =
    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS;

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using AddDllDirectoryFunction = void*(WINAPI*)(const wchar_t*);
using RemoveDllDirectoryFunction = BOOL(WINAPI*)(void*);
using SetDllDirectoryFunction = BOOL(WINAPI*)(const char*);

CreateJavaVmFunction createJavaVm = nullptr;
RunText javaHomeText;

// The version bounds of one search.
struct VersionBounds {
  char minimum[kTextBufferSize];
  char maximum[kTextBufferSize];
};

bool succeed(JvmLocation* location, LocationKind kind, const RuntimeCandidate& runtime, const char* text) {
  location->kind = kind;
  location->exePath = runtime.exePath;
  location->version = runtime.version;
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
  unpackPackedRuntime(home);
  return javaExeFromHome(home, exePath, capacity);
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

// A system function that older systems lack, or null.
FARPROC kernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
}

template <typename Function>
Function kernelFunctionAs(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(kernelFunction(name)));
}

std::vector<wchar_t> widePath(const char* path) {
  int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  std::vector<wchar_t> wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
  return wide;
}

// Loads a jvm.dll by its full path so that its dependencies come from its own
// folder, the runtime's bin folder (binDirectory; null: not added) and the
// system folder, never from the application's folder, the current directory
// or PATH.
HMODULE loadRuntimeLibrary(const char* path, const char* binDirectory) {
  auto addDirectory = kernelFunctionAs<AddDllDirectoryFunction>("AddDllDirectory");
  auto removeDirectory = kernelFunctionAs<RemoveDllDirectoryFunction>("RemoveDllDirectory");
  if (addDirectory != nullptr && removeDirectory != nullptr) {
    void* cookie = binDirectory != nullptr ? addDirectory(widePath(binDirectory).data()) : nullptr;
    HMODULE library = LoadLibraryExW(widePath(path).data(), nullptr, kRuntimeLibrarySearch);
    // The bin folder stays for the libraries the runtime loads later.
    if (library == nullptr && cookie != nullptr) removeDirectory(cookie);
    return library;
  }
  // Older systems: the library's folder instead of the application's, and the
  // bin folder (or nothing) instead of the current directory.
  auto setDirectory = kernelFunctionAs<SetDllDirectoryFunction>("SetDllDirectoryA");
  if (setDirectory != nullptr) setDirectory(binDirectory != nullptr ? binDirectory : "");
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The jvm.dll paths tried for a java executable's directory, in order.
std::vector<std::string> libraryCandidatesIn(const char* exePath) {
  std::vector<std::string> candidates;
  char directory[kTextBufferSize];
  if (!runtimeDirectory(directory, sizeof directory, exePath)) return candidates;
  char preferred[kTextBufferSize];
  configString(key::preferredJvmFolder, preferred, sizeof preferred);

  const char* folders[1 + sizeof kJvmFolders / sizeof kJvmFolders[0]];
  size_t count = 0;
  if (preferred[0] != 0) folders[count++] = preferred;
  for (const char* folder : kJvmFolders) folders[count++] = folder;
  for (size_t i = 0; i < count; ++i) {
    char candidate[kTextBufferSize];
    if (formatText(candidate, sizeof candidate, "%s%s\\jvm.dll", directory, folders[i])) {
      candidates.emplace_back(candidate);
    }
  }
  return candidates;
}

// A JDK's bin\java.exe whose library lives in the JDK's own jre folder.
bool jdkRuntimeExecutable(char* out, size_t capacity, const char* exePath) {
  char directory[kTextBufferSize];
  return runtimeDirectory(directory, sizeof directory, exePath) &&
         formatText(out, capacity, "%s..\\jre\\bin\\java.exe", directory);
}

HMODULE loadFromRuntimeDirectory(const char* exePath) {
  char binDirectory[kTextBufferSize];
  if (!runtimeDirectory(binDirectory, sizeof binDirectory, exePath)) return nullptr;
  bool modern = modernRuntimeSearch();
  for (const std::string& candidate : libraryCandidatesIn(exePath)) {
    bool exists = fileExists(candidate.c_str());
    logInfo("Trying %s (exists %d)", candidate.c_str(), exists ? 1 : 0);
    // A library of the other architecture is never loaded.
    uint16_t machine = exists && modern ? peMachineOfFile(candidate.c_str()) : 0;
    if (machine != 0 && machine != launcherMachine()) {
      logInfo("%s is a %s library; this launcher is %s", candidate.c_str(), machineText(machine),
              machineText(launcherMachine()));
      continue;
    }
    // Loaded whatever the look-up said.
    HMODULE library = loadRuntimeLibrary(candidate.c_str(), modern ? binDirectory : nullptr);
    if (library != nullptr) return library;
  }
  return nullptr;
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
      text += "\r\n    and more (the log lists them all)";
      break;
    }
    if (!text.empty()) text += "\r\n";
    text += "    " + record.exePath;
    if (!record.version.empty()) text += " (" + record.version + ")";
    text += ": ";
    text += refusalText(record.refusal);
    ++shown;
  }
  return text.empty() ? std::string("    none") : text;
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

CreateJavaVmFunction createJavaVmEntry() { return createJavaVm; }

const char* javaHome() { return javaHomeText.text(); }

bool runtimeDirectory(char* out, size_t capacity, const char* exePath) {
  return directoryOf(out, capacity, exePath, false);
}

void setJavaHome(const char* exePath) {
  char* home = javaHomeText.text();
  if (!runtimeDirectory(home, RunText::capacity, exePath) || !appendText(home, RunText::capacity, "..")) {
    home[0] = 0;
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
  trimLineEnd(text);
  return copyText(line, capacity, text);
}

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
  location->version.clear();
  location->locationText.clear();
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

HMODULE loadJvmLibrary(const char* exePath) {
  HMODULE library = loadFromRuntimeDirectory(exePath);
  if (library != nullptr) return library;
  char jdkRuntimeExe[kTextBufferSize];
  if (!jdkRuntimeExecutable(jdkRuntimeExe, sizeof jdkRuntimeExe, exePath)) return nullptr;
  return loadFromRuntimeDirectory(jdkRuntimeExe);
}

uint16_t runtimeMachine(const char* exePath) {
  std::vector<std::string> candidates = libraryCandidatesIn(exePath);
  char jdkRuntimeExe[kTextBufferSize];
  if (jdkRuntimeExecutable(jdkRuntimeExe, sizeof jdkRuntimeExe, exePath)) {
    std::vector<std::string> jdkCandidates = libraryCandidatesIn(jdkRuntimeExe);
    candidates.insert(candidates.end(), jdkCandidates.begin(), jdkCandidates.end());
  }
  for (const std::string& candidate : candidates) {
    if (fileExists(candidate.c_str())) return peMachineOfFile(candidate.c_str());
  }
  return 0;
}

bool isOtherArchitecture(const char* exePath, uint16_t* machine) {
  *machine = runtimeMachine(exePath);
  if (*machine == 0 || *machine == launcherMachine()) return false;
  char home[kTextBufferSize];
  if (!runtimeHome(home, sizeof home, exePath)) copyText(home, sizeof home, exePath);
  logInfo("%s is a %s runtime; this launcher is %s", home, machineText(*machine), machineText(launcherMachine()));
  return true;
}

bool runtimeHome(char* out, size_t capacity, const char* exePath) {
  if (!runtimeDirectory(out, capacity, exePath)) return false;
  size_t length = strlen(out);
  if (length > 0) out[--length] = 0;  // the trailing backslash
  if (length > 4 && _stricmp(out + length - 4, "\\bin") == 0) out[length - 4] = 0;
  return true;
}

void restrictDllSearch() {
  auto setDefault = kernelFunctionAs<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS)) return;
  // Older systems: at least the current directory leaves the search.
  auto setDirectory = kernelFunctionAs<SetDllDirectoryFunction>("SetDllDirectoryA");
  if (setDirectory != nullptr) setDirectory("");
}

bool LoadDLL() {
  // The historical first line prints a null text argument as "(null)".
  logInfo("LoadDLL (%d, %s, %d)", 1, "(null)", 0);
  restrictDllSearch();
  JvmLocation location;
  if (!searchJvm(&location)) {
    logError("No JVM found");
    reportNoRuntime();
    return false;
  }
  logInfo("Trying to load JVM-DLL from %s", location.exePath.c_str());
  HMODULE library = loadJvmLibrary(location.exePath.c_str());
  setJavaHome(location.exePath.c_str());
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
