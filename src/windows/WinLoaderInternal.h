// What WinLoader.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "WinLoader.h"

// The search sequence; false (kind none) when nothing is found.
bool searchJvm(JvmLocation* location);

// The first line of a location file below the installation directory's
// ".vandrel" folder (fileName such as "\.vandrel\pref_jre.cfg"), line end removed.
bool readLocationFile(const char* fileName, char* line, size_t capacity);

RuntimeCandidate testSearchPath(const char* minVersion, const char* maxVersion);

// Whether an A or R entry's text is absolute, which keeps it out of the
// relative pass: "X:..." or "\\...".
bool isAbsoluteEntryText(const char* text);
