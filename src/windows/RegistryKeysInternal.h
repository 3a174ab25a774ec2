// What RegistryKeys.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "RegistryKeys.h"

// Moves every key of the run below base (with its trailing backslash), for
// the whole test program: the registry's readers sit under units that call
// them with no key of their own.
void setSoftwareKeyBaseForTests(const char* base);
