// The application's own resources in its executable: the splash picture, the
// icon and the version information a project names, merged into the stub's
// resource section, which is then rebuilt whole.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "Diagnostic.h"
#include "Project.h"
#include "ResourceDirectory.h"
#include "ResourceFiles.h"

namespace tovex {

// The splash picture is bitmap 10000; the icon group, named so, is both the
// splash window's icon and, as the first icon group, the application's.
constexpr uint16_t kSplashBitmapId = 10000;
constexpr char16_t kSplashIconName[] = u"ID_SPLASH_ICON";

struct ApplicationResources {
    std::optional<SplashPicture> picture;
    std::vector<IconImage> icon;  // empty for none
    std::optional<VersionInfo> version;
    std::optional<Bytes> manifest;  // the application manifest, in place of the stub's

    bool empty() const { return !picture && icon.empty() && !version && !manifest; }
};

// Reads the files the project names, relative to its directory. Problems go
// to `errors`; a picture whose size is not the splash window's (keys 141 and
// 142 among `project.settings`) to `warnings`.
ApplicationResources loadApplicationResources(const Project& project, const std::filesystem::path& projectDirectory,
                                              const std::string& projectFile, std::vector<Diagnostic>& errors,
                                              std::vector<Diagnostic>& warnings);

// Rebuilds the stub's resource section with the application's resources:
// the picture as bitmap 10000, the icon group with its images (in place of
// any icons of the stub's), the version information in place of the stub's.
// Everything else the stub has is kept. Throws std::runtime_error when the
// stub's resources cannot be read.
void addApplicationResources(Bytes& stub, const ApplicationResources& resources);

// The resources of an image, in directory order; empty when it has none.
// Throws std::runtime_error (ResourceFormatError among others) when they
// cannot be read.
std::vector<Resource> readImageResources(const Bytes& image);

// Why a picture of this size will not fill the splash window exactly, or nothing.
std::optional<std::string> splashSizeMismatch(const DibInfo& picture, int windowWidth, int windowHeight);

}  // namespace tovex
