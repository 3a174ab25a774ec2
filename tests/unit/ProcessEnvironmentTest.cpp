// Preparing the process environment from the configuration: the PATH prefix
// and the working directory.
#include "ProcessEnvironmentInternal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Config.h"
#include "Paths.h"
#include "TestFiles.h"

namespace {

using testfiles::environmentValue;

class ProcessEnvironmentTest : public testing::Test {
 protected:
  void SetUp() override {
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof current);
    savedDirectory_ = current;
  }

  void TearDown() override { SetCurrentDirectoryA(savedDirectory_.c_str()); }

  // Reads a block holding these records into the store.
  void loadBlock(const std::vector<testfiles::NarrowRecord>& records) {
    std::string file = dir_ / ("launcher" + std::to_string(++files_) + ".exe");
    testfiles::writeFile(file, testfiles::executableImage(testfiles::configBlock(records)));
    HANDLE handle = testfiles::openForReading(file);
    ConfigReadResult result = readConfigBlock(handle);
    CloseHandle(handle);
    ASSERT_EQ(ConfigReadResult::ok, result);
  }

  // Sets PATH in the process environment and the C library's copy alike;
  // nullptr removes it from both.
  static void setPath(const char* value) {
    std::string assignment = std::string("PATH=") + (value != nullptr ? value : "");
    ASSERT_EQ(0, _putenv(assignment.c_str()));
    ASSERT_TRUE(SetEnvironmentVariableA("PATH", value));
  }

  // PATH as both environments hold it; a failure when they differ.
  static std::string currentPath() {
    bool present = false;
    std::string process = environmentValue("PATH", &present);
    const char* library = getenv("PATH");
    EXPECT_EQ(present, library != nullptr);
    EXPECT_EQ(process, library != nullptr ? library : "") << "the C library's PATH differs";
    return present ? process : "(absent)";
  }

  static std::string currentDirectory() {
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    return length > 0 && length < sizeof current ? current : "";
  }

  // A directory path in a form fit for comparison: long, without a trailing backslash.
  static std::string comparable(std::string path) {
    char longForm[MAX_PATH];
    DWORD length = GetLongPathNameA(path.c_str(), longForm, sizeof longForm);
    if (length > 0 && length < sizeof longForm) path = longForm;
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
  }

  testfiles::TempDir dir_;

 private:
  testfiles::SavedVariable path_{"PATH"};
  std::string savedDirectory_;
  int files_ = 0;
};

TEST_F(ProcessEnvironmentTest, NothingConfiguredLeavesPathAlone) {
  loadBlock({});
  setPath("c:\\windows\\system32;c:\\windows");
  prependConfiguredPath();
  EXPECT_EQ("c:\\windows\\system32;c:\\windows", currentPath());
}

TEST_F(ProcessEnvironmentTest, ConfiguredDirectoriesGoInFrontOfPath) {
  const std::string dir = executableDirectory();
  loadBlock({{key::pathPrepend, "lib;bin"}});
  setPath("c:\\windows\\system32;c:\\windows");
  prependConfiguredPath();
  EXPECT_EQ(dir + "lib;" + dir + "bin;c:\\windows\\system32;c:\\windows", currentPath());
}

TEST_F(ProcessEnvironmentTest, LongPathIsKeptWhole) {
  std::string longPath;
  for (int i = 0; longPath.size() < 9000; ++i) longPath += "c:\\tools\\directory" + std::to_string(i) + ";";
  longPath += "c:\\last";
  loadBlock({{key::pathPrepend, "lib"}});
  setPath(longPath.c_str());
  prependConfiguredPath();
  EXPECT_EQ(executableDirectory() + std::string("lib;") + longPath, currentPath());
}

TEST_F(ProcessEnvironmentTest, WithoutPathThePrefixAlone) {
  const std::string dir = executableDirectory();
  loadBlock({{key::pathPrepend, "lib;bin"}});
  setPath(nullptr);
  prependConfiguredPath();
  EXPECT_EQ(dir + "lib;" + dir + "bin;", currentPath());
}

TEST_F(ProcessEnvironmentTest, ConfiguredWorkingDirectoryBecomesCurrent) {
  testfiles::makeDirectory(dir_ / "Work Dir");
  std::string exeDir = executableDirectory();
  std::string exeParent = exeDir.substr(0, exeDir.rfind('\\', exeDir.size() - 2));
  struct Case {
    std::string configured;
    std::string expected;
  };
  const Case cases[] = {
      {".", exeDir},
      {"..", exeParent},
      {dir_ / "Work Dir", dir_ / "Work Dir"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("working directory [" + c.configured + "]");
    loadBlock({{key::workingDirectory, c.configured}});
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
    enterWorkingDirectory();
    std::string current = currentDirectory();
    EXPECT_TRUE(testfiles::samePath(comparable(c.expected), comparable(current))) << current;
  }
}

// With key 3001 the working directory waits until its variables are known
// (JavaLaunch's enterExpandedWorkingDirectory).
TEST_F(ProcessEnvironmentTest, WithKey3001TheWorkingDirectoryIsNotEnteredAtTheStart) {
  testfiles::makeDirectory(dir_ / "Work Dir");
  loadBlock({{key::workingDirectory, dir_ / "Work Dir"}, {key::modernRuntime, "1"}});
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
  enterWorkingDirectory();
  EXPECT_TRUE(testfiles::samePath(comparable(dir_.path()), comparable(currentDirectory()))) << currentDirectory();
}

TEST_F(ProcessEnvironmentTest, NoWorkingDirectoryConfiguredLeavesTheCurrentOne) {
  loadBlock({{key::mainClass, "Main"}});
  ASSERT_TRUE(SetCurrentDirectoryA(dir_.path().c_str()));
  enterWorkingDirectory();
  EXPECT_TRUE(testfiles::samePath(comparable(dir_.path()), comparable(currentDirectory())))
      << currentDirectory();
}

}  // namespace
