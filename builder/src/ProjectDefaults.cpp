#include "ProjectDefaults.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "BlockFormat.h"
#include "FileIo.h"
#include "JarManifest.h"
#include "KeyTable.h"
#include "LauncherCodes.h"
#include "MessageDefaults.h"
#include "Suggest.h"
#include "WebAddress.h"

namespace fs = std::filesystem;

namespace tovex {
namespace {

const Setting* findSetting(const std::vector<Setting>& settings, int32_t key) {
    auto found = std::find_if(settings.rbegin(), settings.rend(),
                              [&](const Setting& setting) { return !setting.wide && setting.key == key; });
    return found == settings.rend() ? nullptr : &*found;
}

std::optional<std::string> settingText(const std::vector<Setting>& settings, int32_t key) {
    const Setting* setting = findSetting(settings, key);
    return setting ? std::optional<std::string>(setting->text) : std::nullopt;
}

void addUnset(std::vector<Setting>& settings, int32_t key, const std::string& text, const std::string& origin) {
    if (!findSetting(settings, key))
        settings.push_back({key, false, text, origin, SourcePos{}, blockformat::kMaxTextLength});
}

// The launcher hands only well-formed web addresses to the shell (WebAddress.h).
std::optional<std::string> downloadUrlProblem(const std::string& url) {
    if (url.empty()) return std::nullopt;
    webaddress::Check check = webaddress::check(url);
    switch (check.problem) {
        case webaddress::Problem::none: return std::nullopt;
        case webaddress::Problem::notHttp:
            return "\"" + url + "\" is not a web address; the download page must start with https:// or http://";
        case webaddress::Problem::noHost: return "\"" + url + "\" is not a web address: it names no host";
        case webaddress::Problem::badPercent:
            return "\"" + url + "\" is not a well-formed web address: the '%' at character " +
                   std::to_string(check.position + 1) + " is not followed by two hexadecimal digits";
        case webaddress::Problem::badCharacter: break;
    }
    unsigned char c = static_cast<unsigned char>(url[check.position]);
    char code[8];
    std::snprintf(code, sizeof code, "%%%02X", c);
    std::string what = c == ' '                ? "a blank"
                       : c == '"' || c == '\'' ? "a quote"
                       : c < 0x20 || c == 0x7F ? "a control character"
                       : c >= 0x80             ? "a non-ASCII character"
                                               : std::string("'") + static_cast<char>(c) + "'";
    return "the download page's address holds " + what + " at character " + std::to_string(check.position + 1) +
           ", which the browser's command line could split at; write it percent-encoded (" + code + ")";
}

// The problem with one setting's value, by key; nothing for keys not checked here.
std::optional<std::string> codeProblem(const Setting& setting) {
    switch (setting.key) {
        case key::executableType: return executableTypeProblem(setting.text);
        case key::classPath: return classPathCodeProblem(setting.text);
        case key::jvmSearchSequence: return searchCodeProblem(setting.text);
        case key::minJavaVersion:
        case key::maxJavaVersion: return setting.text.empty() ? std::nullopt : javaVersionProblem(setting.text);
        case key::downloadUrl: return downloadUrlProblem(setting.text);
        default: return std::nullopt;
    }
}

std::string fileNameOf(const IncludedFile& file) {
    return file.name ? *file.name : pathToUtf8(pathFromUtf8(file.path).filename());
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool hasExtension(const std::string& name, std::string_view extension) {
    std::string lower = lowerAscii(name);
    return lower.size() > extension.size() &&
           lower.compare(lower.size() - extension.size(), extension.size(), extension) == 0;
}

bool isJar(const std::string& name) { return hasExtension(name, ".jar"); }

// An included archive the JVM reads classes from, and what it holds (nothing when unreadable).
struct IncludedArchive {
    const IncludedFile* file;
    std::optional<JarContents> contents;
};

std::vector<IncludedArchive> readIncludedArchives(const Project& project, const fs::path& projectDirectory) {
    std::vector<IncludedArchive> archives;
    for (const IncludedFile& file : project.files) {
        std::string name = fileNameOf(file);
        if (isJar(name) || hasExtension(name, ".zip"))
            archives.push_back({&file, readJarContents(projectDirectory / pathFromUtf8(file.path))});
    }
    return archives;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// The main class must be in an included jar; only the class path beside the executable could hold it otherwise.
void checkMainClass(const Project& project, const std::vector<IncludedArchive>& archives,
                    const std::string& projectFile, std::vector<Diagnostic>& errors,
                    std::vector<Diagnostic>& warnings) {
    const Setting* mainClass = findSetting(project.settings, key::mainClass);
    // Without a jar of its own a project gives nothing to check against.
    bool ownJars = std::any_of(archives.begin(), archives.end(),
                               [](const IncludedArchive& archive) { return !archive.file->runtimeLibrary; });
    if (!mainClass || mainClass->text.empty() || !ownJars) return;
    std::vector<std::string> jars;
    std::vector<std::string> classes;
    for (const IncludedArchive& archive : archives) {
        // A file that is missing or no archive is reported on its own; nothing can be said about its classes.
        if (!archive.contents) return;
        if (jarHoldsClass(*archive.contents, mainClass->text)) return;
        if (archive.file->runtimeLibrary) continue;
        jars.push_back(archive.file->path);
        for (const std::string& entry : archive.contents->entries) {
            if (!hasExtension(entry, ".class") || entry.compare(0, 9, "META-INF/") == 0) continue;
            std::string name = entry.substr(0, entry.size() - 6);
            std::replace(name.begin(), name.end(), '/', '.');
            classes.push_back(name);
        }
    }
    // A suggestion compares with every class; beyond a few thousand that is not worth the time.
    constexpr std::size_t kMaxSuggestionCandidates = 5000;
    std::vector<std::string_view> candidates;
    if (classes.size() <= kMaxSuggestionCandidates) candidates.assign(classes.begin(), classes.end());
    std::optional<std::string_view> match = closestMatch(mainClass->text, candidates);
    std::string hint = match ? " (did you mean " + std::string(*match) + "?)" : "";
    const Setting* classPath = findSetting(project.settings, key::classPath);
    std::string message = mainClass->origin + ": the main class " + mainClass->text +
                          " is in none of the included jars (" + joined(jars) + ")" + hint;
    if (classPath && !classPath->text.empty()) {
        warnings.push_back({projectFile, mainClass->pos,
                            message + "; it must then come from the class path beside the executable (" +
                                joined(describeClassPathCode(classPath->text)) +
                                "), or the start fails with ClassNotFoundException",
                            true});
        return;
    }
    errors.push_back({projectFile, mainClass->pos,
                      message + "; the start would fail with ClassNotFoundException: correct mainClass, or include "
                                "the jar that holds the class with [[files]] path = \"...\""});
}

// Class-Path entries are relative URLs: "my%20lib.jar" names "my lib.jar".
std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A jar's manifest may name libraries (Class-Path: lib/dep.jar) that the JVM looks for beside the jar, in the
// folder the launcher extracts to, where only the included files are.
void checkManifestClassPaths(const Project& project, const std::vector<IncludedArchive>& archives,
                             const std::string& projectFile, std::vector<Diagnostic>& warnings) {
    std::vector<std::string> included;
    for (const IncludedFile& file : project.files) included.push_back(lowerAscii(fileNameOf(file)));
    for (const IncludedArchive& archive : archives) {
        if (!archive.contents) continue;
        for (const std::string& entry : archive.contents->classPath) {
            std::size_t slash = entry.find_last_of('/');
            std::string name = percentDecoded(entry.substr(slash == std::string::npos ? 0 : slash + 1));
            if (!name.empty() && std::find(included.begin(), included.end(), lowerAscii(name)) != included.end())
                continue;
            warnings.push_back({projectFile, archive.file->pathPos,
                                "the manifest of " + archive.file->path + " names '" + entry +
                                    "' in its Class-Path, which the project does not include; the application "
                                    "will miss its classes at run time: include it with [[files]] path = \"...\"" +
                                    (name.empty() ? "" : " (the included file must be named '" + name + "')") +
                                    ", or remove it from the manifest",
                                true});
        }
    }
}

void addMainClass(Project& project, const fs::path& projectDirectory, const std::string& projectFile,
                  std::vector<Diagnostic>& errors, std::vector<std::string>& notes) {
    const Setting* mainClass = findSetting(project.settings, key::mainClass);
    if (mainClass && !mainClass->text.empty()) return;
    auto jar = std::find_if(project.files.begin(), project.files.end(),
                            [](const IncludedFile& file) { return isJar(fileNameOf(file)); });
    if (jar != project.files.end()) {
        std::optional<JarContents> contents = readJarContents(projectDirectory / pathFromUtf8(jar->path));
        if (std::optional<std::string> fromManifest = contents ? contents->mainClass : std::nullopt) {
            project.settings.push_back({key::mainClass, false, *fromManifest, "the Main-Class of " + jar->path,
                                        jar->pathPos, blockformat::kMaxTextLength});
            notes.push_back("main class " + *fromManifest + " from the manifest of " + jar->path);
            return;
        }
    }
    SourcePos pos = mainClass ? mainClass->pos : jar != project.files.end() ? jar->pathPos : SourcePos{1, 1};
    std::string because = jar != project.files.end() ? " (the manifest of " + jar->path + " names none)"
                                                     : " (the project includes no jar)";
    errors.push_back({projectFile, pos,
                      "no main class: set mainClass = \"com.example.Main\", or include first a jar whose manifest "
                      "names its Main-Class" + because});
}

}  // namespace

void checkLauncherCodes(const std::vector<Setting>& settings, const std::string& projectFile,
                        std::vector<Diagnostic>& errors) {
    bool boundsValid = true;
    for (const Setting& setting : settings) {
        if (setting.wide) continue;
        if (std::optional<std::string> problem = codeProblem(setting)) {
            errors.push_back({projectFile, setting.pos, setting.origin + ": " + *problem});
            boundsValid = boundsValid && setting.key != key::minJavaVersion && setting.key != key::maxJavaVersion;
        }
    }
    const Setting* minimum = findSetting(settings, key::minJavaVersion);
    const Setting* maximum = findSetting(settings, key::maxJavaVersion);
    if (boundsValid && minimum && maximum && !minimum->text.empty() && !maximum->text.empty() &&
        versionAbove(minimum->text, maximum->text))
        errors.push_back({projectFile, maximum->pos,
                          maximum->origin + ": the maximum Java version \"" + maximum->text +
                              "\" is below the minimum \"" + minimum->text + "\" (" + minimum->origin + " at line " +
                              std::to_string(minimum->pos.line) + "); no runtime could match"});
}

void addProjectDefaults(Project& project, const fs::path& projectDirectory, const std::string& projectFile,
                        std::vector<Diagnostic>& errors, std::vector<std::string>& notes) {
    std::vector<Setting>& settings = project.settings;
    addUnset(settings, key::executableType, "1", "the default executable type (GUI)");
    addUnset(settings, key::jvmSearchSequence, defaultSearchCode(project.bundledRuntime), "the default search");
    if (project.modernRuntime.value_or(true)) addUnset(settings, key::modernRuntime, "1", "the modern runtime search");
    addMainClass(project, projectDirectory, projectFile, errors, notes);
    const Setting* modern = findSetting(settings, key::modernRuntime);
    addMessageDefaults(settings,
                       {settingText(settings, key::applicationName), settingText(settings, key::minJavaVersion),
                        settingText(settings, key::maxJavaVersion), modern && modern->text != "0",
                        settingText(settings, key::downloadUrl)});
}

void checkIncludedJars(const Project& project, const fs::path& projectDirectory, const std::string& projectFile,
                       std::vector<Diagnostic>& errors, std::vector<Diagnostic>& warnings) {
    std::vector<IncludedArchive> archives = readIncludedArchives(project, projectDirectory);
    checkMainClass(project, archives, projectFile, errors, warnings);
    checkManifestClassPaths(project, archives, projectFile, warnings);
}

}  // namespace tovex
