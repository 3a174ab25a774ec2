// The JVM's option list: system properties, the VM options file beside the
// executable, the class path, the configured options and the "-J" arguments
// (with key 3001 the file comes after the configured options).
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

#include "CommandLine.h"
#include "ExtractedFiles.h"
#include "StartFailure.h"
#include "VariableText.h"

// The class path option's size: "-Djava.class.path=" and every entry.
constexpr size_t kClassPathSize = 32768;
constexpr const char* kClassPathPrefix = "-Djava.class.path=";

// What the option assembly depends on besides the Config store: the earlier
// start-up steps' results.
struct JvmOptionSources {
  const char* executablePath;  // the VM options file lies beside it
  const ExtractedFiles* extraction;  // null or an empty directory: no included files
  bool installerFlavour;  // puts the runtime jar on the class path
  VariableValues variables{"", "", ""};  // for the class path entries and key 123
};

// Outcome of assembling the options. Each failure has a message key:
// entryNotFound 1006 (%FILE_NAME%), variableUndefined 1008 (%ENV_VAR_NAME%),
// unclosedQuote 1007 (key 123 not splittable).
enum class JvmOptionsResult { ok, entryNotFound, variableUndefined, unclosedQuote };

// The ordered option list: the system properties, the VM options file's
// lines, the class path option, the pieces of key 123 and, when key 125 is
// on, the "-J" arguments without their prefix. With key 3001 the file's lines
// come after the pieces of key 123 instead. Logs "vmoption count %d" and
// "vmoption %d: %s" for each option. On failure *failure holds its message
// and the list is empty.
NarrowArgumentList assembleJvmOptions(NarrowArgumentList systemProperties, const WideArgumentList& arguments,
                                      const JvmOptionSources& sources, StartFailure* failure);
