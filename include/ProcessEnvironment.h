// Initialisation of the process: the configuration, the product flavour, the
// PATH prefix and the working directory. The JVM runs in this environment.
#pragma once
#include <windows.h>

// Loads the configuration block, then prepares the process environment.
void initialiseProcess(HINSTANCE instance);

// The module handle kept for the splash window.
HINSTANCE instanceHandle();

// The flavour letter of key 2001 (0 when absent) and the two flavour tests.
char productFlavour();
bool isInstallerFlavour();
bool isWrapperFlavour();

// Puts the directories of key 10004 in front of PATH, in the process
// environment and in the C library's copy of it.
void prependConfiguredPath();

// Makes the directory of key 146, when set, the current directory.
void enterWorkingDirectory();
