// The diagnostic log: off unless TOVEX_LOG or VANDREL_LOG is "yes"; created at
// the first log line of the run in the temporary directory.
#pragma once

void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The log file's path, or nullptr while logging is off or before the first line.
const char* logFilePath();

// Whether the environment asks for a log: either variable exactly "yes".
bool logRequestedByEnvironment();
