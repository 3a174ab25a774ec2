// `tovex inspect`: shows the configuration block of an application executable.
#pragma once
#include <ostream>
#include <string>

#include "CodePage.h"

namespace tovex {

struct InspectRequest {
    std::string file;
    bool json = false;
    int codePage = kDefaultCodePage;  // of the narrow records; must be supported
};

int runInspect(const InspectRequest& request, std::ostream& out, std::ostream& err);

}  // namespace tovex
