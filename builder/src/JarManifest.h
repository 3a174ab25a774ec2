// The Main-Class of a jar's manifest, so that a project whose jar names its
// main class need not name it again.
#pragma once
#include <filesystem>
#include <optional>
#include <string>

namespace tovex {

// The Main-Class attribute of META-INF/MANIFEST.MF in the archive, or nothing
// when the file is no readable zip archive or its manifest has none.
std::optional<std::string> jarMainClass(const std::filesystem::path& jar);

}  // namespace tovex
