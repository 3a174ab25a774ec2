// The English message texts every executable carries unless its project
// gives its own.
#pragma once
#include <vector>

#include "Project.h"

namespace tovex {

// Adds a setting for each message key the project leaves unset.
void addMessageDefaults(std::vector<Setting>& settings);

}  // namespace tovex
