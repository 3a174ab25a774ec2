#include "VariableSubstitution.h"

#include <windows.h>

bool substituteVariables(char* text, size_t capacity, const VariableValues& values) {
  char* environment = GetEnvironmentStringsA();
  bool whole = substituteVariablesIn(text, capacity, values, environment);
  if (environment != nullptr) FreeEnvironmentStringsA(environment);
  return whole;
}
