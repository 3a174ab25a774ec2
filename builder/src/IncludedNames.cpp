#include "IncludedNames.h"

#include <algorithm>
#include <climits>

#include "BlockFormat.h"
#include "DeviceNames.h"
#include "Unicode.h"

namespace tovex {
namespace {

constexpr char kNameTerminator = ';';

// Characters Windows refuses in file names, besides the path separators and
// the colon, which the launcher already refuses.
constexpr std::string_view kForbiddenInWindowsNames = "<>\"|?*";

bool isDotOrBlank(char c) { return c == '.' || c == ' '; }

std::string describeByte(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 ? codePointLabel(byte) : std::string("'") + c + "'";
}

// A value as the launcher's text buffer holds it: up to the first NUL, at
// most kMaxTextLength bytes.
std::string_view asLauncherText(std::string_view value) {
    value = value.substr(0, value.find('\0'));
    return value.substr(0, blockformat::kMaxTextLength);
}

}  // namespace

int launcherInt(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    long long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(value * 10 + (text[at] - '0'), static_cast<long long>(INT_MAX) + 1);
    if (negative) value = -value;
    return static_cast<int>(std::min(value, static_cast<long long>(INT_MAX)));
}

std::optional<std::string> unsafeNameProblem(std::string_view name) {
    if (name.find_first_of("/\\") != std::string_view::npos)
        return "has a directory part ('/' or '\\'); it must be a plain file name";
    if (name.find(':') != std::string_view::npos) return "contains ':', which Windows reads as a drive or a stream";
    if (std::all_of(name.begin(), name.end(), isDotOrBlank))
        return "is made only of dots and blanks, which Windows takes for the directory itself";
    return std::nullopt;
}

std::optional<std::string> launcherRefusalProblem(std::string_view storedName) {
    if (std::optional<std::string> unsafe = unsafeNameProblem(storedName)) return unsafe;
    if (devicenames::isWindowsDeviceName(storedName)) return "is the name of a Windows device";
    return std::nullopt;
}

std::optional<std::string> includedNameProblem(std::string_view name) {
    if (name.empty()) return "is empty";
    if (std::optional<std::string> unsafe = unsafeNameProblem(name)) return unsafe;
    if (name.find(kNameTerminator) != std::string_view::npos)
        return "contains ';', which separates the names in the executable";
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || kForbiddenInWindowsNames.find(c) != std::string_view::npos)
            return "contains " + describeByte(c) + ", which Windows does not allow in file names";
    }
    if (isDotOrBlank(name.back())) return "ends with a dot or a blank, which Windows drops from file names";
    if (devicenames::isWindowsDeviceName(name)) return "is the name of a Windows device";
    return std::nullopt;
}

std::string listIncludedNames(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) list += name + kNameTerminator;
    return list;
}

LauncherFileList filesTheLauncherExtracts(std::string_view countValue, std::string_view namesValue) {
    LauncherFileList list{{}, launcherInt(asLauncherText(countValue)), 0};
    std::string_view names = asLauncherText(namesValue);
    while (!names.empty()) {
        std::size_t end = std::min(names.find(kNameTerminator), names.size());
        if (end > 0) {
            ++list.namesListed;
            if (list.names.size() < static_cast<std::size_t>(std::max(list.count, 0)))
                list.names.emplace_back(names.substr(0, end));
        }
        names.remove_prefix(std::min(end + 1, names.size()));
    }
    return list;
}

}  // namespace tovex
