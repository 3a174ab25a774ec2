// A process's top-level windows.
#include "ProcessWindows.h"

// Not built yet.
void activateProcessWindows(DWORD, bool) {}

int countProcessWindows(DWORD) { return 0; }
