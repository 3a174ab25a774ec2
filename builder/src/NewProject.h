// `tovex new NAME`: a commented starter project that builds once its jar exists.
#pragma once
#include <ostream>
#include <string>

namespace tovex {

// Writes NAME.toml in the current directory (never over an existing file);
// returns the exit code.
int runNew(const std::string& name, std::ostream& out, std::ostream& err);

// The starter project's text for an application of this name.
std::string starterProject(const std::string& name);

}  // namespace tovex
