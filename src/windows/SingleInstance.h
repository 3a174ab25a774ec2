// Single-instance mode: the semaphore named after the executable, the
// per-user registry of first instances' process IDs and the hand-over file
// through which a second start passes its arguments to the first.
#pragma once
#include <windows.h>

#include <cstddef>

#include "ErrorCodes.h"

// Does nothing unless the single-instance key is on. In a second instance:
// activates the first instance's windows, writes the hand-over file, and ends
// the process with exit code 0. Arguments with a line feed are not handed
// over: the process ends with kArgumentsNotHandedOver (exit code 1).
void checkSingleInstance();

// The semaphore's name, or nullptr when the check did not create one.
const char* singleInstanceSemaphoreName();
