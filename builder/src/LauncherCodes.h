// The launcher's letter codes for the runtime search (key 128) and the class
// path (key 121), and the words a project file uses for them instead: each
// word turned into its code, each code checked for what the launcher would
// skip or read as something else, and codes described in words again.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovex {

// Search words: "bundled", "env:NAME", "registry", "path", "dir:FOLDER".
// The code of one word (with its ';'), or nothing with `problem` set.
std::optional<std::string> searchEntryCode(std::string_view word, const std::optional<std::string>& bundled,
                                           std::string& problem);

// The search used when a project names none: the bundled folder (if any),
// JAVA_HOME, the registry, the PATH.
std::string defaultSearchCode(const std::optional<std::string>& bundled);

// A class path entry written as a path: "lib/app.jar" (a file), "lib/*" or
// "lib/*.jar" (every archive of a folder), "classes/" (a folder of classes),
// "env:NAME" (a variable holding a path list). Forward slashes become
// backslashes. The code with its ';', or nothing with `problem` set.
std::optional<std::string> classPathEntryCode(std::string_view path, bool required, std::string& problem);

// Why the launcher would not read a code as meant, or nothing.
std::optional<std::string> searchCodeProblem(std::string_view code);
std::optional<std::string> classPathCodeProblem(std::string_view code);
std::optional<std::string> executableTypeProblem(std::string_view text);

// Java version bounds: "17", "1.8.0_402", "9.0.4", "11.0.22+7", "21-ea".
std::optional<std::string> javaVersionProblem(std::string_view text);
// Whether a minimum lies above a maximum, compared over the numbers both
// give (a maximum of "21" takes every 21.x), with 1.8 read as 8.
bool versionAbove(std::string_view minimum, std::string_view maximum);

// The codes in words, e.g. {"registry", "env:JAVA_HOME"} or {"lib/app.jar", "lib/*"}.
std::vector<std::string> describeSearchCode(std::string_view code);
std::vector<std::string> describeClassPathCode(std::string_view code);

}  // namespace tovex
