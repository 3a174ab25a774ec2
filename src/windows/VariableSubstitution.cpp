#include "VariableSubstitution.h"

#include <windows.h>

#include "IncludedFiles.h"
#include "Paths.h"
#include "WinLoader.h"

bool substituteVariablesWith(char* text, size_t capacity, const VariableValues& values) {
  char* environment = GetEnvironmentStringsA();
  bool whole = substituteVariablesIn(text, capacity, values, environment);
  if (environment != nullptr) FreeEnvironmentStringsA(environment);
  return whole;
}

void substituteVariables(char* text, size_t capacity) {
  VariableValues values{executableDirectory(), extractionDirectory(), javaHome()};
  substituteVariablesWith(text, capacity, values);
}
