// Starting Java in this process: the system properties the Java side reads,
// the JVM with the assembled options, the installer's first-run hook and the
// starter class's main.
#pragma once
#include "CommandLine.h"
#include "ExtractedFiles.h"
#include "RuntimeLibrary.h"
#include "StartFailure.h"
#include "VariableText.h"

// Creates the JVM in this process through the loaded runtime, with the
// options assembled from the extraction and the run's variables, and runs
// the starter class's main with the launch parameters, the program name, the
// configured and the user's arguments (arguments[0] is the program name).
// Waits in DestroyJavaVM for the application's end. The failure, when the
// options cannot be assembled (1006 to 1008), the JVM could not be created
// or main ended with an exception (1003, with key 3001 naming what it threw),
// or the starter class or main method is missing (1010, 1011).
StartFailure launchJava(const LoadedRuntime& runtime, const ExtractedFiles& extraction,
                        const VariableValues& variables, const WideArgumentList& arguments);

// With key 3001, called once the included files are extracted and the runtime
// is loaded: makes the directory of key 146, its variables expanded as the JVM
// options' are, the current directory, where the JVM will run; the failure
// (message 3008 naming it) when it cannot be entered. Without key 3001
// initialiseProcess has entered it, as it was.
StartFailure enterExpandedWorkingDirectory(const VariableValues& variables);
