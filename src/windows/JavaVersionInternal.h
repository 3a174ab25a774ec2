// What JavaVersion.cpp offers its unit tests beyond its header: the steps the
// unit is made of.
#pragma once
#include "JavaVersion.h"

// Runs the executable with "-version" and reads the version it prints; a
// runtime still running after timeoutMs is ended and gives none.
bool probeJavaVersion(const char* exePath, char* version, size_t capacity, DWORD timeoutMs = kProbeTimeoutMs);

// The probe's command line: the quoted executable path and " -version".
// False when it does not fit.
bool probeCommandLine(char* out, size_t capacity, const char* exePath);

// The version out of the first line a runtime prints: java version "x".
bool parseVersionLine(const char* line, char* version, size_t capacity);

// The exact range test: each bound over its own length, and the pre-release
// filter unless allowPrerelease or key 130.
bool checkVersionRange(const char* version, const char* minVersion, const char* maxVersion,
                       bool allowPrerelease);

// The version cache under HKCU: one key per executable, trusted while the
// executable's last-write time is unchanged.
bool versionCacheKeyName(char* out, size_t capacity, const char* exePath);
bool readCachedVersion(const char* exePath, uint64_t lastWriteTime, char* version, size_t capacity);
void writeCachedVersion(const char* exePath, uint64_t lastWriteTime, const char* version);
