// The tool's command line: which command to run, with what.
#pragma once
#include <string>
#include <variant>
#include <vector>

#include "BuildCommand.h"
#include "ExecutableReport.h"

namespace tovex {

struct ShowHelp {};
struct ShowVersion {};
// `tovex new NAME`: a starter project NAME.toml.
struct NewRequest {
    std::string name;
};
struct UsageError {
    std::string message;
};

using Invocation = std::variant<BuildRequest, InspectRequest, NewRequest, ShowHelp, ShowVersion, UsageError>;

// `args` excludes the program name. BuildRequest::toolDirectory is left for the caller.
Invocation parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

}  // namespace tovex
