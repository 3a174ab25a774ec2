// What a project leaves to the tool: checks of the launcher's codes however
// they are spelt, and the defaults that make an executable work when it is
// double-clicked.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "Diagnostic.h"
#include "Project.h"

namespace tovex {

// Reports settings the launcher would skip, misread or never satisfy: the
// executable type, class path and search codes, the Java version bounds.
void checkLauncherCodes(const std::vector<Setting>& settings, const std::string& projectFile,
                        std::vector<Diagnostic>& errors);

// Adds a GUI executable type, the default runtime search, the modern runtime
// search, the main class from the first included jar's manifest (a note in
// `notes` says so) and the message texts. A project without a main class
// and without a jar that names one is an error.
void addProjectDefaults(Project& project, const std::filesystem::path& projectDirectory,
                        const std::string& projectFile, std::vector<Diagnostic>& errors,
                        std::vector<std::string>& notes);

// Checks the main class against the included jars: in none of them it is an
// error, or a warning when the class path names entries beside the
// executable that might hold it. A jar whose manifest's Class-Path names a
// library the project does not include gets a warning.
void checkIncludedJars(const Project& project, const std::filesystem::path& projectDirectory,
                       const std::string& projectFile, std::vector<Diagnostic>& errors,
                       std::vector<Diagnostic>& warnings);

}  // namespace tovex
