// The starter's arguments: the fixed launch parameters from the Config store,
// then the program name, the configured program arguments and the user's
// arguments, with the "-J" ones held back when they go to the JVM.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Config.h"
#include "JavaLaunchInternal.h"
#include "TestFiles.h"

namespace {

using testfiles::NarrowRecord;
using testfiles::TempDir;

class StarterArgumentsTest : public testing::Test {
 protected:
  void configure(const std::vector<NarrowRecord>& records) {
    ASSERT_EQ(ConfigReadResult::ok, testfiles::loadConfigBlockOf(dir_.path(), records));
  }

  TempDir dir_;
};

TEST_F(StarterArgumentsTest, FixedParametersThenProgramNameConfiguredAndUserArguments) {
  const WideArgumentList user = {L"C:\\app\\app.exe", L"-J-Xmx1g", L"caf\u00e9 \u20ac", L"-Jx", L"-j-lower", L"x-Jinner"};
  struct Case {
    const char* label;
    std::vector<NarrowRecord> records;
    WideArgumentList arguments;
    WideArgumentList expected;
  };
  const Case cases[] = {
      {"nothing configured, no arguments", {}, {}, {L"false", L"", L"", L"", L"false"}},
      {"type 1, main class, starter flag",
       {{key::executableType, "1"}, {key::mainClass, "org.example.Main"}, {key::starterFlag, "1"}},
       {},
       {L"true", L"org.example.Main", L"", L"", L"true"}},
      {"type 2 is not a console start", {{key::executableType, "2"}}, {}, {L"false", L"", L"", L"", L"false"}},
      {"redirection files as full paths only when switched on",
       {{key::redirectStderr, "1"}, {key::stderrFile, "C:\\Logs\\Err.log"}, {key::stdoutFile, "C:\\logs\\out.log"}},
       {},
       {L"false", L"", L"C:\\Logs\\Err.log", L"", L"false"}},
      {"-J arguments reach main without key 125",
       {{key::programArguments, "--from 'the block'"}},
       user,
       {L"false", L"", L"", L"", L"false", L"C:\\app\\app.exe", L"--from", L"the block", L"-J-Xmx1g",
        L"caf\u00e9 \u20ac", L"-Jx", L"-j-lower", L"x-Jinner"}},
      {"-J arguments held back with key 125, the program name never",
       {{key::commandLineVmOptions, "1"}},
       {L"-Japp.exe", L"-Jx", L"kept"},
       {L"false", L"", L"", L"", L"false", L"-Japp.exe", L"kept"}},
  };
  for (const Case& c : cases) {
    configure(c.records);
    EXPECT_EQ(c.expected, starterArguments(c.arguments)) << c.label;
  }
}

}  // namespace
