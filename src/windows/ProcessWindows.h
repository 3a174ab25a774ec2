// A process's top-level windows: bringing them to the front, counting them.
//
// A console-type executable (key 107 other than 1) may own a console window,
// which is not one of the application's windows: it is found once, on the
// first count, and left out of every count.
#pragma once
#include <windows.h>

// Brings every visible top-level window of the process to the front, each
// followed by its last active pop-up; restoreMinimised also restores the
// minimised ones. The window treated last ends up in the foreground.
void activateProcessWindows(DWORD processId, bool restoreMinimised);

// The number of visible top-level windows of the process, its console window
// not counted.
int countProcessWindows(DWORD processId);
