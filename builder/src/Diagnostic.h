// Error messages that point into an input file: "file:line:column: error: ...".
#pragma once
#include <string>
#include <vector>

namespace tovex {

// 1-based; 0 when unknown.
struct SourcePos {
    int line = 0;
    int column = 0;
};

struct Diagnostic {
    std::string file;  // empty for errors that belong to no file
    SourcePos pos;
    std::string message;
    bool warning = false;  // reported, but the command goes on
};

std::string formatDiagnostic(const Diagnostic& diagnostic);

// Errors are collected in whatever order the checks ran; report them in file order.
void sortByPosition(std::vector<Diagnostic>& diagnostics);

}  // namespace tovex
