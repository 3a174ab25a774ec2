// Starting the runtime's own programs as hidden child processes.
#pragma once
#include <windows.h>

// Starts commandLine hidden, inheriting handles (with standard handles set:
// the error stream only, where the system can say so), with the launcher's
// environment and current directory. With setStandardHandles its standard
// input and output are empty and its standard error is errorOutput (which may
// be null: no error stream); otherwise the standard handles are left alone.
// The process handle, or null when it cannot start.
HANDLE startHiddenProcess(char* commandLine, bool setStandardHandles, HANDLE errorOutput);

// How long a child of the runtime (the version probe, the unpacking tool) may
// take before it is ended.
constexpr DWORD kChildTimeoutMs = 60000;

// Waits at most timeoutMs for the child to end, ends it when it has not (and
// waits for that), and closes the handle. Whether it ended by itself; its exit
// code goes to exitCode (STILL_ACTIVE, 259, when it was ended here).
bool finishChildProcess(HANDLE process, DWORD timeoutMs, DWORD* exitCode);
