// What Launcher.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "Launcher.h"

// "__vdl_reboot" as the whole tail.
bool isRebootRequest(const char* tail);

// A tail that begins with "-q_vdl_internal".
bool isQuietSwitch(const char* tail);
