// Restoring the jars of a packed runtime with the stand-in unpack200.exe
// (tests/standins), which copies each packed file to its jar and records its
// command line in unpack_calls.log; the note a user sees meanwhile.
#include "PackedRuntimeInternal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Buffers.h"
#include "ChildProcess.h"
#include "RuntimeTestSupport.h"
#include "TestFiles.h"

namespace {

using testfiles::TempDir;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A runtime home under a folder with a blank, its unpacking tool in bin and
// the given packed files (relative to the home), each holding its own name.
std::string packedHome(const TempDir& dir, const std::string& label, const std::vector<std::string>& packed) {
  std::string home = dir / ("Program Files\\" + label + "\\jre");
  copyStandin(home + "\\bin\\unpack200.exe");
  makeDirectories(home + "\\lib\\ext");
  for (const std::string& file : packed) testfiles::writeFile(home + "\\" + file, file);
  return home;
}

std::string unpackLog(const std::string& home) {
  std::string path = home + "\\bin\\unpack_calls.log";
  return exists(path) ? testfiles::readFile(path) : "";
}

// The recorded command lines of the unpacking tool, one per run, in order.
std::vector<std::string> unpackCalls(const std::string& home) {
  std::string text = unpackLog(home);
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  for (std::string::size_type end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

TEST(PackedRuntimeTest, CommandLineQuotesEveryPath) {
  char line[kTextBufferSize];
  ASSERT_TRUE(unpackCommandLine(line, sizeof line, "c:\\program files\\app\\jre",
                                "c:\\program files\\app\\jre\\lib\\rt.jar.pack",
                                "c:\\program files\\app\\jre\\lib\\rt.jar"));
  EXPECT_STREQ(
      "\"c:\\program files\\app\\jre\\bin\\unpack200.exe\" -r \"c:\\program files\\app\\jre\\lib\\rt.jar.pack\" "
      "\"c:\\program files\\app\\jre\\lib\\rt.jar\"",
      line);
  char small[40];
  EXPECT_FALSE(unpackCommandLine(small, sizeof small, "c:\\program files\\app\\jre", "c:\\a.pack", "c:\\a"));
}

TEST(PackedRuntimeTest, PackedFilesAreRestoredInOrderAndMissingOnesSkipped) {
  TempDir dir;
  std::string home = packedHome(dir, "app", {"lib\\jsse.jar.pack", "lib\\ext\\localedata.jar.pack",
                                             "lib\\charsets.jar.pack", "lib\\rt.jar.pack"});
  // The one note of the slow step, on the standard output stream.
  EXPECT_EQ("Preparing JRE ...\n", testfiles::capturedStream(stdout, dir / "stdout.txt",
                                                               [&] { unpackPackedRuntime(home.c_str()); }));
  const std::vector<std::string> jars = {"rt.jar", "charsets.jar", "ext\\localedata.jar", "jsse.jar"};
  std::vector<std::string> calls = unpackCalls(home);
  EXPECT_EQ(jars.size(), calls.size()) << unpackLog(home);
  for (size_t i = 0; i < jars.size() && i < calls.size(); ++i) {
    EXPECT_NE(std::string::npos, calls[i].find("\"" + home + "\\lib\\" + jars[i] + "\"")) << calls[i];
  }
  EXPECT_EQ("lib\\rt.jar.pack", testfiles::readFile(home + "\\lib\\rt.jar"));
  EXPECT_FALSE(exists(home + "\\lib\\rt.jar.pack"));
  EXPECT_FALSE(exists(home + "\\lib\\plugin.jar"));
}

TEST(PackedRuntimeTest, RuntimeIsLeftAloneUnlessPackedAndUnfinished) {
  struct Case {
    const char* label;
    std::vector<std::string> files;
  } const cases[] = {
      {"finished", {"lib\\rt.jar.pack", "lib\\charsets.jar.pack", "lib\\jsse.jar"}},
      {"unmarked", {"lib\\charsets.jar.pack", "lib\\jsse.jar.pack"}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::string home = packedHome(dir, c.label, c.files);
    EXPECT_EQ("", testfiles::capturedStream(stdout, dir / "stdout.txt", [&] { unpackPackedRuntime(home.c_str()); }))
        << c.label;
    EXPECT_EQ("", unpackLog(home)) << c.label;
    for (const std::string& file : c.files) EXPECT_TRUE(exists(home + "\\" + file)) << c.label << " " << file;
  }
}

TEST(PackedRuntimeTest, AToolThatNeverFinishesIsEndedAndTheRuntimeNotUsed) {
  TempDir dir;
  std::string home = packedHome(dir, "hanging", {"lib\\rt.jar.pack", "lib\\jsse.jar.pack"});
  writeStandinConfig(home + "\\bin", {"unpack_hang=1"});
  bool unpacked = true;
  testfiles::capturedStream(stdout, dir / "stdout.txt", [&] { unpacked = unpackPackedRuntime(home.c_str(), 500); });
  EXPECT_FALSE(unpacked);
  // One run, ended: its part of the jar is gone, the packed files stay, and
  // nothing after it was tried.
  EXPECT_EQ(1u, unpackCalls(home).size()) << unpackLog(home);
  EXPECT_FALSE(exists(home + "\\lib\\rt.jar"));
  EXPECT_TRUE(exists(home + "\\lib\\rt.jar.pack"));
  EXPECT_TRUE(exists(home + "\\lib\\jsse.jar.pack"));
  EXPECT_FALSE(exists(home + "\\lib\\jsse.jar"));
}

}  // namespace
