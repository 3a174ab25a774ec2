// What ProcessWindows.cpp offers its unit tests beyond its header: the steps the
// unit is made of.
#pragma once
#include "ProcessWindows.h"

// The search for this process's console window (countProcessWindows makes it
// once): the console title is set to a unique text for a moment, the window
// with that title found and the title put back. Returns the console window,
// or nullptr for a GUI executable (key 107 = 1), a process without console,
// or when none was found.
HWND findConsoleWindow();

// The number of visible top-level windows of the process, console not counted.
int countWindowsExcept(DWORD processId, HWND console);
