// The start-up sequence.
#pragma once
#include <windows.h>

#include "ErrorCodes.h"

// The command line after the program name and the blanks that follow it.
const char* commandLineTail(const char* commandLine);

// The start-up information's show-window value, or SW_SHOWDEFAULT.
int startupShowWindow();

// Runs every start-up step in order and returns the exit code.
ExitCode runLauncher(HINSTANCE instance, const char* tail, int showWindow);
