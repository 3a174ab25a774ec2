// What RegistryKeys.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "RegistryKeys.h"

void setSoftwareKeyBaseForTests(const char* base);
