// A process's top-level windows: bringing them to the front, counting them.
#pragma once
#include <windows.h>

// Brings every visible top-level window of the process to the front;
// restoreMinimised also restores the minimised ones.
void activateProcessWindows(DWORD processId, bool restoreMinimised);

// The number of visible top-level windows of the process, its console window
// not counted.
int countProcessWindows(DWORD processId);
