// `tovex build`: project file + launcher stub -> application executable.
#pragma once
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace tovex {

struct BuildRequest {
    std::string projectFile;
    std::optional<std::string> output;  // overrides [build] output
    std::optional<std::string> stub;    // overrides [build] stub
    std::filesystem::path toolDirectory;  // where the default stub and runtime library live
    bool includeRuntimeLibrary = true;    // false: --no-runtime-library
    std::optional<std::string> runtime;   // --runtime: overrides [build] runtime
    bool plain = false;                   // --plain: no defaults, no checks of the launcher's codes
    bool zip = false;                     // --zip: also the distribution as one zip
};

// Prints one line to `out` on success, diagnostics to `err`; returns the exit code.
int runBuild(const BuildRequest& request, std::ostream& out, std::ostream& err);

}  // namespace tovex
