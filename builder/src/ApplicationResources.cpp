#include "ApplicationResources.h"

#include <algorithm>
#include <stdexcept>

#include "FileIo.h"
#include "IncludedNames.h"
#include "KeyTable.h"
#include "ManifestXml.h"
#include "PeStub.h"

namespace fs = std::filesystem;

namespace tovex {
namespace {

// A narrow setting as the launcher will read it: the last record with the key, like atoi; 0 when unset.
int settingNumber(const std::vector<Setting>& settings, int32_t key) {
    int value = 0;
    for (const Setting& setting : settings)
        if (!setting.wide && setting.key == key) value = launcherInt(setting.text);
    return value;
}

// The file's bytes, or nothing after reporting why it cannot be read.
std::optional<Bytes> readResourceFile(const fs::path& directory, const std::string& written, const std::string& entry,
                                      SourcePos pos, const std::string& projectFile,
                                      std::vector<Diagnostic>& errors) {
    fs::path path = directory / pathFromUtf8(written);
    try {
        return readWholeFile(path);
    } catch (const FileError& e) {
        errors.push_back({projectFile, pos, "[resources] " + entry + ": " + pathToUtf8(path) + ": " + e.what()});
        return std::nullopt;
    }
}

void removeResources(std::vector<Resource>& resources, const ResourceId& type, const ResourceId* name = nullptr) {
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [&](const Resource& resource) {
                                       return resource.type == type && (!name || resource.name == *name);
                                   }),
                    resources.end());
}

}  // namespace

ApplicationResources loadApplicationResources(const Project& project, const fs::path& projectDirectory,
                                              const std::string& projectFile, std::vector<Diagnostic>& errors,
                                              std::vector<Diagnostic>& warnings) {
    const ResourceOptions& options = project.resources;
    ApplicationResources loaded;
    if (options.splashPicture) {
        if (std::optional<Bytes> file = readResourceFile(projectDirectory, *options.splashPicture, "splashPicture",
                                                         options.splashPicturePos, projectFile, errors)) {
            try {
                loaded.picture = loadSplashPicture(*file);
                int width = settingNumber(project.settings, key::splashWidth);
                int height = settingNumber(project.settings, key::splashHeight);
                if (std::optional<std::string> mismatch = splashSizeMismatch(loaded.picture->info, width, height))
                    warnings.push_back({projectFile, options.splashPicturePos, *mismatch, true});
            } catch (const ResourceInputError& e) {
                errors.push_back({projectFile, options.splashPicturePos,
                                  "[resources] splashPicture: " + *options.splashPicture + ": " + e.what()});
            }
        }
    }
    if (options.icon) {
        if (std::optional<Bytes> file =
                readResourceFile(projectDirectory, *options.icon, "icon", options.iconPos, projectFile, errors)) {
            try {
                loaded.icon = loadIcon(*file);
            } catch (const ResourceInputError& e) {
                errors.push_back({projectFile, options.iconPos, "[resources] icon: " + *options.icon + ": " + e.what()});
            }
        }
    }
    if (options.manifest) {
        if (std::optional<Bytes> file = readResourceFile(projectDirectory, *options.manifest, "manifest",
                                                         options.manifestPos, projectFile, errors)) {
            if (std::optional<ManifestProblem> problem = manifestProblem(*file)) {
                std::string where = problem->line > 0 ? " line " + std::to_string(problem->line) + ", column " +
                                                            std::to_string(problem->column)
                                                      : "";
                errors.push_back({projectFile, options.manifestPos,
                                  "[resources] manifest: " + *options.manifest + where +
                                      ": not an application manifest: " + problem->message +
                                      " (Windows refuses to start a program whose manifest it cannot read)"});
            } else {
                loaded.manifest = std::move(*file);
            }
        }
    }
    if (options.version)
        loaded.version = VersionInfo{options.version->fileVersion, options.version->productVersion,
                                     options.version->strings};
    return loaded;
}

std::vector<Resource> readImageResources(const Bytes& image) {
    std::optional<uint32_t> directory = resourceDirectoryOffset(image);
    if (!directory) return {};
    SectionView section = lastSection(image);
    uint64_t end = std::min<uint64_t>(uint64_t{section.rawPointer} + section.rawSize, image.size());
    if (section.rawPointer > end) throw std::runtime_error("the .rsrc section lies past the end of the file");
    Bytes data(image.begin() + section.rawPointer, image.begin() + static_cast<std::ptrdiff_t>(end));
    return parseResourceDirectory(data, section.virtualAddress, *directory);
}

void addApplicationResources(Bytes& stub, const ApplicationResources& resources) {
    if (resources.empty()) return;
    std::vector<Resource> merged = readImageResources(stub);
    if (resources.picture) {
        ResourceId id = ResourceId::of(kSplashBitmapId);
        removeResources(merged, ResourceId::of(resourcetype::bitmap), &id);
        merged.push_back({ResourceId::of(resourcetype::bitmap), id, kResourceLanguage, 0, resources.picture->dib});
    }
    if (!resources.icon.empty()) {
        // Explorer shows the first icon group in directory order: with the
        // stub's own icons gone, the application's is the only one.
        removeResources(merged, ResourceId::of(resourcetype::groupIcon));
        removeResources(merged, ResourceId::of(resourcetype::icon));
        constexpr uint16_t kFirstIconId = 1;
        for (std::size_t i = 0; i < resources.icon.size(); ++i)
            merged.push_back({ResourceId::of(resourcetype::icon), ResourceId::of(static_cast<uint16_t>(kFirstIconId + i)),
                              kResourceLanguage, 0, resources.icon[i].data});
        merged.push_back({ResourceId::of(resourcetype::groupIcon), ResourceId::named(kSplashIconName),
                          kResourceLanguage, 0, encodeIconGroup(resources.icon, kFirstIconId)});
    }
    if (resources.version) {
        removeResources(merged, ResourceId::of(resourcetype::version));
        merged.push_back({ResourceId::of(resourcetype::version), ResourceId::of(1), kResourceLanguage, 0,
                          encodeVersionInfo(*resources.version)});
    }
    if (resources.manifest) {
        // Windows reads the manifest with ID 1 of an executable; the stub's goes.
        removeResources(merged, ResourceId::of(resourcetype::manifest));
        merged.push_back({ResourceId::of(resourcetype::manifest), ResourceId::of(1), kResourceLanguage, 0,
                          *resources.manifest});
    }
    replaceResourceSection(stub, serialiseResourceDirectory(merged, lastSection(stub).virtualAddress));
}

std::optional<std::string> splashSizeMismatch(const DibInfo& picture, int windowWidth, int windowHeight) {
    if (picture.width == windowWidth && picture.height == windowHeight) return std::nullopt;
    std::string text = "the splash picture is " + std::to_string(picture.width) + " x " +
                       std::to_string(picture.height) + " pixels, but the splash window (splashWidth x splashHeight) is " +
                       std::to_string(windowWidth) + " x " + std::to_string(windowHeight);
    if (windowWidth <= 0 || windowHeight <= 0) return text + "; set splashWidth and splashHeight to the picture's size";
    if (picture.width > windowWidth || picture.height > windowHeight) text += "; the picture will be cut off";
    if (picture.width < windowWidth || picture.height < windowHeight) text += "; light grey fills the rest";
    return text;
}

}  // namespace tovex
