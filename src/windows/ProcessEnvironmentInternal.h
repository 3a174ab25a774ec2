// What ProcessEnvironment.cpp offers its unit tests beyond its header: the steps the
// unit is made of.
#pragma once
#include "ProcessEnvironment.h"

// Puts the directories of key 10004 in front of PATH, in the process
// environment and in the C library's copy of it.
void prependConfiguredPath();

// Makes the directory of key 146, when set, the current directory; with key
// 3001 leaves it to enterExpandedWorkingDirectory (JavaLaunch).
void enterWorkingDirectory();
