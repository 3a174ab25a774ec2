// Installed runtimes named by the registry: the JavaSoft keys that Java
// installers write under HKLM, and the located-runtime lists under HKCU and
// HKLM ("...\morrowfield\tovex\locatedjvms\", one subkey per java executable,
// its backslashes written as "/"). Read only.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "RuntimeCandidates.h"

// Each search below answers with a runtime that passed checkJavaExe, or with
// a candidate that is not accepted when none did.

// The Y entry of the search sequence: the better of the JavaSoft runtime and
// the located runtime, by version (the located one on a tie). With the modern
// runtime search on, the runtime of the Java 9+ and vendor keys
// (scanModernRegistry) wins when its version is greater by number.
RuntimeCandidate testRegistry(const char* minVersion, const char* maxVersion);

// A runtime home that a Java 9+ or vendor key names, and the version its key name gives.
struct RegisteredHome {
  std::string version;
  std::string home;
};

// The first of those homes whose runtime passes checkJavaExe (pre-release
// runtimes refused).
RuntimeCandidate scanModernRegistry(const char* minVersion, const char* maxVersion);

// The key paths, below softwareKeyBase().
constexpr const char* kJdkKey = "JavaSoft\\Java Development Kit";
constexpr const char* kJreKey = "JavaSoft\\Java Runtime Environment";
// Java 9 and later: <key>\<version> with "JavaHome".
constexpr const char* kModernJavaSoftKeys[] = {"JavaSoft\\JDK", "JavaSoft\\JRE"};
// Vendor installers: <key>\<version>\hotspot\MSI with "Path", the installation folder.
constexpr const char* kVendorKeys[] = {"Eclipse Adoptium\\JDK", "Eclipse Adoptium\\JRE", "AdoptOpenJDK\\JDK",
                                       "AdoptOpenJDK\\JRE",      "Microsoft\\JDK",        "Microsoft\\JRE"};
