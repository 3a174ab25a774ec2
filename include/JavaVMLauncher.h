// Starting Java: variables in configured texts, the JVM options and the
// launch itself.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

#include "Buffers.h"
#include "CommandLine.h"
#include "JavaFailure.h"
#include "VariableText.h"
#include "jni.h"

// Replaces the fixed variables with these values and then ${NAME} of every
// environment variable, in place. False when a replacement was left out
// because it would not fit.
bool substituteVariablesWith(char* text, size_t capacity, const VariableValues& values);

// substituteVariablesWith for this run: the executable's directory, the
// extraction directory and the chosen runtime's home.
void substituteVariables(char* text, size_t capacity = kTextBufferSize);

// ---- The JVM options ----

// The class path option's buffer: "-Djava.class.path=" and every entry.
constexpr size_t kClassPathSize = 32768;
constexpr const char* kClassPathPrefix = "-Djava.class.path=";

// What the option assembly depends on besides the Config store.
struct JvmOptionSources {
  const char* executablePath;  // the VM options file lies beside it
  const char* extractionDirectory;  // possibly empty: no included files
  bool installerFlavour;  // puts the runtime jar on the class path
};

// Outcome of assembling the options. Each failure has a message key:
// entryNotFound 1006 (%FILE_NAME%), variableUndefined 1008 (%ENV_VAR_NAME%),
// unclosedQuote 1007 (key 123 not splittable).
enum class JvmOptionsResult { ok, entryNotFound, variableUndefined, unclosedQuote };

// The ordered option list: the system properties (null-terminated), the VM
// options file's lines, the class path option, the pieces of key 123 and,
// when key 125 is on, the "-J" arguments without their prefix. Logs
// "vmoption count %d" and "vmoption %d: %s" for each option. Ends the process
// with the failure's message.
NarrowArgumentList assembleJvmOptions(const char* const* systemProperties, const WideArgumentList& arguments);

// The work of assembleJvmOptions without ending the process: options receives
// the list (nothing is logged on failure) and failedName the text for the
// message's placeholder.
JvmOptionsResult tryAssembleJvmOptions(const char* const* systemProperties, const WideArgumentList& arguments,
                                       const JvmOptionSources& sources, NarrowArgumentList& options,
                                       std::string* failedName);

// The VM options file beside this executable, or nullptr.
FILE* openVmOptionsFile();
// The VM options file beside exePath: the path without its last four
// characters + ".vmoptions", else exePath + ".vmoptions"; opened "rt".
FILE* openVmOptionsFileBeside(const char* exePath);
// Appends the file's options: each line without its line end and the blanks
// around it, unless empty or a '#' comment. Does not close the file.
void readVmOptions(FILE* file, NarrowArgumentList& options);

// Appends every entry to classPath, which already holds kClassPathPrefix;
// ends the process when a required entry is missing.
void buildClassPath(char* classPath, size_t capacity = kClassPathSize);
JvmOptionsResult tryBuildClassPath(char* classPath, size_t capacity, const JvmOptionSources& sources,
                                   std::string* failedName);

// Appends directory\name;  for each of the directory's files with that
// extension, in directory order; true when the directory exists. allFit, when
// given, turns false if an archive was left out for want of room.
bool appendArchives(char* classPath, size_t capacity, const char* directory, const char* extension,
                    bool* allFit = nullptr);

// Appends the installer's runtime jar under the directory of key 10003
// (full path, lower case). False when it was left out for want of room.
bool appendRuntimeJar(char* classPath, size_t capacity);

// ---- The launch ----

// Creates the JVM in this process with the assembled options and runs the
// starter class's main with the launch parameters, the program name, the
// configured and the user's arguments (arguments[0] is the program name).
// False when the JVM could not be created or main ended with an exception;
// a missing starter class or main method ends the process (1010, 1011).
// With destroyAfterMain, waits in DestroyJavaVM for the application's end.
bool launchJava(const WideArgumentList& arguments, bool destroyAfterMain);

// What main threw, when launchJava failed that way and key 3001 is on; empty otherwise.
const JavaFailure& javaFailure();

// The starter's arguments: "true" for executable type 1 else "false", the
// configured main class, the error and output files (full paths, empty when
// not redirected), key 106 as "true"/"false"; then, when arguments is not
// empty, the program name, the configured program arguments and the user's
// arguments (without the "-J" ones when they go to the JVM).
WideArgumentList starterArguments(const WideArgumentList& arguments);

// The running JVM's environment for the calling thread (the splash screen's),
// attached as a daemon thread; nullptr before the JVM exists or when
// attaching fails.
JNIEnv* attachJvmThread();
// Detaches the calling thread; nothing before the JVM exists.
void detachJvmThread();
