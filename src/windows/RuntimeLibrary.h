// A runtime's jvm.dll: where it lies below the java executable, loading it
// with its dependencies from the runtime and the system folder only, and its
// architecture.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// The first jvm.dll that loads for a java executable: below its directory,
// then below the "..\jre\bin\" of a JDK's bin directory. Its dependencies
// come from its own folder and the system folder (with the modern runtime
// search on, also the runtime's bin folder, and the log names a library that
// failed for being of the other architecture).
// On failure *failure (when given) says whether any jvm.dll was there, and the
// last one that was with the loader's error for it.
struct JvmLibraryFailure {
  bool found = false;
  DWORD error = 0;
  std::string path;
};
HMODULE loadJvmLibrary(const char* exePath, JvmLibraryFailure* failure = nullptr);

// The system's text for an error code, line end and final full stop removed,
// a "%1" in it replaced by subject; "error <code>" when the system has none.
std::string systemMessageText(DWORD error, const char* subject);

// JNI_CreateJavaVM of the invocation interface (JavaVM**, JNIEnv**, JavaVMInitArgs*).
using CreateJavaVmFunction = int32_t(WINAPI*)(void**, void**, void*);

// The loaded library's JNI_CreateJavaVM; null when it exports none.
CreateJavaVmFunction createJavaVmOf(HMODULE library);

// A runtime whose jvm.dll is loaded: what the launch needs of it, carried
// from the search to the JVM's creation.
struct LoadedRuntime {
  std::string javaExecutable;  // the chosen java.exe or javaw.exe
  // Its home as the JVM home variables show it: the executable's directory
  // followed by "..", not normalised.
  std::string home;
  CreateJavaVmFunction createJavaVm = nullptr;
};

// The directory of a java executable, with its trailing backslash.
bool runtimeDirectory(char* out, size_t capacity, const char* exePath);

// The runtime's home as messages name it: the executable's directory without
// its trailing backslash and a last "\bin".
bool runtimeHome(char* out, size_t capacity, const char* exePath);

// Whether the runtime of this executable is of another architecture than the
// launcher (*machine: its jvm.dll's machine, 0 when unknown); logs why.
bool isOtherArchitecture(const char* exePath, uint16_t* machine);

// Called as the runtime search starts: from then on libraries the process
// loads by name come from the system folder (and the folders added for the
// runtime) only. (Earlier, before the single-instance hand-over, Wine keeps a
// second start's output pipe open past its end.)
void restrictDllSearch();
