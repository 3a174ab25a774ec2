// The application's own Java: a trimmed Windows runtime linked with a jlink
// of this machine from a Windows JDK's jmods ([runtime] image), and the
// distribution zip that ships it beside the executable.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Project.h"

namespace tovex {

struct RuntimeImageRequest {
    RuntimeImageOptions options;
    std::string projectFile;  // for messages
    std::filesystem::path projectDirectory;
    std::vector<std::filesystem::path> jars;  // the application's jars, for jdeps
    std::string architecture;                 // the stub's: "x64" or "x86"
    std::filesystem::path target;             // <output folder>/<runtime folder>
};

struct RuntimeImage {
    std::filesystem::path home;        // the image: the request's target
    std::string javaVersion;           // of the JDK, e.g. "17.0.15"
    std::string platform;              // e.g. "windows-amd64"
    std::vector<std::string> modules;  // the modules asked for (jlink adds what they require)
    uint64_t bytes = 0;                // the image's size on disk
    std::size_t files = 0;
};

// Unpacks the JDK when it is a zip (once, into the build cache), checks it
// against the stub's architecture, finds a jlink of its feature version,
// works out the modules and links the image into the target, replacing an
// image made before. Progress goes to `out`; on failure the errors go to
// `err` and nothing is returned.
std::optional<RuntimeImage> makeRuntimeImage(const RuntimeImageRequest& request, std::ostream& out, std::ostream& err);

// Writes `archive`: the executable and, when given, its runtime folder,
// inside a folder named after the executable. Throws FileError.
void writeDistributionZip(const std::filesystem::path& archive, const std::filesystem::path& executable,
                          const std::optional<std::filesystem::path>& runtimeFolder);

// A folder's size in bytes and files, below it.
uint64_t folderSize(const std::filesystem::path& folder, std::size_t& files);

}  // namespace tovex
