// What RegistryDiscovery.cpp offers its unit tests beyond its header: the steps the
// unit is made of.
#pragma once
#include "RegistryDiscovery.h"

// The runtime that the "CurrentVersion" values of the JavaSoft keys name.
RuntimeCandidate scanJavaSoftCurrentVersion(const char* minVersion, const char* maxVersion);

// The greatest version subkey of a JavaSoft key (a path below the software
// key, such as "JavaSoft\Java Runtime Environment") whose runtime passes.
RuntimeCandidate scanJavaSoftKey(const char* keyPath, const char* minVersion, const char* maxVersion);

// The greatest version in one root's located-runtime list (the first of equals).
RuntimeCandidate scanLocatedJvms(HKEY root, const char* minVersion, const char* maxVersion);

// The homes that the keys of kModernJavaSoftKeys and kVendorKeys name, in
// the process's own registry view, under HKLM and then HKCU; highest version
// first, the machine's before the user's among equals.
std::vector<RegisteredHome> modernRegisteredHomes();
