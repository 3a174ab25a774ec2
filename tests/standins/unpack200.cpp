// Stand-in for a Windows runtime's unpack200.exe:
//   unpack200 [-r|--remove-pack-file] [other options] packed-file jar-file
// "Unpacking" copies the packed file's bytes to the jar. Every run is recorded
// (its command line as the program received it) in unpack_calls.log beside
// the program. A configured non-zero unpack_exit_code is a failed unpack: no jar is
// written and the packed file stays. With unpack_hang=1 it writes the start of
// the jar and never ends.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "StandinConfig.h"

namespace {

int fail(const char* message, const std::string& detail, int code) {
  std::fprintf(stderr, "unpack200: %s%s\n", message, detail.c_str());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  standin::Config config(reinterpret_cast<const void*>(&fail));
  config.record("unpack_calls.log", GetCommandLineA());

  bool remove = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-r") == 0 || std::strcmp(argv[i], "--remove-pack-file") == 0) {
      remove = true;
    } else if (argv[i][0] != '-' || argv[i][1] == '\0') {
      files.push_back(argv[i]);
    }
  }
  if (files.size() != 2) return fail("usage: unpack200 [-r] packed-file jar-file", "", 2);

  int configured = config.number("unpack_exit_code", 0);
  if (configured != 0) return fail("configured to fail with exit code ", std::to_string(configured), configured);

  if (config.number("unpack_hang", 0) == 1) {
    // A tool that never finishes: the caller's time limit has to end it.
    if (FILE* jar = std::fopen(files[1].c_str(), "wb")) {
      std::fputs("PK partial", jar);
      std::fclose(jar);
    }
    for (;;) Sleep(INFINITE);
  }
  if (!CopyFileA(files[0].c_str(), files[1].c_str(), FALSE)) return fail("cannot unpack ", files[0], 1);
  if (remove && !DeleteFileA(files[0].c_str())) return fail("cannot remove ", files[0], 1);
  return 0;
}
