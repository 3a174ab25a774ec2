// A runtime the search looks at, as a value passed between the search
// (WinLoader), the version check (JavaVersion) and the registry reader
// (RegistryDiscovery); and the runtimes one search looked at and why each was
// refused, in the order they were looked at; an error message may list them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class Refusal {
  none,               // accepted
  missing,            // no java executable there
  noVersion,          // neither the release file, the cache nor a probe gave one
  prerelease,         // a pre-release where none is allowed
  tooOld,             // below the minimum version
  tooNew,             // above the maximum version
  otherArchitecture,  // its jvm.dll is of the other architecture than this launcher
  noJavaw,            // a GUI application and no javaw.exe beside java.exe
  jvmMissing,         // no jvm.dll where the runtime's executable says it lies
  jvmNotLoaded,       // a jvm.dll that the system did not load (detail: the loader's message)
};

struct RuntimeCandidate {
  std::string exePath;  // the java executable
  std::string version;  // empty when none was obtained
  Refusal refusal = Refusal::missing;
  uint16_t machine = 0;  // the jvm.dll's PE machine when known, else 0
  std::string detail;    // what the refusal's few words leave out, such as the loader's message

  bool accepted() const { return refusal == Refusal::none; }
};

// Adds a record; with the modern runtime search on, a refusal is logged too.
void recordCandidate(const RuntimeCandidate& candidate);
const std::vector<RuntimeCandidate>& candidateRecords();
void clearCandidateRecords();

// The first record refused for its architecture, or null.
const RuntimeCandidate* firstArchitectureRefusal();

// A few words for the log: "too old", "other architecture", ...
const char* refusalText(Refusal refusal);

// The refusal's words and its detail, if any: "jvm.dll failed to load: <message>".
std::string refusalDescription(const RuntimeCandidate& candidate);
