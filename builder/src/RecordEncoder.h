// Turns settings into records: narrow texts into the target's ANSI code page,
// wide ones into UTF-16LE, each checked against the launcher's buffer size.
#pragma once
#include <string>
#include <vector>

#include "ConfigBlock.h"
#include "Diagnostic.h"
#include "Project.h"

namespace tovex {

// Records in the order the block lists them: narrow ascending by key, then
// wide ascending. Problems go to `errors`, pointing into `fileName`.
ConfigBlock encodeSettings(const std::vector<Setting>& settings, int codePage, const std::string& fileName,
                           std::vector<Diagnostic>& errors);

}  // namespace tovex
