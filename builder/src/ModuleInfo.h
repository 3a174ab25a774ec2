// What a module's module-info.class says of it, as far as a runtime image
// needs: java.base's version and the platform its native code is for.
#pragma once
#include <optional>
#include <string>

#include "ByteOrder.h"

namespace tovex {

// What a module-info.class says of its module: its version and the
// platform its native code is for.
struct ModuleFacts {
    std::string version;
    std::string platform;
};

// The facts, or nothing when the class file cannot be read.
std::optional<ModuleFacts> readModuleFacts(const Bytes& data);

}  // namespace tovex
