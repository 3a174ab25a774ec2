// Single-instance mode.
#include "SingleInstance.h"

// Not built yet: every start is a first instance.
void checkSingleInstance(bool, bool) {}

const char* singleInstanceSemaphoreName() { return nullptr; }
