// What JvmOptions.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "JvmOptions.h"

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
// The options of the file beside exePath, if there is one.
void appendVmOptionsFile(const char* exePath, NarrowArgumentList& options);

// Appends every class path entry to classPath, which already holds
// kClassPathPrefix: the extracted archives, the installer's runtime jar and
// the entries of key 121. An entry that would not fit is left out whole; a
// required one then counts as missing.
JvmOptionsResult tryBuildClassPath(char* classPath, size_t capacity, const JvmOptionSources& sources,
                                   std::string* failedName);

// The archives of the extraction for the class path: its jar files, then its
// zip files. In a reused cache folder the names checked there, in the area's
// order; elsewhere the directory's entries in its order
// (entriesWithExtensions).
std::vector<std::vector<std::string>> extractedArchives(const ExtractedFiles& files);
