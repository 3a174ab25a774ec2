// What a project file asks for: launcher settings (still as UTF-8 text), the
// files to include and the options of the build itself.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CodePage.h"
#include "Diagnostic.h"
#include "ResourceFiles.h"

namespace tovex {

// One record the launcher will get, before encoding.
struct Setting {
    int32_t key;
    bool wide;
    std::string text;    // UTF-8
    std::string origin;  // how the project named it, e.g. 'applicationName' or [raw.narrow] key 149
    SourcePos pos;       // of the value
    int maxLength;       // characters after encoding
};

struct BuildOptions {
    std::optional<std::string> output;  // as written, relative to the project file's directory
    SourcePos outputPos;
    std::optional<std::string> stub;  // likewise
    SourcePos stubPos;
    int codePage = kDefaultCodePage;  // may be unsupported when an error was reported for it
    std::optional<std::string> runtimeLibrary;  // likewise; absent: the one beside the tool
    SourcePos runtimeLibraryPos;
    bool includeRuntimeLibrary = true;  // the Java runtime library goes into every executable
    std::optional<std::string> runtime;  // a runtime to check against the stub's architecture; likewise
    SourcePos runtimePos;
    std::optional<std::string> architecture;  // "x64" or "x86"; absent: x64, or an explicit stub's own
    SourcePos architecturePos;
    bool zip = false;  // package = "zip": the executable and its runtime folder in one zip
};

// [runtime] image: the Windows JDK to link the application's runtime from.
struct RuntimeImageOptions {
    std::string jdk;  // a folder or a vendor's zip, as written, relative to the project file's directory
    SourcePos jdkPos;
    std::optional<std::vector<std::string>> modules;  // absent: computed with jdeps
    SourcePos modulesPos;
    std::vector<std::string> addModules;  // added to either
    SourcePos addModulesPos;
    SourcePos pos;  // of the image entry
};

// A file to embed in the executable, from a [[files]] table.
struct IncludedFile {
    std::string path;  // UTF-8 as written, relative to the project file's directory
    SourcePos pathPos;
    std::optional<std::string> name;  // as written; absent means the last part of `path`
    SourcePos namePos;
    SourcePos tablePos;  // of the [[files]] header
    bool runtimeLibrary = false;  // the Java runtime library the tool adds, not a file of the project
};

// The version information of [resources.version].
struct VersionOptions {
    VersionNumber fileVersion{};
    VersionNumber productVersion{};
    // StringFileInfo names and values (UTF-8), in the order of the table.
    std::vector<std::pair<std::string, std::string>> strings;
};

// The [resources] table: files as written, relative to the project file's directory.
struct ResourceOptions {
    std::optional<std::string> splashPicture;
    SourcePos splashPicturePos;
    std::optional<std::string> icon;
    SourcePos iconPos;
    std::optional<VersionOptions> version;
    std::optional<std::string> manifest;  // replaces the stub's application manifest
    SourcePos manifestPos;
};

struct Project {
    std::vector<Setting> settings;
    BuildOptions build;
    std::vector<IncludedFile> files;  // in the order of the project file
    ResourceOptions resources;
    bool console = false;                      // a console program: PE subsystem 3
    std::optional<std::string> bundledRuntime;  // [runtime] bundled, as written
    std::optional<bool> modernRuntime;          // [runtime] modern, when given
    std::optional<RuntimeImageOptions> runtimeImage;  // [runtime] image
};

struct ProjectReadResult {
    Project project;
    std::vector<Diagnostic> errors;    // all that were found, in file order
    std::vector<Diagnostic> warnings;  // things the tool changed to make them usable
    bool parsed = true;                // false after a TOML syntax error, the only error then
};

// Parses and checks a project file's text. `fileName` is used in messages.
ProjectReadResult readProject(std::string_view tomlText, const std::string& fileName);

}  // namespace tovex
