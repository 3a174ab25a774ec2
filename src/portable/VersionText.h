// Java version texts read as numbers: the version line a runtime prints, the
// JAVA_VERSION line of a runtime's release file, and the numeric comparison of
// versions such as 1.8.0_402, 9.0.4, 11.0.22+7, 17.0.2 and 21-ea.
//
// Portable (no <windows.h>), so the parsing can be fuzzed natively.
#pragma once
#include <cstddef>
#include <cstdint>

// The most numeric components a version keeps; later ones are ignored.
constexpr size_t kMaxVersionComponents = 8;

// A version's numbers. "1.x" counts as feature release x (1.8.0_402 is
// {8, 0, 402}); components end at the first character that is not a digit,
// "." or "_" (so "+7" and "-ea" are not numbers). count 0: no number at all.
struct VersionNumber {
  uint32_t components[kMaxVersionComponents];
  size_t count;
};

VersionNumber parseVersionNumber(const char* text);

// Compares a with b over the first `length` components, a missing component
// counting as 0: negative, 0 or positive.
int compareVersionPrefix(const VersionNumber& a, const VersionNumber& b, size_t length);

// The order of two versions, every component counted: negative, 0 or positive.
int compareVersionTexts(const char* a, const char* b);

// Whether version lies within the bounds, each bound compared over the
// components it gives (maximum 17 takes 17.0.15). An empty bound does not
// restrict; a version without numbers passes only when both bounds are empty.
bool versionWithinBounds(const char* version, const char* minimum, const char* maximum);

// A version line: one word, then ` version "` (java version "1.8.0_402",
// openjdk version "17.0.2" 2022-01-18). The version is the text between the
// first pair of double quotes, whatever follows them.
bool isVersionLine(const char* line);
bool parseModernVersionLine(const char* line, char* version, size_t capacity);

// JAVA_VERSION="17.0.2" of a release file; false for any other line.
bool parseReleaseFileLine(const char* line, char* version, size_t capacity);
