// Starting Java: variables in configured texts (and, later, the JVM options
// and the launch itself).
#pragma once
#include <cstddef>

#include "Buffers.h"

// The values of the fixed variables %NAME% and ${NAME}, each known under the
// prefixes TOVEX_ and VANDREL_.
struct VariableValues {
  const char* exeDirectory;  // EXEDIR: the executable's directory, with its trailing backslash
  const char* tempDirectory;  // TEMPDIR: this run's extraction directory, possibly empty
  const char* javaHome;  // JVM_HOME: the chosen runtime's home text
};

// Replaces every occurrence of token (case-sensitive) in text by value and
// searches on behind the inserted value, so a value is never searched for
// the same token again. An occurrence whose replacement would not fit in
// capacity stays as it is; false when that happened or text was not
// terminated within capacity.
bool replaceAll(char* text, size_t capacity, const char* token, const char* value);

// Replaces the fixed variables with these values and then ${NAME} of every
// environment variable, in place. False when a replacement was left out
// because it would not fit.
bool substituteVariablesWith(char* text, size_t capacity, const VariableValues& values);

// substituteVariablesWith for this run: the executable's directory, the
// extraction directory and the chosen runtime's home.
void substituteVariables(char* text, size_t capacity = kTextBufferSize);
