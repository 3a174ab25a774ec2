// Stand-in for a Windows runtime's java.exe (and, built for the GUI
// subsystem, javaw.exe). Like the real program, `-version` prints the version
// to standard error: the configured version line, then the runtime and VM
// lines. Every run is recorded in runs.log beside the program.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "StandinConfig.h"

namespace {

const char* const kDefaultVersionLine = "java version \"1.8.0_201\"";

void writeLine(DWORD stream, const std::string& line) {
  std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(stream), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The version between the quotes of a version line: 1.4.2_03 in
// `java version "1.4.2_03"`.
std::string quotedVersion(const std::string& line) {
  std::string::size_type open = line.find('"');
  std::string::size_type close = line.find('"', open + 1);
  if (open == std::string::npos || close == std::string::npos) return "0";
  return line.substr(open + 1, close - open - 1);
}

// The lines after the version line: the configured extra_line values (an
// empty one prints nothing, so `extra_line=` alone means none), or else the
// two lines a real runtime prints.
std::vector<std::string> extraLines(const standin::Config& config, const std::string& version) {
  if (!config.has("extra_line")) {
    return {"Java(TM) SE Runtime Environment (build " + version + "-b09)",
            "Java HotSpot(TM) Client VM (build " + version + "-b09, mixed mode)"};
  }
  std::vector<std::string> lines;
  for (const std::string& line : config.all("extra_line")) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  standin::Config config(reinterpret_cast<const void*>(&writeLine));
  config.record("runs.log", GetCommandLineA());

  if (config.number("hang", 0) == 1) {
    // A runtime that never answers: the caller's time-out has to end it.
    for (;;) Sleep(INFINITE);
  }
  std::string releaseFile = config.text("wait_for_file", "");
  if (!releaseFile.empty()) {
    // Answers only once the test has made this file beside the program.
    std::string path = config.directory() + releaseFile;
    while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(50);
  }

  std::string versionLine = config.text("version_line", kDefaultVersionLine);
  std::string version = quotedVersion(versionLine);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-version") == 0 || std::strcmp(argv[i], "-showversion") == 0) {
      // An empty version line makes a runtime that prints nothing at all.
      if (versionLine.empty()) break;
      // What a JVM prints first, e.g. "Picked up JAVA_TOOL_OPTIONS: ...".
      for (const std::string& line : config.all("leading_line")) writeLine(STD_ERROR_HANDLE, line);
      writeLine(STD_ERROR_HANDLE, versionLine);
      for (const std::string& line : extraLines(config, version)) writeLine(STD_ERROR_HANDLE, line);
      break;
    }
    if (std::strcmp(argv[i], "-fullversion") == 0) {
      writeLine(STD_ERROR_HANDLE, "java full version \"" + version + "-b09\"");
      break;
    }
  }
  for (const std::string& line : config.all("stdout_line")) writeLine(STD_OUTPUT_HANDLE, line);
  return config.number("exit_code", 0);
}
