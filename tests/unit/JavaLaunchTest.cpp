// The starter's arguments: the fixed launch parameters from the Config store,
// then the program name, the configured program arguments and the user's
// arguments, with the "-J" ones held back when they go to the JVM.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Config.h"
#include "JavaLaunchInternal.h"
#include "Paths.h"
#include "TestFiles.h"

namespace {

// The variables of a run whose executable is the test program and which has
// no included files and no runtime yet.
VariableValues exeVariables() { return VariableValues{executableDirectory(), "", ""}; }

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
      {"with key 3001 key 124 splits by the C runtime's rule",
       {{key::modernRuntime, "1"}, {key::programArguments, "O'Brien \"say \\\"hi\\\"\" \"a\"\"b c\" C:\\dir\\ \"\""}},
       {L"app.exe", L"u"},
       {L"false", L"", L"", L"", L"false", L"app.exe", L"O'Brien", L"say \"hi\"", L"a\"b c", L"C:\\dir\\", L"", L"u"}},
  };
  for (const Case& c : cases) {
    configure(c.records);
    EXPECT_EQ(c.expected, starterArguments(c.arguments, exeVariables())) << c.label;
  }
}

// With key 3001 the redirection files expand the variables the JVM options
// expand; without it their names are taken as written.
TEST_F(StarterArgumentsTest, WithKey3001RedirectionFilesExpandTheirVariables) {
  testfiles::SavedVariable variable{"TOVEX_UNIT_LOGS"};
  ASSERT_TRUE(SetEnvironmentVariableA("TOVEX_UNIT_LOGS", "C:\\Logs"));
  const std::string exeDir = executableDirectory();
  struct Case {
    const char* modern;
    std::string stderrFile;
    std::string stdoutFile;
  };
  const Case cases[] = {
      {"1", "C:\\Logs\\err.log", exeDir + "out.log"},
      {"0", exeDir + "${TOVEX_UNIT_LOGS}\\err.log", exeDir + "%TOVEX_EXEDIR%out.log"},
  };
  for (const Case& c : cases) {
    configure({{key::modernRuntime, c.modern},
               {key::redirectStderr, "1"},
               {key::stderrFile, "${TOVEX_UNIT_LOGS}\\err.log"},
               {key::redirectStdout, "1"},
               {key::stdoutFile, "%TOVEX_EXEDIR%out.log"}});
    WideArgumentList arguments = starterArguments({}, exeVariables());
    ASSERT_EQ(5u, arguments.size());
    EXPECT_TRUE(testfiles::samePath(c.stderrFile, narrowFromWide(arguments[2].c_str(), CP_ACP))) << c.modern;
    EXPECT_TRUE(testfiles::samePath(c.stdoutFile, narrowFromWide(arguments[3].c_str(), CP_ACP))) << c.modern;
  }
}

// With key 3001 the working directory expands the variables the JVM options
// expand, and says which directory it could not enter.
TEST_F(StarterArgumentsTest, WithKey3001TheWorkingDirectoryExpandsItsVariablesAndNamesAFailure) {
  testfiles::makeDirectory(dir_ / "Work Dir");
  testfiles::SavedVariable variable{"TOVEX_UNIT_WORK"};
  ASSERT_TRUE(SetEnvironmentVariableA("TOVEX_UNIT_WORK", dir_.path().c_str()));
  char saved[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(sizeof saved, saved), 0u);
  const std::string exeDir = executableDirectory();
  // Directories compared without a trailing backslash.
  auto same = [](std::string a, std::string b) {
    if (a.size() > 3 && a.back() == '\\') a.pop_back();
    if (b.size() > 3 && b.back() == '\\') b.pop_back();
    return testfiles::samePath(a, b);
  };
  struct Case {
    std::string configured;
    bool entered;
    std::string expected;  // the directory entered or named as failed; empty: none configured
  };
  const Case cases[] = {
      {"${TOVEX_UNIT_WORK}\\Work Dir", true, dir_ / "Work Dir"},
      {"%TOVEX_EXEDIR%", true, exeDir},
      {"${VANDREL_EXEDIR}.", true, exeDir},
      {"", true, ""},
      {"${TOVEX_UNIT_WORK}\\Missing", false, dir_ / "Missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("working directory [" + c.configured + "]");
    configure({{key::workingDirectory, c.configured}, {key::modernRuntime, "1"}});
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    char directory[MAX_PATH];
    EXPECT_EQ(c.entered, tryEnterExpandedWorkingDirectory(directory, sizeof directory, exeVariables()));
    if (c.expected.empty()) {
      EXPECT_STREQ("", directory);
    } else {
      EXPECT_TRUE(same(c.expected, directory)) << directory;
    }
    char current[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(sizeof current, current), 0u);
    std::string expectedCurrent = c.entered && !c.expected.empty() ? c.expected : dir_.path();
    EXPECT_TRUE(same(expectedCurrent, current)) << current;
  }
  SetCurrentDirectoryA(saved);
}

}  // namespace
