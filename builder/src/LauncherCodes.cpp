#include "LauncherCodes.h"

#include <regex>

#include "Suggest.h"

namespace tovex {
namespace {

constexpr std::string_view kEnvPrefix = "env:";
constexpr std::string_view kDirPrefix = "dir:";

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string backslashes(std::string_view path) {
    std::string out(path);
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::string forwardSlashes(std::string_view path) {
    std::string out(path);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

// The entries of a code, split at ';'; empty entries are skipped as the launcher does.
std::vector<std::string_view> codeEntries(std::string_view code) {
    std::vector<std::string_view> entries;
    while (!code.empty()) {
        std::size_t end = code.find(';');
        std::string_view entry = code.substr(0, end);
        if (!entry.empty()) entries.push_back(entry);
        if (end == std::string_view::npos) break;
        code.remove_prefix(end + 1);
    }
    return entries;
}

std::string quotedEntry(std::string_view entry) { return "'" + std::string(entry) + "'"; }

// A folder or variable name in a code cannot hold the separator.
std::optional<std::string> separatorProblem(std::string_view word) {
    if (word.find(';') != std::string_view::npos) return quotedEntry(word) + " contains ';', which separates entries";
    return std::nullopt;
}

// The numbers of a version, with a leading "1." dropped (1.8.0_402 is 8.0.402).
std::vector<long> versionNumbers(std::string_view text) {
    std::vector<long> numbers;
    long current = -1;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            current = (current < 0 ? 0 : current) * 10 + (c - '0');
            if (current > 1000000) current = 1000000;
        } else if (c == '.' || c == '_') {
            if (current >= 0) numbers.push_back(current);
            current = -1;
        } else {
            break;
        }
    }
    if (current >= 0) numbers.push_back(current);
    if (numbers.size() >= 2 && numbers[0] == 1) numbers.erase(numbers.begin());
    return numbers;
}

}  // namespace

std::optional<std::string> searchEntryCode(std::string_view word, const std::optional<std::string>& bundled,
                                           std::string& problem) {
    if (std::optional<std::string> separator = separatorProblem(word)) {
        problem = *separator;
        return std::nullopt;
    }
    if (word == "bundled") {
        if (!bundled) {
            problem = "'bundled' needs the folder of the bundled runtime: [runtime] bundled = \"jre\"";
            return std::nullopt;
        }
        return "A" + backslashes(*bundled) + ";";
    }
    if (word == "registry") return std::string("Y;");
    if (word == "path") return std::string("S;");
    if (startsWith(word, kEnvPrefix) || startsWith(word, kDirPrefix)) {
        bool env = startsWith(word, kEnvPrefix);
        std::string_view rest = word.substr(env ? kEnvPrefix.size() : kDirPrefix.size());
        if (rest.empty()) {
            problem = env ? "'env:' needs a variable name, e.g. \"env:JAVA_HOME\""
                                              : "'dir:' needs a folder, e.g. \"dir:C:\\\\Java\\\\jdk\"";
            return std::nullopt;
        }
        return (env ? "E" : "A") + (env ? std::string(rest) : backslashes(rest)) + ";";
    }
    std::optional<std::string_view> match =
        closestMatch(word, {"bundled", "registry", "path", "env:JAVA_HOME", "dir:"});
    problem = "unknown search entry " + quotedEntry(word) +
              (match ? " (did you mean '" + std::string(*match) + "'?)" : std::string()) +
              "; use \"bundled\", \"env:NAME\", \"registry\", \"path\" or \"dir:FOLDER\"";
    return std::nullopt;
}

std::string defaultSearchCode(const std::optional<std::string>& bundled) {
    std::string code = bundled ? "A" + backslashes(*bundled) + ";" : "";
    return code + "EJAVA_HOME;Y;S;";
}

std::optional<std::string> classPathEntryCode(std::string_view path, bool required, std::string& problem) {
    std::string flag = required ? "1" : "0";
    if (std::optional<std::string> separator = separatorProblem(path)) {
        problem = *separator;
        return std::nullopt;
    }
    if (startsWith(path, kEnvPrefix)) {
        if (path.size() == kEnvPrefix.size()) {
            problem = "'env:' needs a variable name, e.g. \"env:EXTRA_CP\"";
            return std::nullopt;
        }
        return "E" + flag + std::string(path.substr(kEnvPrefix.size())) + ";";
    }
    std::string windows = backslashes(path);
    std::size_t lastSlash = windows.rfind('\\');
    std::string last = windows.substr(lastSlash == std::string::npos ? 0 : lastSlash + 1);
    if (last == "*" || last == "*.jar") {
        std::string folder = lastSlash == std::string::npos ? "." : windows.substr(0, lastSlash);
        if (folder.empty()) folder = "\\";
        return "S" + flag + folder + ";";
    }
    if (windows.find('*') != std::string::npos || windows.find('?') != std::string::npos) {
        problem = quotedEntry(path) + ": a wildcard can only stand for a folder's archives, as in \"lib/*\" or \"lib/*.jar\"";
        return std::nullopt;
    }
    if (windows.empty()) {
        problem = "an empty class path entry; write a file (\"lib/app.jar\"), a folder's archives (\"lib/*\"), "
                  "a folder of classes (\"classes/\") or \"env:NAME\"";
        return std::nullopt;
    }
    if (windows.back() == '\\') {
        windows.pop_back();
        return "D" + flag + (windows.empty() ? std::string("\\") : windows) + ";";
    }
    return "A" + flag + windows + ";";
}

std::optional<std::string> searchCodeProblem(std::string_view code) {
    for (std::string_view entry : codeEntries(code)) {
        char letter = entry[0];
        std::string_view text = entry.substr(1);
        switch (letter) {
            case 'A':
            case 'B':
            case 'R':
                if (text.empty()) return "search entry " + quotedEntry(entry) + " needs a folder after its letter";
                break;
            case 'E':
                if (text.empty()) return "search entry 'E' needs a variable name, e.g. 'EJAVA_HOME'";
                break;
            case 'Y':
            case 'S':
                if (!text.empty())
                    return "search entry " + quotedEntry(entry) + ": '" + std::string(1, letter) +
                           "' takes no text, the launcher would ignore '" + std::string(text) + "'" +
                           (letter == 'S' ? " (for a variable write 'E" + std::string(text) + "')" : "");
                break;
            default:
                return "search entry " + quotedEntry(entry) + " starts with '" + std::string(1, letter) +
                       "', which is not a search type (A, B, R: a folder; E: a variable; Y: the registry; S: the "
                       "PATH), so the launcher would skip it; write [runtime] search = [\"registry\", "
                       "\"env:JAVA_HOME\", \"dir:C:\\\\Java\", ...] instead";
        }
    }
    return std::nullopt;
}

std::optional<std::string> classPathCodeProblem(std::string_view code) {
    for (std::string_view entry : codeEntries(code)) {
        char letter = entry[0];
        if (letter != 'S' && letter != 'D' && letter != 'A' && letter != 'E')
            return "class path entry " + quotedEntry(entry) + " starts with '" + std::string(1, letter) +
                   "', which is not a class path type (A or D: a file or folder; S: a folder's archives; E: a "
                   "variable), so the launcher would skip it; write classPath as a list of paths, e.g. "
                   "classPath = [\"" + forwardSlashes(entry) + "\"]";
        if (entry.size() < 2 || (entry[1] != '0' && entry[1] != '1'))
            return "class path entry " + quotedEntry(entry) + " lacks its required flag ('1' or '0') after '" +
                   std::string(1, letter) + "', so the launcher would read '" +
                   std::string(entry.substr(1, 1)) + "' as the flag; write e.g. '" + std::string(1, letter) + "1" +
                   std::string(entry.substr(1)) + "'";
        if (entry.size() == 2) return "class path entry " + quotedEntry(entry) + " has no path after its flag";
    }
    return std::nullopt;
}

std::optional<std::string> executableTypeProblem(std::string_view text) {
    if (text == "0" || text == "1" || text == "5") return std::nullopt;
    return "executable type " + quotedEntry(text) +
           " is not one the launcher knows (1: GUI with message boxes; 0: console, errors on standard error; 5: "
           "console with message boxes); write gui = true or console = true instead";
}

std::optional<std::string> javaVersionProblem(std::string_view text) {
    static const std::regex version(R"(\d+(\.\d+)*(_\d+)?(-[0-9A-Za-z.]+)?(\+[0-9A-Za-z.]+)?)");
    if (std::regex_match(text.begin(), text.end(), version)) return std::nullopt;
    return "\"" + std::string(text) + "\" is not a Java version; write e.g. \"17\", \"1.8.0_402\", \"11.0.22+7\" or \"21-ea\"";
}

bool versionAbove(std::string_view minimum, std::string_view maximum) {
    std::vector<long> low = versionNumbers(minimum), high = versionNumbers(maximum);
    for (std::size_t i = 0; i < low.size() && i < high.size(); ++i)
        if (low[i] != high[i]) return low[i] > high[i];
    return false;
}

std::vector<std::string> describeSearchCode(std::string_view code) {
    std::vector<std::string> words;
    for (std::string_view entry : codeEntries(code)) {
        std::string_view text = entry.substr(1);
        std::string word;
        switch (entry[0]) {
            case 'A':
            case 'B':
            case 'R': word = "dir:" + std::string(text); break;
            case 'E': word = "env:" + std::string(text); break;
            case 'Y': word = "registry"; break;
            case 'S': word = "path"; break;
            default: word = "(skipped: " + std::string(entry) + ")";
        }
        words.push_back(word);
    }
    return words;
}

std::vector<std::string> describeClassPathCode(std::string_view code) {
    std::vector<std::string> words;
    for (std::string_view entry : codeEntries(code)) {
        std::string value = entry.size() > 2 ? forwardSlashes(entry.substr(2)) : "";
        std::string word;
        switch (entry[0]) {
            case 'A': word = value; break;
            case 'D': word = value + "/"; break;
            case 'S': word = value + "/*"; break;
            case 'E': word = "env:" + std::string(entry.substr(entry.size() > 2 ? 2 : entry.size())); break;
            default: word = "(skipped: " + std::string(entry) + ")";
        }
        if (entry.size() >= 2 && entry[1] != '1' && word[0] != '(') word += " (optional)";
        words.push_back(word);
    }
    return words;
}

}  // namespace tovex
