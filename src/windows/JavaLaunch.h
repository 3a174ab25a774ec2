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

// With key 3001, called once the included files are extracted and the runtime
// is loaded: makes the directory of key 146, its variables expanded as the JVM
// options' are, the current directory, where the JVM will run; ends the
// process with message 3008 naming it when it cannot be entered. Without key
// 3001 initialiseProcess has entered it, as it was.
void enterExpandedWorkingDirectory();

// What main threw, when launchJava failed that way and key 3001 is on; empty otherwise.
const JavaFailure& javaFailure();
