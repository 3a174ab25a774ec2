#include "RuntimeImage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "ChildProgram.h"
#include "ContentHash.h"
#include "Diagnostic.h"
#include "FileIo.h"
#include "ModuleInfo.h"
#include "Suggest.h"
#include "ZipArchive.h"

namespace fs = std::filesystem;

namespace tovex {
namespace {

constexpr const char* kBaseModule = "java.base";
constexpr const char* kModuleInfo = "classes/module-info.class";
// Where Linux systems keep their JDKs, each in a folder of its own.
constexpr const char* kSystemJvmFolder = "/usr/lib/jvm";
// jlink's compression: levels 0 to 2 until Java 20, zip-0 to zip-9 from 21 on.
constexpr int kFirstZipCompressionFeature = 21;

// What went wrong, with where in the project it belongs.
struct Failure {
    SourcePos pos;
    std::string message;
};

std::string trimmed(std::string text) {
    text.erase(0, text.find_first_not_of(" \t\r\n"));
    text.erase(text.find_last_not_of(" \t\r\n") + 1);
    return text;
}

// ---- Versions

// JAVA_VERSION="17.0.15" from a runtime's release file.
std::optional<std::string> releaseVersion(const fs::path& home) {
    std::ifstream release(home / "release");
    std::string line;
    while (std::getline(release, line)) {
        constexpr std::string_view kKey = "JAVA_VERSION=";
        if (line.compare(0, kKey.size(), kKey) != 0) continue;
        std::string value = trimmed(line.substr(kKey.size()));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (!value.empty()) return value;
    }
    return std::nullopt;
}

// 17 of "17.0.15", "17", "17-ea"; 0 when it starts with no number.
int featureOf(const std::string& version) {
    int feature = 0;
    for (char c : version) {
        if (c < '0' || c > '9' || feature > 10000) break;
        feature = feature * 10 + (c - '0');
    }
    return feature;
}

// ---- The Windows JDK

std::string cacheRoot() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/') return std::string(cache) + "/tovex";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.cache/tovex";
    return pathToUtf8(fs::temp_directory_path() / "tovex-cache");
}

// The hash of a file's bytes, as 16 hex digits.
std::string fileHash(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    ContentHash hash;
    startContentHash(&hash);
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        addToContentHash(&hash, buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(finishContentHash(hash)));
    return hex;
}

bool isZipFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char start[4] = {};
    in.read(start, 4);
    return in.gcount() == 4 && start[0] == 'P' && start[1] == 'K' && start[2] == 3 && start[3] == 4;
}

// A vendor's zip, unpacked into the cache once: the folder it went to.
std::optional<fs::path> unpackedJdk(const fs::path& zip, std::ostream& out, Failure& failure) {
    fs::path folder = pathFromUtf8(cacheRoot()) / "jdk" / fileHash(zip);
    std::error_code status;
    if (fs::is_directory(folder, status)) {
        out << "using " << pathToUtf8(zip) << ", unpacked before into " << pathToUtf8(folder) << '\n';
        return folder;
    }
    out << "unpacking " << pathToUtf8(zip) << " into " << pathToUtf8(folder) << '\n' << std::flush;
    // Unpacked beside its place and renamed into it: a build stopped half-way leaves no folder that looks whole.
    fs::path partial = folder;
    partial += ".partial-" + std::to_string(processId());
    fs::remove_all(partial, status);
    if (std::optional<std::string> problem = extractZip(zip, partial)) {
        fs::remove_all(partial, status);
        failure.message = "[runtime] image jdk: cannot unpack the JDK " + pathToUtf8(zip) + ": " + *problem;
        return std::nullopt;
    }
    fs::rename(partial, folder, status);
    if (status && !fs::is_directory(folder)) {
        failure.message = "[runtime] image jdk: cannot move the unpacked JDK into " + pathToUtf8(folder) + ": " + status.message();
        fs::remove_all(partial, status);
        return std::nullopt;
    }
    fs::remove_all(partial, status);  // another build put it there first
    return folder;
}

bool hasBaseModule(const fs::path& home) {
    std::error_code ignored;
    return fs::is_regular_file(home / "jmods" / (std::string(kBaseModule) + ".jmod"), ignored);
}

// The JDK's home: the folder, or the one folder inside it (as vendors' zips have it).
std::optional<fs::path> jdkHome(const fs::path& folder) {
    if (hasBaseModule(folder)) return folder;
    std::optional<fs::path> found;
    std::error_code status;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, status)) {
        if (!entry.is_directory(status) || !hasBaseModule(entry.path())) continue;
        if (found) return std::nullopt;
        found = entry.path();
    }
    return found;
}

std::string wantedPlatform(const std::string& architecture) {
    return architecture == "x86" ? "windows-x86" : "windows-amd64";
}

struct Jdk {
    fs::path home;
    std::string version;
    std::string platform;
    std::set<std::string> modules;  // by their jmods
};

std::optional<Jdk> readJdk(const RuntimeImageRequest& request, std::ostream& out, Failure& failure) {
    const RuntimeImageOptions& options = request.options;
    failure.pos = options.jdkPos;
    fs::path given = request.projectDirectory / pathFromUtf8(options.jdk);
    std::string shown = pathToUtf8(given);
    std::error_code status;
    fs::path folder = given;
    if (fs::is_regular_file(given, status)) {
        if (!isZipFile(given)) {
            failure.message = "[runtime] image jdk: " + shown + " is neither a folder nor a zip archive";
            return std::nullopt;
        }
        std::optional<fs::path> unpacked = unpackedJdk(given, out, failure);
        if (!unpacked) return std::nullopt;
        folder = *unpacked;
    } else if (!fs::is_directory(given, status)) {
        failure.message = "[runtime] image jdk: no such folder or file: " + shown;
        return std::nullopt;
    }
    std::optional<fs::path> home = jdkHome(folder);
    if (!home) {
        failure.message = "[runtime] image jdk: " + shown +
                          " holds no JDK with jmods: there is no jmods/java.base.jmod in it, nor in one folder "
                          "inside it; jlink links a runtime from a JDK's jmods (a JRE has none, nor do some "
                          "JDKs of Java 24 and later)";
        return std::nullopt;
    }
    Jdk jdk;
    jdk.home = *home;
    fs::path baseModule = *home / "jmods" / (std::string(kBaseModule) + ".jmod");
    std::string problem;
    std::optional<Bytes> moduleInfo = readZipEntry(baseModule, kModuleInfo, problem);
    std::optional<ModuleFacts> facts = moduleInfo ? readModuleFacts(*moduleInfo) : std::nullopt;
    if (!facts) {
        failure.message = "[runtime] image jdk: cannot read " + pathToUtf8(baseModule) + ": " +
                          (moduleInfo ? "its module-info.class is damaged" : problem);
        return std::nullopt;
    }
    jdk.platform = facts->platform;
    std::string wanted = wantedPlatform(request.architecture);
    if (jdk.platform != wanted) {
        std::string found = jdk.platform.empty() ? "no platform" : jdk.platform;
        bool windows = jdk.platform.rfind("windows-", 0) == 0;
        failure.message = "[runtime] image jdk: " + shown + " is a JDK for " + found +
                          " (the target platform of jmods/java.base.jmod), but the " + request.architecture +
                          " executable needs a Windows JDK for " + wanted +
                          (windows ? "; use the JDK of the executable's architecture, or build for the JDK's with "
                                     "[build] architecture"
                                   : "; jlink links a runtime for the platform of the JDK's jmods, so name the Windows "
                                     "JDK (a zip such as a vendor's Windows x64 download)");
        return std::nullopt;
    }
    std::optional<std::string> version = releaseVersion(*home);
    jdk.version = version ? *version : facts->version;
    if (featureOf(jdk.version) == 0) {
        failure.message = "[runtime] image jdk: " + shown +
                          " names no Java version (no JAVA_VERSION in its release "
                          "file, no version in java.base)";
        return std::nullopt;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(*home / "jmods", status)) {
        std::string name = pathToUtf8(entry.path().filename());
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".jmod") == 0)
            jdk.modules.insert(name.substr(0, name.size() - 5));
    }
    return jdk;
}

// ---- jlink of this machine

struct Jlink {
    fs::path program;
    fs::path home;
    std::string version;
};

std::optional<std::string> jlinkVersion(const fs::path& program, const fs::path& home) {
    if (std::optional<std::string> version = releaseVersion(home)) return version;
    ProgramResult result = runProgram({pathToUtf8(program), "--version"});
    std::string version = trimmed(result.output);
    if (result.status != 0 || featureOf(version) == 0) return std::nullopt;
    return version;
}

// The jlink programs of this machine, in the order they are tried: JAVA_HOME's, the PATH's, the system's JDKs'.
std::vector<fs::path> jlinkCandidates() {
    std::vector<fs::path> candidates;
    if (const char* javaHome = std::getenv("JAVA_HOME"); javaHome && *javaHome)
        candidates.push_back(pathFromUtf8(javaHome) / "bin" / "jlink");
    if (const char* path = std::getenv("PATH")) {
        std::string list = path;
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            std::string folder = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!folder.empty() && folder[0] == '/') candidates.push_back(pathFromUtf8(folder) / "jlink");
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    std::error_code status;
    std::vector<fs::path> system;
    for (const fs::directory_entry& entry : fs::directory_iterator(kSystemJvmFolder, status))
        system.push_back(entry.path() / "bin" / "jlink");
    std::sort(system.begin(), system.end());
    candidates.insert(candidates.end(), system.begin(), system.end());
    return candidates;
}

std::optional<Jlink> findJlink(int feature, Failure& failure) {
    std::set<fs::path> seen;
    std::string found;
    for (const fs::path& candidate : jlinkCandidates()) {
        std::error_code status;
        fs::path program = fs::canonical(candidate, status);
        if (status || !fs::is_regular_file(program, status) || !isExecutable(program)) continue;
        if (!seen.insert(program).second) continue;
        fs::path home = program.parent_path().parent_path();
        std::optional<std::string> version = jlinkVersion(program, home);
        if (!version) continue;
        if (featureOf(*version) == feature) return Jlink{program, home, *version};
        found += (found.empty() ? "" : ", ") + std::string("Java ") + *version + " at " + pathToUtf8(program);
    }
    std::string java = "Java " + std::to_string(feature);
    failure.message = "no jlink of " + java + " on this machine: jlink links the jmods of its own Java version only (" +
                      (found.empty() ? "found none" : "found " + found) + " through JAVA_HOME, the PATH and " +
                      kSystemJvmFolder + "); install a " + java + " JDK for Linux and point JAVA_HOME at it";
    return std::nullopt;
}

// ---- Modules

std::vector<std::string> splitModules(const std::string& text) {
    std::vector<std::string> modules;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        std::string module = trimmed(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (!module.empty()) modules.push_back(module);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return modules;
}

std::string joinedModules(const std::vector<std::string>& modules, const char* separator = ", ") {
    std::string text;
    for (const std::string& module : modules) text += (text.empty() ? "" : separator) + module;
    return text;
}

// The modules the jars need, as jdeps says.
std::optional<std::vector<std::string>> modulesFromJdeps(const RuntimeImageRequest& request, const Jlink& jlink,
                                                         int feature, std::ostream& out, Failure& failure) {
    failure.pos = request.options.pos;
    if (request.jars.empty()) {
        out << "runtime modules: " << kBaseModule << " (no jar to ask jdeps about)\n";
        return std::vector<std::string>{kBaseModule};
    }
    std::vector<std::string> arguments = {pathToUtf8(jlink.home / "bin" / "jdeps"), "--print-module-deps",
                                          "--ignore-missing-deps", "--multi-release", std::to_string(feature)};
    for (const fs::path& jar : request.jars) arguments.push_back(pathToUtf8(jar));
    out << "finding the modules the application needs with jdeps\n" << std::flush;
    ProgramResult result = runProgram(arguments);
    std::string output = trimmed(result.output);
    std::string lastLine =
        output.substr(output.find_last_of('\n') == std::string::npos ? 0 : output.find_last_of('\n') + 1);
    std::vector<std::string> modules = splitModules(lastLine);
    bool plausible = !modules.empty() && std::all_of(modules.begin(), modules.end(), [](const std::string& module) {
        return module.find_first_of(" \t:/") == std::string::npos;
    });
    if (result.status != 0 || !plausible) {
        failure.message = "jdeps could not work out the modules the application needs (exit status " +
                          std::to_string(result.status) + "):\n" + output +
                          "\nname them instead: [runtime] image = { jdk = ..., modules = [\"java.base\", ...] }";
        return std::nullopt;
    }
    out << "runtime modules from jdeps: " << joinedModules(modules) << '\n';
    return modules;
}

// Every named module must be one of the JDK's.
bool checkModules(const std::vector<std::string>& modules, SourcePos pos, const Jdk& jdk, Failure& failure) {
    std::vector<std::string_view> known(jdk.modules.begin(), jdk.modules.end());
    for (const std::string& module : modules) {
        if (jdk.modules.count(module)) continue;
        std::optional<std::string_view> match = closestMatch(module, known);
        failure.pos = pos;
        failure.message = "[runtime] image: no module " + module + " in the JDK " + pathToUtf8(jdk.home) +
                          " (it has no jmods/" + module + ".jmod)" +
                          (match ? "; did you mean '" + std::string(*match) + "'?" : "");
        return false;
    }
    return true;
}

// ---- The image

// A folder the build may replace: none yet, or a runtime image (it has a release file).
bool replaceable(const fs::path& target) {
    std::error_code status;
    return !fs::exists(target, status) ||
           (fs::is_directory(target, status) && fs::is_regular_file(target / "release", status));
}

// jlink into a folder beside the target, then the target replaced.
bool link(const RuntimeImageRequest& request, const Jdk& jdk, const Jlink& jlink,
          const std::vector<std::string>& modules, std::ostream& out, Failure& failure) {
    failure.pos = request.options.pos;
    const fs::path& target = request.target;
    std::error_code status;
    fs::create_directories(target.parent_path(), status);
    fs::path partial = target.parent_path() / ("." + pathToUtf8(target.filename()) + ".partial");
    fs::path old = target.parent_path() / ("." + pathToUtf8(target.filename()) + ".old");
    fs::remove_all(partial, status);
    int feature = featureOf(jlink.version);
    // Java debug attributes only: stripping native symbols would hand the Windows DLLs to this machine's objcopy.
    std::vector<std::string> arguments = {pathToUtf8(jlink.program),
                                          "--module-path",
                                          pathToUtf8(jdk.home / "jmods"),
                                          "--add-modules",
                                          joinedModules(modules, ","),
                                          "--output",
                                          pathToUtf8(partial),
                                          "--strip-java-debug-attributes",
                                          "--no-header-files",
                                          "--no-man-pages",
                                          feature >= kFirstZipCompressionFeature ? "--compress=zip-6" : "--compress=2"};
    out << "linking a Java " << jdk.version << " runtime for " << jdk.platform << " with " << pathToUtf8(jlink.program)
        << " into " << pathToUtf8(target) << '\n'
        << std::flush;
    ProgramResult result = runProgram(arguments);
    if (result.status != 0) {
        fs::remove_all(partial, status);
        failure.message =
            "jlink failed (exit status " + std::to_string(result.status) + "):\n" + trimmed(result.output);
        return false;
    }
    fs::remove_all(old, status);
    if (fs::exists(target, status)) fs::rename(target, old, status);
    if (!status) fs::rename(partial, target, status);
    if (status) {
        failure.message = "cannot put the runtime image into " + pathToUtf8(target) + ": " + status.message();
        fs::remove_all(partial, status);
        return false;
    }
    fs::remove_all(old, status);
    return true;
}

std::optional<RuntimeImage> makeImage(const RuntimeImageRequest& request, std::ostream& out, Failure& failure) {
    const RuntimeImageOptions& options = request.options;
    if (!replaceable(request.target)) {
        failure.pos = options.pos;
        failure.message = "[runtime] image: " + pathToUtf8(request.target) +
                          " exists and is no runtime image (it has no release file); the build replaces only an image "
                          "it made: remove it, or choose another folder with [runtime] bundled";
        return std::nullopt;
    }
    std::optional<Jdk> jdk = readJdk(request, out, failure);
    if (!jdk) return std::nullopt;
    int feature = featureOf(jdk->version);
    std::optional<Jlink> jlink = findJlink(feature, failure);
    if (!jlink) return std::nullopt;
    std::vector<std::string> modules;
    if (options.modules) {
        if (!checkModules(*options.modules, options.modulesPos, *jdk, failure)) return std::nullopt;
        modules = *options.modules;
    } else {
        std::optional<std::vector<std::string>> found = modulesFromJdeps(request, *jlink, feature, out, failure);
        if (!found) return std::nullopt;
        modules = *found;
    }
    if (!checkModules(options.addModules, options.addModulesPos, *jdk, failure)) return std::nullopt;
    for (const std::string& module : options.addModules)
        if (std::find(modules.begin(), modules.end(), module) == modules.end()) modules.push_back(module);
    if (modules.empty()) modules.push_back(kBaseModule);
    if (!link(request, *jdk, *jlink, modules, out, failure)) return std::nullopt;
    RuntimeImage image{request.target, jdk->version, jdk->platform, modules, 0, 0};
    image.bytes = folderSize(request.target, image.files);
    return image;
}

}  // namespace

std::optional<RuntimeImage> makeRuntimeImage(const RuntimeImageRequest& request, std::ostream& out, std::ostream& err) {
    Failure failure;
    std::optional<RuntimeImage> image = makeImage(request, out, failure);
    if (!image) err << formatDiagnostic({request.projectFile, failure.pos, failure.message}) << '\n';
    return image;
}

uint64_t folderSize(const fs::path& folder, std::size_t& files) {
    uint64_t bytes = 0;
    files = 0;
    std::error_code status;
    for (fs::recursive_directory_iterator it(folder, status), end; !status && it != end; it.increment(status)) {
        if (!it->is_regular_file(status)) continue;
        bytes += it->file_size(status);
        ++files;
    }
    return bytes;
}

void writeDistributionZip(const fs::path& archive, const fs::path& executable,
                          const std::optional<fs::path>& runtimeFolder) {
    std::string top = pathToUtf8(executable.stem()) + "/";
    std::vector<ZipSource> sources = {{executable.parent_path(), top},
                                      {executable, top + pathToUtf8(executable.filename())}};
    if (runtimeFolder) {
        fs::path base = executable.parent_path();
        std::vector<ZipSource> runtime;
        std::error_code status;
        runtime.push_back({*runtimeFolder, top + fs::relative(*runtimeFolder, base, status).generic_u8string() + "/"});
        for (fs::recursive_directory_iterator it(*runtimeFolder, status), end; !status && it != end;
             it.increment(status)) {
            std::string name = top + fs::relative(it->path(), base, status).generic_u8string();
            if (it->is_directory(status))
                runtime.push_back({it->path(), name + "/"});
            else if (it->is_regular_file(status))
                runtime.push_back({it->path(), name});
        }
        if (status) throw FileError("cannot list " + pathToUtf8(*runtimeFolder) + ": " + status.message());
        std::sort(runtime.begin() + 1, runtime.end(),
                  [](const ZipSource& a, const ZipSource& b) { return a.name < b.name; });
        sources.insert(sources.end(), runtime.begin(), runtime.end());
    }
    writeZip(archive, sources);
}

}  // namespace tovex
