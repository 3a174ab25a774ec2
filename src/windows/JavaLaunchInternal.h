// What JavaLaunch.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include <cstddef>

#include "JavaLaunch.h"

// The starter's arguments: "true" for executable type 1 else "false", the
// configured main class, the error and output files (full paths, empty when
// not redirected), key 106 as "true"/"false"; then, when arguments is not
// empty, the program name, the configured program arguments and the user's
// arguments (without the "-J" ones when they go to the JVM). Variables are
// expanded with these values. *failure (when given) becomes message 1007 when
// the configured arguments cannot be split.
WideArgumentList starterArguments(const WideArgumentList& arguments, const VariableValues& variables,
                                  StartFailure* failure = nullptr);

// The work of enterExpandedWorkingDirectory without ending the process: true
// when nothing is configured or the directory was entered; directory becomes
// its full path.
bool tryEnterExpandedWorkingDirectory(char* directory, size_t capacity, const VariableValues& variables);
