// Initialisation of the process from the loaded configuration: the product
// flavour, the PATH prefix and the working directory. The JVM runs in this
// environment.
#pragma once
#include <windows.h>

#include <cstddef>

// Prepares the process environment, once the configuration block is loaded.
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

// The path of a file below the installation directory of key 10003 (full
// path, lower case); relative begins with a backslash. False when the path
// does not fit in capacity.
bool installationFilePath(char* out, size_t capacity, const char* relative);
