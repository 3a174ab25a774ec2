// Variables in configured texts: %NAME% and ${NAME} of the fixed values,
// ${NAME} of the environment. Portable: no system headers.
#pragma once
#include <cstddef>

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

// substituteVariablesWith on a given environment block ("NAME=value" texts,
// each terminated, an empty one last; nullptr for none).
bool substituteVariablesIn(char* text, size_t capacity, const VariableValues& values, const char* environment);
