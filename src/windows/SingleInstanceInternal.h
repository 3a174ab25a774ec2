// What SingleInstance.cpp offers its unit tests beyond its header: the steps the
// unit is made of.
#pragma once
#include "SingleInstance.h"

// The semaphore name for an executable path: every "\" replaced by "_".
// False when it had to be cut to capacity.
bool semaphoreNameFor(const char* path, char* out, size_t capacity);

// Writes this process's ID under the executable's value in the process
// registry (HKCU "SOFTWARE\morrowfield\tovex\pids\", RegistryKeys.h). Errors are ignored.
void registerProcess();

// The process ID the registry holds for this executable, or 0 when there is
// none or the value is not 4 bytes long.
DWORD lookUpRunningProcess();

// The arguments of a wide command line: what follows the program name and
// the blanks after it, as typed (a suffix of commandLine; empty when there
// are none). Only the blank separates; a tab does not.
const wchar_t* commandLineArguments(const wchar_t* commandLine);

// Whether the reader takes the argument text for one start: it holds no line
// feed, which ends a start in the hand-over file.
bool isHandOverText(const wchar_t* arguments);

// Writes the hand-over file: the arguments as UTF-16LE code units and one
// line feed, no byte-order mark. An earlier file of the name is deleted (a
// link itself, never its target) and the file made new; false when that or
// the write fails.
bool writeHandOverFile(const char* path, const wchar_t* arguments);
