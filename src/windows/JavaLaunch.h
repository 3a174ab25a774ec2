// Starting Java in this process: the system properties the Java side reads,
// the JVM with the assembled options, the installer's first-run hook and the
// starter class's main.
#pragma once
#include "CommandLine.h"
#include "JavaFailure.h"

// Creates the JVM in this process with the assembled options and runs the
// starter class's main with the launch parameters, the program name, the
// configured and the user's arguments (arguments[0] is the program name).
// False when the JVM could not be created or main ended with an exception;
// a missing starter class or main method ends the process (1010, 1011).
// Otherwise waits in DestroyJavaVM for the application's end.
bool launchJava(const WideArgumentList& arguments);

// What main threw, when launchJava failed that way and key 3001 is on; empty otherwise.
const JavaFailure& javaFailure();
