// Variables in configured texts for this run: the fixed values from the
// executable, the extraction and the chosen runtime, which start-up gathers
// once (VariableValues), then the environment.
#pragma once
#include <cstddef>

#include "VariableText.h"

// Replaces the fixed variables with these values and then ${NAME} of every
// environment variable, in place. False when a replacement was left out
// because it would not fit.
bool substituteVariables(char* text, size_t capacity, const VariableValues& values);
