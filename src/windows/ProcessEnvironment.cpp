// Initialisation from the loaded configuration: flavour, PATH prefix, working directory.
#include "ProcessEnvironment.h"
#include "ProcessEnvironmentInternal.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "BlockFormat.h"
#include "Buffers.h"
#include "Config.h"
#include "Paths.h"

namespace {

// Process-wide: set once at start-up, read by the units that come later (the
// splash window, the launch) through the getters below.
HINSTANCE instance = nullptr;
char flavour = 0;

}  // namespace

HINSTANCE instanceHandle() { return instance; }

bool isInstallerFlavour() { return flavour == blockformat::kInstallerFlavour; }

bool isWrapperFlavour() { return flavour == blockformat::kWrapperFlavour; }

void prependConfiguredPath() {
  char configured[kTextBufferSize];
  configString(key::pathPrepend, configured, sizeof configured);
  char prefix[kTextBufferSize];
  resolvePathList(prefix, sizeof prefix, configured);

  // The PATH may be longer than a text buffer (up to 32767 characters): it is
  // carried whole rather than cut, so that no directory of the user's is lost.
  std::string path = prefix;
  if (!path.empty() && path.back() != ';') path += ';';
  DWORD needed = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (needed > 0) {
    std::string current(needed, '\0');
    DWORD length = GetEnvironmentVariableA("PATH", &current[0], needed);
    if (length < needed) path.append(current.c_str(), length);
  }

  SetEnvironmentVariableA("PATH", path.c_str());
  std::string assignment = "PATH=" + path;
  _putenv(assignment.c_str());
}

void enterWorkingDirectory() {
  // With key 3001 the directory waits until its variables are known
  // (enterExpandedWorkingDirectory, JavaLaunch).
  if (modernRuntimeSearch()) return;
  char configured[kTextBufferSize];
  configString(key::workingDirectory, configured, sizeof configured);
  if (configured[0] == 0) return;
  char directory[kTextBufferSize];
  fullPath(directory, sizeof directory, configured, false);
  SetCurrentDirectoryA(directory);
}

void initialiseProcess(HINSTANCE moduleInstance) {
  instance = moduleInstance;
  char mark[2];
  configString(key::launcherFlavour, mark, sizeof mark);
  flavour = mark[0];
  prependConfiguredPath();
  enterWorkingDirectory();
}

bool installationFilePath(char* out, size_t capacity, const char* relative) {
  char configured[kTextBufferSize];
  configString(key::installationDirectory, configured, sizeof configured);
  char directory[kTextBufferSize];
  fullPath(directory, sizeof directory, configured, false);
  size_t length = strlen(directory);
  // A drive's root keeps its backslash in the full path; relative brings one.
  if (length > 0 && directory[length - 1] == '\\') directory[length - 1] = 0;
  return formatText(out, capacity, "%s%s", directory, relative);
}
