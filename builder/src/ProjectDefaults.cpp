#include "ProjectDefaults.h"

#include <algorithm>
#include <cstdio>

#include "BlockFormat.h"
#include "FileIo.h"
#include "JarManifest.h"
#include "KeyTable.h"
#include "LauncherCodes.h"
#include "MessageDefaults.h"
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

bool isJar(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".jar") == 0;
}

void addMainClass(Project& project, const fs::path& projectDirectory, const std::string& projectFile,
                  std::vector<Diagnostic>& errors, std::vector<std::string>& notes) {
    const Setting* mainClass = findSetting(project.settings, key::mainClass);
    if (mainClass && !mainClass->text.empty()) return;
    auto jar = std::find_if(project.files.begin(), project.files.end(),
                            [](const IncludedFile& file) { return isJar(fileNameOf(file)); });
    if (jar != project.files.end()) {
        if (std::optional<std::string> fromManifest = jarMainClass(projectDirectory / pathFromUtf8(jar->path))) {
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

}  // namespace tovex
