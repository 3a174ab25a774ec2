// Variables in configured texts for this run: the fixed values from the
// executable, the extraction and the chosen runtime, then the environment.
#pragma once
#include <cstddef>

#include "Buffers.h"
#include "VariableText.h"

// Replaces the fixed variables with these values and then ${NAME} of every
// environment variable, in place. False when a replacement was left out
// because it would not fit.
bool substituteVariablesWith(char* text, size_t capacity, const VariableValues& values);

// substituteVariablesWith for this run: the executable's directory, the
// extraction directory and the chosen runtime's home.
void substituteVariables(char* text, size_t capacity = kTextBufferSize);
