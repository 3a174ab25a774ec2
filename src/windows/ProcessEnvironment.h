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

// The two tests of the flavour letter of key 2001.
bool isInstallerFlavour();
bool isWrapperFlavour();

// The path of a file below the installation directory of key 10003 (full
// path, lower case); relative begins with a backslash. False when the path
// does not fit in capacity.
bool installationFilePath(char* out, size_t capacity, const char* relative);
