#include "BuildCommand.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "ApplicationResources.h"
#include "ConfigBlock.h"
#include "ExitCode.h"
#include "FileIo.h"
#include "IncludedFiles.h"
#include "MessageDefaults.h"
#include "PeStub.h"
#include "Project.h"
#include "ProjectDefaults.h"
#include "RecordEncoder.h"
#include "RuntimeImage.h"

namespace fs = std::filesystem;

namespace tovex {
namespace {

// The stubs beside the tool, by architecture; without [build] architecture
// the 64-bit one.
constexpr const char* kDefaultStubName = "launcher.exe";
constexpr const char* kDefaultStub64Name = "launcher64.exe";
constexpr const char* kDefaultArchitecture = "x64";
// The Java runtime library: its starter class must reach the JVM's class path.
constexpr const char* kRuntimeLibraryName = "tovexlib.jar";

// The launcher seeks with signed 32-bit offsets.
constexpr uint64_t kMaxExecutableSize = std::numeric_limits<int32_t>::max();

// A path to use and where it was chosen, for messages about it.
struct ChosenPath {
    fs::path path;
    Diagnostic where;  // file and position of the choice; message left empty
    std::string hint;  // added to "not found" when the user did not choose
};

ChosenPath chooseStub(const BuildRequest& request, const BuildOptions& options, const fs::path& projectDirectory) {
    if (request.stub) return {pathFromUtf8(*request.stub), {}, ""};
    if (options.stub) return {projectDirectory / pathFromUtf8(*options.stub), {request.projectFile, options.stubPos, ""}, ""};
    bool x86 = options.architecture == std::string("x86");
    return {request.toolDirectory / (x86 ? kDefaultStubName : kDefaultStub64Name), {},
            " (give one with --stub or [build] stub)"};
}

// The architecture the stub must have: the project's, or the default one
// when the stub is the default one; an explicit stub alone decides otherwise.
std::optional<std::string> requiredArchitecture(const BuildRequest& request, const BuildOptions& options) {
    if (options.architecture) return options.architecture;
    if (request.stub || options.stub) return std::nullopt;
    return std::string(kDefaultArchitecture);
}

std::string describeArchitecture(const std::string& architecture) {
    return "\"" + architecture + "\" (" + (architecture == "x86" ? "32-bit x86" : "x86-64") + ")";
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Whether the project includes a file that the executable names name.
bool includesFileNamed(const std::vector<IncludedFile>& files, const std::string& name) {
    for (const IncludedFile& file : files) {
        std::string included = file.name ? *file.name : pathToUtf8(pathFromUtf8(file.path).filename());
        if (lowerAscii(included) == lowerAscii(name)) return true;
    }
    return false;
}

// Puts the Java runtime library first among the included files, unless the
// project leaves it out or includes its own.
void addRuntimeLibrary(Project& project, const BuildRequest& request, std::vector<Diagnostic>& errors) {
    const BuildOptions& options = project.build;
    if (!request.includeRuntimeLibrary || !options.includeRuntimeLibrary || includesFileNamed(project.files, kRuntimeLibraryName)) return;
    fs::path projectDirectory = pathFromUtf8(request.projectFile).parent_path();
    fs::path library = options.runtimeLibrary ? projectDirectory / pathFromUtf8(*options.runtimeLibrary)
                                              : request.toolDirectory / kRuntimeLibraryName;
    std::error_code ignored;
    if (!fs::is_regular_file(library, ignored)) {
        errors.push_back({request.projectFile, options.runtimeLibraryPos,
                          "Java runtime library not found: " + pathToUtf8(library) +
                              (options.runtimeLibrary ? ""
                                                      : " (give one with [build] runtimeLibrary, or leave it out "
                                                        "with [build] includeRuntimeLibrary = false)")});
        return;
    }
    IncludedFile file;
    file.path = pathToUtf8(fs::absolute(library, ignored));
    file.name = kRuntimeLibraryName;
    file.pathPos = options.runtimeLibraryPos;
    file.runtimeLibrary = true;
    project.files.insert(project.files.begin(), file);
}

fs::path chooseOutput(const BuildRequest& request, const BuildOptions& options, const fs::path& projectPath) {
    if (request.output) return pathFromUtf8(*request.output);
    if (options.output) return projectPath.parent_path() / pathFromUtf8(*options.output);
    return fs::path(projectPath).replace_extension(".exe");
}

int fail(std::ostream& err, Diagnostic diagnostic, std::string message) {
    diagnostic.message = std::move(message);
    err << formatDiagnostic(diagnostic) << '\n';
    return kExitBadInput;
}

// A file the build reads, for the check that the output is none of them.
struct BuildInput {
    std::string what;  // e.g. "the project file", "the included file lib/app.jar"
    fs::path path;
};

struct LoadedProject {
    BuildOptions build;
    bool console = false;
    ConfigBlock block;
    std::vector<IncludedFileSource> files;
    SourcePos filesPos;  // of the first [[files]] table
    ApplicationResources resources;
    std::vector<BuildInput> inputs;
    std::optional<RuntimeImageOptions> runtimeImage;
    std::optional<std::string> bundledRuntime;
};

// The project's options, encoded records and files to include, or nothing
// after reporting every problem found.
std::optional<LoadedProject> loadProject(const BuildRequest& request, std::ostream& err) {
    Bytes text;
    try {
        text = readWholeFile(pathFromUtf8(request.projectFile));
    } catch (const FileError& e) {
        fail(err, {request.projectFile, {}, ""}, std::string("cannot read project file: ") + e.what());
        return std::nullopt;
    }
    ProjectReadResult read =
        readProject(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), request.projectFile);
    // Nothing else can be said about a file that is not TOML.
    if (!read.parsed) {
        for (const Diagnostic& error : read.errors) err << formatDiagnostic(error) << '\n';
        return std::nullopt;
    }
    Project& project = read.project;
    fs::path projectDirectory = pathFromUtf8(request.projectFile).parent_path();
    std::vector<std::string> notes;
    std::vector<Diagnostic> warnings = read.warnings;
    if (request.plain) {
        addClassicMessageDefaults(project.settings);
    } else {
        checkLauncherCodes(project.settings, request.projectFile, read.errors);
        addProjectDefaults(project, projectDirectory, request.projectFile, read.errors, notes);
    }
    LoadedProject loaded{project.build,
                         project.console,
                         {},
                         {},
                         project.files.empty() ? SourcePos{} : project.files.front().tablePos,
                         {},
                         {},
                         project.runtimeImage,
                         project.bundledRuntime};
    addRuntimeLibrary(project, request, read.errors);
    // With the runtime library among the files: a manifest may name it.
    if (!request.plain) checkIncludedJars(project, projectDirectory, request.projectFile, read.errors, warnings);
    // With an unsupported code page every non-ASCII text would fail too; that error is reported already.
    if (isSupportedCodePage(project.build.codePage)) {
        addIncludedFileRecords(project.files, project.build.codePage, request.projectFile, project.settings,
                               read.errors);
        loaded.block = encodeSettings(project.settings, project.build.codePage, request.projectFile, read.errors);
    }
    loaded.files = locateIncludedFiles(project.files, pathFromUtf8(request.projectFile).parent_path(),
                                       request.projectFile, read.errors);
    loaded.inputs.push_back({"the project file", pathFromUtf8(request.projectFile)});
    for (const IncludedFile& file : project.files)
        loaded.inputs.push_back({"the included file " + file.path, projectDirectory / pathFromUtf8(file.path)});
    const ResourceOptions& resources = project.resources;
    for (auto [what, written] :
         {std::pair{"the splash picture ", &resources.splashPicture}, std::pair{"the icon ", &resources.icon},
          std::pair{"the manifest ", &resources.manifest}})
        if (*written) loaded.inputs.push_back({what + **written, projectDirectory / pathFromUtf8(**written)});
    loaded.resources = loadApplicationResources(project, pathFromUtf8(request.projectFile).parent_path(),
                                                request.projectFile, read.errors, warnings);
    if (!read.errors.empty()) {
        sortByPosition(read.errors);
        for (const Diagnostic& error : read.errors) err << formatDiagnostic(error) << '\n';
        return std::nullopt;
    }
    sortByPosition(warnings);
    for (const Diagnostic& warning : warnings) err << formatDiagnostic(warning) << '\n';
    for (const std::string& note : notes) err << request.projectFile << ": note: " << note << '\n';
    return loaded;
}

std::optional<Bytes> loadStub(const ChosenPath& stub, std::ostream& err) {
    std::string name = pathToUtf8(stub.path);
    std::error_code ignored;
    if (!fs::exists(stub.path, ignored)) {
        fail(err, stub.where, "stub not found: " + name + stub.hint);
        return std::nullopt;
    }
    Bytes bytes;
    try {
        bytes = readWholeFile(stub.path);
    } catch (const FileError& e) {
        fail(err, stub.where, "cannot read stub " + name + ": " + e.what());
        return std::nullopt;
    }
    if (std::optional<std::string> problem = findStubProblem(bytes)) {
        fail(err, {name, {}, ""}, "not a usable launcher stub: " + *problem);
        return std::nullopt;
    }
    return bytes;
}

std::string machineName(uint16_t machine) {
    switch (machine) {
        case kMachineX86: return "32-bit x86 (0x14c)";
        case kMachineX64: return "64-bit x64 (0x8664)";
        default: return "machine type " + std::to_string(machine);
    }
}

// The machine a PE file is built for, or nothing when it is no PE file.
std::optional<uint16_t> peMachine(const fs::path& file) {
    Bytes start;
    try {
        start = readFileStart(file, 4096);
    } catch (const FileError&) {
        return std::nullopt;
    }
    if (start.size() < 0x40 || start[0] != 'M' || start[1] != 'Z') return std::nullopt;
    uint32_t header = readU32(start, 0x3C);
    if (header > start.size() - 6 || std::memcmp(&start[header], "PE\0\0", 4) != 0) return std::nullopt;
    return readU16(start, header + 4);
}

// Why a Java runtime to ship with the application cannot serve this stub, or nothing.
std::optional<std::string> runtimeProblem(const fs::path& home, const Bytes& stub) {
    std::error_code ignored;
    fs::path library;
    for (const char* folder : {"server", "client"})
        if (library.empty() && fs::is_regular_file(home / "bin" / folder / "jvm.dll", ignored))
            library = home / "bin" / folder / "jvm.dll";
    if (library.empty())
        return "no Java runtime in " + pathToUtf8(home) + ": it has neither bin/server/jvm.dll nor bin/client/jvm.dll";
    std::optional<uint16_t> machine = peMachine(library);
    if (!machine) return pathToUtf8(library) + " is not a Windows DLL";
    uint16_t wanted = readU16(stub, readU32(stub, 0x3C) + 4);
    if (*machine != wanted)
        return pathToUtf8(library) + " is built for " + machineName(*machine) + ", but the executable is " +
               machineName(wanted) + "; it could not load this runtime";
    return std::nullopt;
}

// The runtime image beside the output, linked and checked against the stub; nothing after an error.
std::optional<RuntimeImage> linkRuntimeImage(const BuildRequest& request, const LoadedProject& project,
                                             const Bytes& stub, const fs::path& output, std::ostream& out,
                                             std::ostream& err) {
    RuntimeImageRequest image{*project.runtimeImage,
                              request.projectFile,
                              pathFromUtf8(request.projectFile).parent_path(),
                              {},
                              stubLayout(stub).architecture,
                              output.parent_path() / pathFromUtf8(*project.bundledRuntime)};
    for (const IncludedFileSource& file : project.files)
        if (file.path.extension() == ".jar") image.jars.push_back(file.path);
    std::optional<RuntimeImage> made = makeRuntimeImage(image, out, err);
    if (!made) return std::nullopt;
    if (std::optional<std::string> problem = runtimeProblem(made->home, stub)) {
        fail(err, {request.projectFile, project.runtimeImage->pos, ""}, "[runtime] image: " + *problem);
        return std::nullopt;
    }
    return made;
}

// The executable and the runtime folder beside it (when there is one) in one zip, named like the executable.
int writePackage(const LoadedProject& project, const fs::path& output, std::ostream& out, std::ostream& err) {
    std::optional<fs::path> runtime;
    std::error_code ignored;
    fs::path folder = output.parent_path() / pathFromUtf8(project.bundledRuntime.value_or(""));
    if (project.bundledRuntime && fs::is_directory(folder, ignored)) runtime = folder;
    fs::path archive = fs::path(output).replace_extension(".zip");
    try {
        writeDistributionZip(archive, output, runtime);
    } catch (const FileError& e) {
        return fail(err, {}, "cannot write " + pathToUtf8(archive) + ": " + e.what());
    }
    out << "wrote " << pathToUtf8(archive) << " (" << fs::file_size(archive, ignored) << " bytes: "
        << pathToUtf8(output.filename())
        << (runtime ? " and " + pathToUtf8(runtime->lexically_relative(output.parent_path())) : "")
        << " in the folder " << pathToUtf8(output.stem()) << ")\n";
    return kExitSuccess;
}

// Creates the output's folder, writes the executable and makes it executable (as the umask allows).
void writeOutput(const fs::path& output, const Bytes& stub, const Bytes& block,
                 const std::vector<IncludedFileSource>& files) {
    std::error_code error;
    if (output.has_parent_path()) fs::create_directories(output.parent_path(), error);
    if (error) throw FileError("cannot create the folder " + pathToUtf8(output.parent_path()) + ": " + error.message());
    writeFileReplacing(output, [&](std::ostream& image) { writeExecutable(image, stub, block, files); });
#ifndef _WIN32
    mode_t mask = umask(0);
    umask(mask);
    fs::permissions(output, static_cast<fs::perms>(0777 & ~mask), error);
#endif
}

}  // namespace

int runBuild(const BuildRequest& request, std::ostream& out, std::ostream& err) {
    std::optional<LoadedProject> project = loadProject(request, err);
    if (!project) return kExitBadInput;

    fs::path projectPath = pathFromUtf8(request.projectFile);
    ChosenPath stub = chooseStub(request, project->build, projectPath.parent_path());
    std::optional<Bytes> stubBytes = loadStub(stub, err);
    if (!stubBytes) return kExitBadInput;
    if (std::optional<std::string> wanted = requiredArchitecture(request, project->build)) {
        std::string actual = stubLayout(*stubBytes).architecture;
        if (actual != *wanted) {
            Diagnostic where = project->build.architecture
                                   ? Diagnostic{request.projectFile, project->build.architecturePos, ""}
                                   : Diagnostic{pathToUtf8(stub.path), {}, ""};
            return fail(err, where,
                        "the stub " + pathToUtf8(stub.path) + " is a " + describeArchitecture(actual) +
                            " launcher, but the architecture to build is " + describeArchitecture(*wanted) +
                            (project->build.architecture ? "" : " (the default; choose one with [build] architecture)"));
        }
    }
    std::optional<std::string> runtime = request.runtime ? request.runtime : project->build.runtime;
    if (runtime) {
        fs::path home = request.runtime ? pathFromUtf8(*runtime) : projectPath.parent_path() / pathFromUtf8(*runtime);
        if (std::optional<std::string> problem = runtimeProblem(home, *stubBytes))
            return fail(err, request.runtime ? Diagnostic{} : Diagnostic{request.projectFile, project->build.runtimePos, ""},
                        *problem);
    }
    if (project->console) setSubsystem(*stubBytes, kSubsystemConsole);
    try {
        addApplicationResources(*stubBytes, project->resources);
    } catch (const std::runtime_error& e) {
        return fail(err, {pathToUtf8(stub.path), {}, ""},
                    std::string("cannot add the application's resources to this stub: ") + e.what());
    }

    fs::path output = chooseOutput(request, project->build, projectPath);
    // Written first beside the output and renamed over it, the executable would replace the input it reads.
    project->inputs.push_back({"the stub", stub.path});
    for (const BuildInput& input : project->inputs) {
        std::error_code ignored;
        if (fs::equivalent(output, input.path, ignored))
            return fail(err, {},
                        "the output " + pathToUtf8(output) + " is " + input.what +
                            " itself; building would overwrite it: choose another output with -o or "
                            "[build] output");
    }

    std::optional<RuntimeImage> image;
    if (project->runtimeImage && !(image = linkRuntimeImage(request, *project, *stubBytes, output, out, err)))
        return kExitBadInput;

    Bytes block = encodeConfigBlock(project->block);
    uint64_t size = executableSize(stubBytes->size(), block.size(), project->files);
    if (size > kMaxExecutableSize)
        return fail(err, {request.projectFile, project->filesPos, ""},
                    "with its included files the executable would be " + std::to_string(size) +
                        " bytes; the launcher reads executables of at most 2147483647 bytes (2 GiB - 1)");
    try {
        writeOutput(output, *stubBytes, block, project->files);
    } catch (const FileError& e) {
        return fail(err, {}, "cannot write output " + pathToUtf8(output) + ": " + e.what());
    }
    out << "wrote " << pathToUtf8(output) << " (" << size << " bytes)\n";
    if (image)
        out << "wrote " << pathToUtf8(image->home) << " (" << image->bytes << " bytes in " << image->files
            << " files: Java " << image->javaVersion << " for " << image->platform << ")\n";
    if (request.zip || project->build.zip) return writePackage(*project, output, out, err);
    return kExitSuccess;
}

}  // namespace tovex
