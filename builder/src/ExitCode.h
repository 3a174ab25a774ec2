#pragma once

namespace tovex {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitBadInput = 1,  // a project, stub or executable the tool cannot use, or a file it cannot write
    kExitUsage = 2,     // the command line itself is wrong
};

}  // namespace tovex
