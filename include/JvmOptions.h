// The JVM's option list: system properties, the VM options file beside the
// executable, the class path, the configured options and the "-J" arguments.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

#include "CommandLine.h"

// The class path option's size: "-Djava.class.path=" and every entry.
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

// The ordered option list: the system properties, the VM options file's
// lines, the class path option, the pieces of key 123 and, when key 125 is
// on, the "-J" arguments without their prefix. Logs "vmoption count %d" and
// "vmoption %d: %s" for each option. Ends the process with the failure's
// message.
NarrowArgumentList assembleJvmOptions(NarrowArgumentList systemProperties, const WideArgumentList& arguments);

// The work of assembleJvmOptions without ending the process: options becomes
// the list (stays as it was on failure, and nothing is logged) and failedName
// the text for the message's placeholder.
JvmOptionsResult tryAssembleJvmOptions(NarrowArgumentList systemProperties, const WideArgumentList& arguments,
                                       const JvmOptionSources& sources, NarrowArgumentList& options,
                                       std::string* failedName);

// The VM options file beside exePath: the path without its last four
// characters + ".vmoptions", else exePath + ".vmoptions"; opened "rt".
FILE* openVmOptionsFileBeside(const char* exePath);
// Appends the file's options: each line without its line end and the blanks
// around it, unless empty or a '#' comment. Does not close the file.
void readVmOptions(FILE* file, NarrowArgumentList& options);

// Appends every class path entry to classPath, which already holds
// kClassPathPrefix: the extracted archives, the installer's runtime jar and
// the entries of key 121. An entry that would not fit is left out whole; a
// required one then counts as missing.
JvmOptionsResult tryBuildClassPath(char* classPath, size_t capacity, const JvmOptionSources& sources,
                                   std::string* failedName);
