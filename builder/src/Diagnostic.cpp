#include "Diagnostic.h"

#include <algorithm>

namespace tovex {

std::string formatDiagnostic(const Diagnostic& diagnostic) {
    std::string where = diagnostic.file.empty() ? "tovex" : diagnostic.file;
    if (diagnostic.pos.line > 0) {
        where += ":" + std::to_string(diagnostic.pos.line);
        if (diagnostic.pos.column > 0) where += ":" + std::to_string(diagnostic.pos.column);
    }
    return where + (diagnostic.warning ? ": warning: " : ": error: ") + diagnostic.message;
}

void sortByPosition(std::vector<Diagnostic>& diagnostics) {
    std::stable_sort(diagnostics.begin(), diagnostics.end(), [](const Diagnostic& a, const Diagnostic& b) {
        if (a.pos.line != b.pos.line) return a.pos.line < b.pos.line;
        return a.pos.column < b.pos.column;
    });
}

}  // namespace tovex
