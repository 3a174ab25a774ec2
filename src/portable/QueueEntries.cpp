// The deletion queue's entry filter.
#include "QueueEntries.h"

#include "DeviceNames.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool startsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerPrefix[i]) return false;
  }
  return true;
}

// Characters the launcher's own paths never hold; ":" is checked apart.
bool hasForeignCharacter(std::string_view path) {
  for (char c : path) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
    if (std::string_view("*?<>|\"/;").find(c) != std::string_view::npos) return true;
  }
  return false;
}

// "X:\" followed by components that are neither empty nor made of dots and
// blanks only (which the system trims to the directory itself or its parent).
bool isPlainDrivePath(std::string_view path) {
  if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return false;
  char drive = path[0];
  if (!((drive >= 'a' && drive <= 'z') || (drive >= 'A' && drive <= 'Z'))) return false;
  std::string_view rest = path.substr(3);
  if (hasForeignCharacter(path) || rest.find(':') != std::string_view::npos) return false;
  while (true) {
    std::size_t end = rest.find('\\');
    std::string_view component = rest.substr(0, end);
    if (component.find_first_not_of(". ") == std::string_view::npos) return false;
    if (end == std::string_view::npos) return true;
    rest.remove_prefix(end + 1);
  }
}

std::string_view withoutTrailingSeparator(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (devicenames::upper(a[i]) != devicenames::upper(b[i])) return false;
  }
  return true;
}

bool isTempLocation(std::string_view directory, const std::vector<std::string>& tempLocations) {
  for (const std::string& location : tempLocations) {
    std::string_view trimmed = withoutTrailingSeparator(location);
    if (!trimmed.empty() && equalsIgnoringCase(directory, trimmed)) return true;
  }
  return false;
}

// The path's last component and the directory that holds it.
void splitLast(std::string_view path, std::string_view* parent, std::string_view* name) {
  std::size_t separator = path.rfind('\\');
  *parent = path.substr(0, separator);
  *name = path.substr(separator + 1);
}

}  // namespace

bool isExtractionDirectoryName(std::string_view name) {
  if (!startsWithIgnoringCase(name, "tvx")) return false;
  name.remove_prefix(3);
  std::size_t hexDigits = 0;
  while (hexDigits < name.size() && isHexDigit(name[hexDigits])) ++hexDigits;
  if (hexDigits == 0 || hexDigits > 4) return false;
  name.remove_prefix(hexDigits);
  if (!startsWithIgnoringCase(name, ".tmp_dir")) return false;
  name.remove_prefix(8);
  if (name.empty() || name.size() > 20) return false;
  for (char c : name) {
    if (!isDigit(c)) return false;
  }
  return true;
}

bool isQueuedDirectoryAccepted(std::string_view path, const std::vector<std::string>& tempLocations) {
  if (!isPlainDrivePath(path)) return false;
  std::string_view parent;
  std::string_view name;
  splitLast(path, &parent, &name);
  return isExtractionDirectoryName(name) && isTempLocation(parent, tempLocations);
}

bool isQueuedFileAccepted(std::string_view path, const std::vector<std::string>& tempLocations) {
  if (!isPlainDrivePath(path)) return false;
  std::string_view directory;
  std::string_view name;
  splitLast(path, &directory, &name);
  return !devicenames::isWindowsDeviceName(name) && isQueuedDirectoryAccepted(directory, tempLocations);
}
