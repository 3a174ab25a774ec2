// Locating a Java runtime and loading its JVM library.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "Buffers.h"
#include "RuntimeCandidates.h"
#include "RuntimeLibrary.h"

// How the chosen runtime was found; it picks the message when its library fails.
enum class LocationKind { none = 0, searchPath = 1, directory = 2, environmentVariable = 3, registry = 4 };

struct JvmLocation {
  std::string exePath;       // the chosen java.exe or javaw.exe
  std::string locationText;  // the entry's directory or variable name; empty for the registry
  LocationKind kind = LocationKind::none;
  HMODULE library = nullptr;  // its jvm.dll, when the search loaded it (modern runtime search)
};

// Searches a runtime and loads its jvm.dll: the runtime the launch goes on
// with, or nothing once its own message (1001 to 1005) is shown. With the
// modern runtime search a runtime whose jvm.dll is missing or does not load
// is refused and the search goes on.
std::optional<LoadedRuntime> loadRuntime();

// A java executable's home as its JVM home variables show it: its directory
// followed by "..", not normalised; empty when that does not fit.
std::string javaHomeOf(const char* exePath);

// The first file of this name in the folders that PATH lists, in order; never
// the application's folder or the current directory unless PATH names them.
bool findOnPath(const char* fileName, char* out, size_t capacity);
