// A Java runtime shipped beside the application with its jars packed with
// pack200 (".pack" files): restored once with the runtime's own unpack200.exe.
#pragma once
#include <windows.h>

#include <cstddef>

#include "ChildProcess.h"

// Restores the jars of a packed runtime in the Java home, unless it is not
// packed (no lib\rt.jar.pack) or already restored (lib\jsse.jar present).
// Ends the process with message 1009 (InternalError::unpackerNotStarted)
// when the tool cannot start; tells the user on the standard output stream
// that the runtime is being prepared. False when the tool did not finish a
// jar within timeoutMs: it is ended, its part of the jar deleted, the reason
// logged, and the runtime is not to be used.
bool unpackPackedRuntime(const char* home, DWORD timeoutMs = kChildTimeoutMs);

// Restores one jar (a path relative to home) from its ".pack" file; false
// when the tool had to be ended.
bool unpackJar(const char* home, const char* jar, DWORD timeoutMs = kChildTimeoutMs);
