// Vetting a Java runtime: its version, from the per-user version cache or from
// running its java.exe with "-version", checked against the configured range.
//
// Versions are texts such as 1.4.2_03, compared byte by byte, never numerically;
// with the modern runtime search on (key 3001) they are compared as numbers
// (VersionText.h), a runtime's release file gives its version without running
// it, and the probe skips the lines a runtime prints before its version line.
// Version buffers hold kTextBufferSize bytes.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "RegistryKeys.h"
#include "RuntimeCandidates.h"

// How long a probed runtime may run before it is taken for hung and ended.
constexpr DWORD kProbeTimeoutMs = 60000;

// The whole vetting of one java executable, recorded (RuntimeCandidates.h):
// the candidate's path is full and lower case, naming javaw.exe for a GUI
// executable (key 107 = 1); its version is there whenever one was obtained,
// accepted or not.
RuntimeCandidate checkJavaExe(const char* exePath, const char* minVersion, const char* maxVersion,
                              bool allowPrerelease);

// Why a version is refused by the range test (none when it passes).
Refusal versionRangeRefusal(const char* version, const char* minVersion, const char* maxVersion,
                            bool allowPrerelease);

// The lenient test of a version name from the registry (such as 1.4): the
// compared length is capped by the name's length. No pre-release filter.
bool matchesVersionPrefix(const char* name, const char* minVersion, const char* maxVersion);

// The java executable of a Java home, and whether the home counts (key 131
// asks for a JDK with lib\tools.jar; with key 3001 also for a JDK of Java 9
// and later, which has bin\javac.exe and no jre\bin\java.exe, and whose executable
// is bin\java.exe).
bool javaExeFromHome(const char* home, char* exePath, size_t capacity);
