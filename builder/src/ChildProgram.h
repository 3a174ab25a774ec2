// Programs of the build machine that the build runs (jlink, jdeps), with
// their output collected.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace tovex {

struct ProgramResult {
    int status = -1;     // the exit status; -1 when it could not run or was killed
    std::string output;  // standard output and standard error, as they came
};

// Runs the program arguments[0] (a path) with the other arguments and no
// input, and waits for it.
ProgramResult runProgram(const std::vector<std::string>& arguments);

bool isExecutable(const std::filesystem::path& program);

long long processId();

}  // namespace tovex
