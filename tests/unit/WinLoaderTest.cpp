// The search sequence and the loading of jvm.dll, with stand-in runtimes
// and a stand-in library (jvm.dll), copied from tests/standins.
#include "WinLoaderInternal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Config.h"
#include "ErrorReport.h"
#include "RuntimeArchitecture.h"
#include "RuntimeCandidates.h"
#include "RuntimeTestSupport.h"
#include "TestFiles.h"

namespace {

using testfiles::TempDir;

std::string moduleName(HMODULE module) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(module, path, sizeof path);
  return std::string(path, length);
}

class WinLoaderTest : public testing::Test {
 protected:
  void SetUp() override {
    setQuiet();  // failures go to standard error, not to a message box
    configure({});
  }

  // The configuration with the installation directory in the scratch directory.
  void configure(std::vector<testfiles::NarrowRecord> records) {
    records.push_back({key::installationDirectory, dir_.path()});
    loadConfigRecords(dir_, records);
  }

  void writeLocationFile(const char* name, const std::string& text) {
    makeDirectories(dir_ / ".vandrel");
    testfiles::writeFile(dir_ / (std::string(".vandrel\\") + name), text);
  }

  TempDir dir_;
  TestRegistry registry_;
  testfiles::SavedVariable javaHome_{"JAVA_HOME"};
};

TEST_F(WinLoaderTest, JavaHomeIsTheExecutablesDirectoryAndDotDot) {
  const char* cases[][2] = {
      {"c:\\app\\jre\\bin\\javaw.exe", "c:\\app\\jre\\bin\\.."},
      {"c:\\app\\jre\\bin\\java.exe", "c:\\app\\jre\\bin\\.."},
      {"c:\\jdk\\bin\\..\\jre\\bin\\java.exe", "c:\\jdk\\bin\\..\\jre\\bin\\.."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c[1], javaHomeOf(c[0])) << c[0];
  }
}

TEST_F(WinLoaderTest, AbsoluteEntryTexts) {
  const struct {
    const char* text;
    bool absolute;
  } cases[] = {
      {"C:\\java", true}, {"c:", true}, {"\\\\server\\share", true}, {".\\jre", false},
      {"jre", false},     {"\\jre", false}, {"c", false},            {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.absolute, isAbsoluteEntryText(c.text)) << c.text;
}

TEST_F(WinLoaderTest, LocationFileGivesItsFirstLineWithoutLineEnd) {
  const struct {
    const char* content;  // nullptr: no file
    const char* line;     // nullptr: absent
  } cases[] = {
      {"C:\\jre\r\nsecond line\r\n", "C:\\jre"},
      {"C:\\jre\n", "C:\\jre"},
      {"C:\\jre", "C:\\jre"},
      {"", nullptr},
      {nullptr, nullptr},
  };
  for (const auto& c : cases) {
    DeleteFileA((dir_ / ".vandrel\\pref_jre.cfg").c_str());
    if (c.content != nullptr) writeLocationFile("pref_jre.cfg", c.content);
    char line[kTextBufferSize] = "";
    bool found = readLocationFile("\\.vandrel\\pref_jre.cfg", line, sizeof line);
    EXPECT_EQ(c.line != nullptr, found) << (c.content ? c.content : "(no file)");
    if (c.line != nullptr) {
      EXPECT_STREQ(c.line, line);
    }
  }
}

TEST_F(WinLoaderTest, SearchFollowsTheSequenceAndItsRelativePass) {
  std::string current = dir_ / "current";
  makeStandinJre(current, "1.5.0");
  std::string old = dir_ / "old";
  makeStandinJre(old, "1.2.2");
  std::string slashed = current;
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  SetEnvironmentVariableA("JAVA_HOME", slashed.c_str());

  const struct {
    std::string sequence;
    LocationKind kind;
    std::string text;
    std::string home;
  } cases[] = {
      {"Y;EJAVA_HOME;EJDK_HOME;", LocationKind::environmentVariable, "JAVA_HOME", current},
      {";;B" + old + ";R" + current + ";", LocationKind::directory, current, current},
      {"B" + old, LocationKind::directory, old, old},  // too old, taken in the relative pass
      {"A" + old, LocationKind::none, "", ""},         // absolute: no relative pass
      {"X" + current, LocationKind::none, "", ""},
      {"", LocationKind::none, "", ""},
  };
  for (const auto& c : cases) {
    configure({{key::jvmSearchSequence, c.sequence}, {key::minJavaVersion, "1.4"}});
    JvmLocation location;
    EXPECT_EQ(c.kind != LocationKind::none, searchJvm(&location)) << c.sequence;
    EXPECT_EQ(static_cast<int>(c.kind), static_cast<int>(location.kind)) << c.sequence;
    EXPECT_EQ(c.text, location.locationText) << c.sequence;
    if (c.kind != LocationKind::none) {
      EXPECT_TRUE(testfiles::samePath(c.home + "\\bin\\java.exe", location.exePath)) << location.exePath;
    }
  }
}

TEST_F(WinLoaderTest, PreferredLocationComesFirstAndInstallerLocationAfterTheSequence) {
  std::string preferred = dir_ / "preferred";
  makeStandinJre(preferred, "1.5.0");
  std::string installed = dir_ / "installed";
  makeStandinJre(installed, "1.5.0");
  std::string listed = dir_ / "listed";
  makeStandinJre(listed, "1.5.0");

  writeLocationFile("inst_jre.cfg", installed + "\r\n");
  configure({{key::jvmSearchSequence, "B" + listed}});
  JvmLocation location;
  ASSERT_TRUE(searchJvm(&location));
  EXPECT_EQ(listed, location.locationText);

  configure({{key::jvmSearchSequence, "Xnothing"}});
  ASSERT_TRUE(searchJvm(&location));
  EXPECT_EQ(installed, location.locationText);

  writeLocationFile("pref_jre.cfg", preferred + "\n");
  configure({{key::jvmSearchSequence, "B" + listed}});
  ASSERT_TRUE(searchJvm(&location));
  EXPECT_EQ(static_cast<int>(LocationKind::directory), static_cast<int>(location.kind));
  EXPECT_EQ(preferred, location.locationText);
}

TEST_F(WinLoaderTest, LibraryComesFromTheConfiguredFolderThenTheBuiltInOrder) {
  std::string bin = dir_ / "jre\\bin";
  copyStandin(bin + "\\client\\jvm.dll");
  copyStandin(bin + "\\server\\jvm.dll");
  const struct {
    const char* preferredFolder;
    const char* exe;
    const char* loaded;
  } cases[] = {
      {"server", "java.exe", "server"},
      {"", "java.exe", "client"},
      {"", "javaw.exe", "client"},
      {"classic", "java.exe", "client"},  // configured but absent
  };
  for (const auto& c : cases) {
    configure({{key::preferredJvmFolder, c.preferredFolder}});
    HMODULE library = loadJvmLibrary((bin + "\\" + c.exe).c_str());
    ASSERT_NE(nullptr, library) << c.preferredFolder;
    EXPECT_TRUE(testfiles::samePath(bin + "\\" + c.loaded + "\\jvm.dll", moduleName(library)))
        << c.preferredFolder << ": " << moduleName(library);
    FreeLibrary(library);
  }
}

TEST_F(WinLoaderTest, JdkExecutableFindsTheLibraryInItsJreFolder) {
  std::string jdk = dir_ / "jdk";
  copyStandin(jdk + "\\jre\\bin\\client\\jvm.dll");
  HMODULE library = loadJvmLibrary((jdk + "\\bin\\java.exe").c_str());
  ASSERT_NE(nullptr, library);
  EXPECT_TRUE(testfiles::samePath(jdk + "\\jre\\bin\\client\\jvm.dll", moduleName(library))) << moduleName(library);
  FreeLibrary(library);
  EXPECT_EQ(nullptr, loadJvmLibrary((dir_ / "empty\\bin\\java.exe").c_str()));
}

TEST_F(WinLoaderTest, LoadedRuntimeCarriesTheEntryPointAndTheJavaHome) {
  std::string home = dir_ / "jre";
  makeStandinJre(home, "1.5.0");
  std::string broken = dir_ / "broken";
  makeStandinJre(broken, "1.5.0");
  copyStandin(home + "\\bin\\hotspot\\jvm.dll");

  configure({{key::jvmSearchSequence, "B" + broken}});
  EXPECT_FALSE(loadRuntime());
  JvmLocation location;
  ASSERT_TRUE(searchJvm(&location));
  EXPECT_TRUE(testfiles::samePath(broken + "\\bin\\..", javaHomeOf(location.exePath.c_str())));

  configure({{key::jvmSearchSequence, "B" + home}});
  std::optional<LoadedRuntime> runtime = loadRuntime();
  ASSERT_TRUE(runtime);
  EXPECT_NE(nullptr, runtime->createJavaVm);
  EXPECT_TRUE(testfiles::samePath(home + "\\bin\\..", runtime->home)) << runtime->home;
}

TEST_F(WinLoaderTest, SearchPathLooksInThePathFoldersOnlyAndInOrder) {
  testfiles::SavedVariable path{"PATH"};
  char savedDirectory[MAX_PATH];
  GetCurrentDirectoryA(sizeof savedDirectory, savedDirectory);
  std::string current = dir_ / "current";
  makeStandinJava(current + "\\java.exe", "1.5.0");
  std::string first = dir_ / "first";
  makeDirectories(first);
  std::string second = dir_ / "second";
  makeStandinJava(second + "\\java.exe", "1.5.0");
  std::string third = dir_ / "third";
  makeStandinJava(third + "\\java.exe", "1.5.0");
  SetCurrentDirectoryA(current.c_str());

  const struct {
    std::string path;
    const char* found;  // nullptr: none
  } cases[] = {
      // The current directory (and the application's folder) never count.
      {first, nullptr},
      {first + ";" + second + ";" + third, "second"},
      {";\"" + third + "\";" + second, "third"},
      {"current;" + first, nullptr},  // a relative folder is not looked in
      {third + "\\;" + second, "third"},
  };
  for (const auto& c : cases) {
    SetEnvironmentVariableA("PATH", c.path.c_str());
    RuntimeCandidate found = testSearchPath("", "");
    EXPECT_EQ(c.found != nullptr, found.accepted()) << c.path;
    if (c.found != nullptr) {
      EXPECT_TRUE(testfiles::samePath(dir_ / (std::string(c.found) + "\\java.exe"), found.exePath))
          << c.path << ": " << found.exePath;
    }
  }
  SetCurrentDirectoryA(savedDirectory);
}

TEST_F(WinLoaderTest, RuntimeOfTheOtherArchitectureIsSkippedInEveryPass) {
  uint16_t other = launcherMachine() == kMachineI386 ? kMachineAmd64 : kMachineI386;
  std::string foreign = dir_ / "foreign";
  makeStandinJre(foreign, "17.0.2");
  copyStandin(foreign + "\\bin\\server\\jvm.dll");
  setPeMachine(foreign + "\\bin\\server\\jvm.dll", other);
  std::string own = dir_ / "own";
  makeStandinJre(own, "11.0.2");
  copyStandin(own + "\\bin\\server\\jvm.dll");

  const struct {
    std::string sequence;
    bool modern;
    std::string chosen;  // empty: none
  } cases[] = {
      {"A" + foreign + ";A" + own + ";", true, own},
      {"B" + foreign + ";", true, ""},  // not in the relative pass either
      {"A" + foreign + ";A" + own + ";", false, foreign},
  };
  for (const auto& c : cases) {
    std::vector<testfiles::NarrowRecord> records = {{key::jvmSearchSequence, c.sequence}, {key::minJavaVersion, "11"}};
    if (c.modern) records.push_back({key::modernRuntime, "1"});
    configure(records);
    JvmLocation location;
    EXPECT_EQ(!c.chosen.empty(), searchJvm(&location)) << c.sequence;
    if (!c.chosen.empty()) {
      EXPECT_TRUE(testfiles::samePath(c.chosen + "\\bin\\java.exe", location.exePath)) << location.exePath;
    }
    if (c.modern) {
      const RuntimeCandidate* refused = firstArchitectureRefusal();
      ASSERT_NE(nullptr, refused) << c.sequence;
      EXPECT_EQ(other, refused->machine);
      EXPECT_TRUE(testfiles::samePath(foreign + "\\bin\\java.exe", refused->exePath)) << refused->exePath;
    }
  }
}

TEST_F(WinLoaderTest, LibraryOfTheOtherArchitectureIsNeverLoaded) {
  uint16_t other = launcherMachine() == kMachineI386 ? kMachineAmd64 : kMachineI386;
  std::string bin = dir_ / "mixed\\bin";
  copyStandin(bin + "\\server\\jvm.dll");
  setPeMachine(bin + "\\server\\jvm.dll", other);
  copyStandin(bin + "\\classic\\jvm.dll");
  configure({{key::modernRuntime, "1"}});
  HMODULE library = loadJvmLibrary((bin + "\\java.exe").c_str());
  ASSERT_NE(nullptr, library);
  EXPECT_TRUE(testfiles::samePath(bin + "\\classic\\jvm.dll", moduleName(library))) << moduleName(library);
  FreeLibrary(library);
}

// With the modern runtime search a runtime counts once its jvm.dll loads: one
// whose library is missing or broken is refused with its reason and the
// search goes on; without it the search takes the first runtime it finds.
TEST_F(WinLoaderTest, RuntimeWhoseLibraryDoesNotLoadIsRefusedAndTheSearchGoesOn) {
  std::string noLibrary = dir_ / "no-library";
  makeStandinJre(noLibrary, "17.0.2");
  std::string broken = dir_ / "broken";
  makeStandinJre(broken, "17.0.2");
  makeDirectories(broken + "\\bin\\server");
  testfiles::writeFile(broken + "\\bin\\server\\jvm.dll", "not a library");
  std::string good = dir_ / "good";
  makeStandinJre(good, "17.0.2");
  copyStandin(good + "\\bin\\server\\jvm.dll");
  SetEnvironmentVariableA("JAVA_HOME", noLibrary.c_str());

  const struct {
    std::string sequence;
    bool modern;
    std::string chosen;  // empty: none
  } cases[] = {
      {"EJAVA_HOME;A" + broken + ";A" + good + ";", true, good},
      {"EJAVA_HOME;A" + broken + ";", true, ""},
      {"EJAVA_HOME;A" + broken + ";A" + good + ";", false, noLibrary},
  };
  for (const auto& c : cases) {
    std::vector<testfiles::NarrowRecord> records = {{key::jvmSearchSequence, c.sequence}};
    if (c.modern) records.push_back({key::modernRuntime, "1"});
    configure(records);
    JvmLocation location;
    EXPECT_EQ(!c.chosen.empty(), searchJvm(&location)) << c.sequence;
    if (!c.chosen.empty()) {
      EXPECT_TRUE(testfiles::samePath(c.chosen + "\\bin\\java.exe", location.exePath)) << location.exePath;
    }
    EXPECT_EQ(c.modern && !c.chosen.empty(), location.library != nullptr) << c.sequence;
    if (location.library != nullptr) {
      EXPECT_TRUE(testfiles::samePath(good + "\\bin\\server\\jvm.dll", moduleName(location.library)));
    }
    if (!c.modern) continue;
    std::vector<const RuntimeCandidate*> refused;
    for (const RuntimeCandidate& record : candidateRecords()) {
      if (!record.accepted()) refused.push_back(&record);
    }
    ASSERT_EQ(2u, refused.size()) << c.sequence;
    EXPECT_TRUE(testfiles::samePath(noLibrary + "\\bin\\java.exe", refused[0]->exePath)) << refused[0]->exePath;
    EXPECT_EQ("jvm.dll missing", refusalDescription(*refused[0]));
    EXPECT_TRUE(testfiles::samePath(broken + "\\bin\\java.exe", refused[1]->exePath)) << refused[1]->exePath;
    EXPECT_EQ(Refusal::jvmNotLoaded, refused[1]->refusal);
    // The loader's own words follow the refusal's.
    std::string description = refusalDescription(*refused[1]);
    EXPECT_EQ(0u, description.find("jvm.dll failed to load: ")) << description;
    EXPECT_GT(description.size(), strlen("jvm.dll failed to load: ")) << description;
    EXPECT_EQ(std::string::npos, description.find('\n')) << description;
  }
}

TEST_F(WinLoaderTest, SystemMessageTextIsOneLineNamingItsSubject) {
  EXPECT_EQ("error 4294967295", systemMessageText(0xFFFFFFFFu, "x"));
  std::string text = systemMessageText(ERROR_FILE_NOT_FOUND, "x");
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(std::string::npos, text.find_first_of("\r\n")) << text;
  EXPECT_NE('.', text.back()) << text;
}

TEST_F(WinLoaderTest, RuntimeHomeDropsTheBinFolder) {
  const struct {
    const char* exe;
    const char* home;
  } cases[] = {
      {"c:\\jdk-17\\bin\\java.exe", "c:\\jdk-17"},
      {"c:\\jdk-17\\BIN\\javaw.exe", "c:\\jdk-17"},
      {"c:\\odd\\java.exe", "c:\\odd"},
      {"c:\\cabin\\java.exe", "c:\\cabin"},
  };
  for (const auto& c : cases) {
    char home[kTextBufferSize];
    ASSERT_TRUE(runtimeHome(home, sizeof home, c.exe));
    EXPECT_STREQ(c.home, home);
  }
}

}  // namespace
