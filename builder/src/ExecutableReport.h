// `tovex inspect`: shows the configuration block and the included files of an
// application executable, or extracts the files.
#pragma once
#include <optional>
#include <ostream>
#include <string>

#include "CodePage.h"

namespace tovex {

struct InspectRequest {
    std::string file;
    bool json = false;
    int codePage = kDefaultCodePage;  // of the narrow records; must be supported
    std::optional<std::string> extractDirectory;  // write the included files there instead of listing
};

int runInspect(const InspectRequest& request, std::ostream& out, std::ostream& err);

}  // namespace tovex
