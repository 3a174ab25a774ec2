// Loading a runtime's jvm.dll: where it may lie below the java executable,
// which folders its own dependencies may come from, and its architecture.
#include "RuntimeLibrary.h"

#include <cstring>
#include <string>
#include <vector>

#include "Buffers.h"
#include "CommandLine.h"
#include "Config.h"
#include "ErrorCodes.h"
#include "Log.h"
#include "Paths.h"
#include "RuntimeArchitecture.h"
#include "SystemFunctions.h"

namespace {

// Folders below a runtime's bin directory that may hold jvm.dll, after the
// configured one.
constexpr const char* kJvmFolders[] = {"hotspot", "client", "server", "classic", "jrockit"};
// Where jvm.dll's own dependencies may come from: its folder, the system's
// folder and the folders added with AddDllDirectory (the runtime's bin).
constexpr DWORD kRuntimeLibrarySearch =
    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS;

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using AddDllDirectoryFunction = void*(WINAPI*)(const wchar_t*);
using RemoveDllDirectoryFunction = BOOL(WINAPI*)(void*);
using SetDllDirectoryFunction = BOOL(WINAPI*)(const char*);

// Loads a jvm.dll by its full path so that its dependencies come from its own
// folder, the runtime's bin folder (binDirectory; null: not added) and the
// system folder, never from the application's folder, the current directory
// or PATH.
HMODULE loadRuntimeLibrary(const char* path, const char* binDirectory) {
  auto addDirectory = kernelFunction<AddDllDirectoryFunction>("AddDllDirectory");
  auto removeDirectory = kernelFunction<RemoveDllDirectoryFunction>("RemoveDllDirectory");
  if (addDirectory != nullptr && removeDirectory != nullptr) {
    void* cookie = binDirectory != nullptr ? addDirectory(wideFromNarrow(binDirectory, CP_ACP).c_str()) : nullptr;
    HMODULE library = LoadLibraryExW(wideFromNarrow(path, CP_ACP).c_str(), nullptr, kRuntimeLibrarySearch);
    // The bin folder stays for the libraries the runtime loads later; the
    // loader's error outlives its removal.
    if (library == nullptr && cookie != nullptr) {
      DWORD error = GetLastError();
      removeDirectory(cookie);
      SetLastError(error);
    }
    return library;
  }
  // Older systems: the library's folder instead of the application's, and the
  // bin folder (or nothing) instead of the current directory.
  auto setDirectory = kernelFunction<SetDllDirectoryFunction>("SetDllDirectoryA");
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

HMODULE loadFromRuntimeDirectory(const char* exePath, JvmLibraryFailure* failure) {
  char binDirectory[kTextBufferSize];
  if (!runtimeDirectory(binDirectory, sizeof binDirectory, exePath)) return nullptr;
  bool modern = modernRuntimeSearch();
  for (const std::string& candidate : libraryCandidatesIn(exePath)) {
    bool exists = fileExists(candidate.c_str());
    logInfo("Trying %s (exists %d)", candidate.c_str(), exists ? 1 : 0);
    // Loaded whatever the look-up said. The system loads no library of the
    // other architecture; only a failure asks which it was, for the log.
    HMODULE library = loadRuntimeLibrary(candidate.c_str(), modern ? binDirectory : nullptr);
    if (library != nullptr) return library;
    if (exists) {
      failure->found = true;
      failure->error = GetLastError();
      if (modern) {
        logInfo("%s failed to load: %s", candidate.c_str(),
                systemMessageText(failure->error, candidate.c_str()).c_str());
      }
      failure->path = candidate;
    }
    uint16_t machine = exists && modern ? peMachineOfFile(candidate.c_str()) : 0;
    if (machine != 0 && machine != launcherMachine()) {
      logInfo("%s is a %s library; this launcher is %s", candidate.c_str(), machineText(machine),
              machineText(launcherMachine()));
    }
  }
  return nullptr;
}

}  // namespace

bool runtimeDirectory(char* out, size_t capacity, const char* exePath) {
  return directoryOf(out, capacity, exePath, false);
}

HMODULE loadJvmLibrary(const char* exePath, JvmLibraryFailure* failure) {
  JvmLibraryFailure unused;
  if (failure == nullptr) failure = &unused;
  *failure = JvmLibraryFailure();
  HMODULE library = loadFromRuntimeDirectory(exePath, failure);
  if (library != nullptr) return library;
  char jdkRuntimeExe[kTextBufferSize];
  if (!jdkRuntimeExecutable(jdkRuntimeExe, sizeof jdkRuntimeExe, exePath)) return nullptr;
  return loadFromRuntimeDirectory(jdkRuntimeExe, failure);
}

std::string systemMessageText(DWORD error, const char* subject) {
  char text[kTextBufferSize];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
  if (length == 0 || length >= sizeof text) {
    char code[32];
    formatText(code, sizeof code, kSystemErrorCodeFormat, static_cast<unsigned long>(error));
    return code;
  }
  // The system's text ends with a full stop and a line end; the refusal puts it after a colon.
  while (length > 0 &&
         (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ' || text[length - 1] == '.')) {
    --length;
  }
  std::string message(text, length);
  // Some texts name the file as "%1" ("%1 is not a valid Win32 application").
  size_t insert = message.find("%1");
  if (insert != std::string::npos) message.replace(insert, 2, subject);
  return message;
}

namespace {

// The PE machine of the first jvm.dll that loadJvmLibrary would try and that
// exists; 0 when there is none or it is no PE file.
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

}  // namespace

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
  auto setDefault = kernelFunction<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS)) return;
  // Older systems: at least the current directory leaves the search.
  auto setDirectory = kernelFunction<SetDllDirectoryFunction>("SetDllDirectoryA");
  if (setDirectory != nullptr) setDirectory("");
}

CreateJavaVmFunction createJavaVmOf(HMODULE library) {
  FARPROC entry = GetProcAddress(library, "JNI_CreateJavaVM");
  return reinterpret_cast<CreateJavaVmFunction>(reinterpret_cast<void*>(entry));
}
