// Vetting runtimes: the version comparisons, the probe's reading of a
// runtime's output, the probe itself with stand-in runtimes, and the version cache.
#include "JavaVersionInternal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "Paths.h"
#include "RuntimeArchitecture.h"
#include "RuntimeCandidates.h"
#include "RuntimeTestSupport.h"
#include "TestFiles.h"

namespace {

using testfiles::TempDir;

class JavaVersionTest : public testing::Test {
 protected:
  void SetUp() override { loadConfigRecords(dir_, {}); }

  // checkJavaExe of path: the vetted path in *result, the version (when one
  // was obtained) in *version.
  bool check(const std::string& path, std::string* result = nullptr, std::string* version = nullptr,
             const char* minimum = "", const char* maximum = "", bool allowPrerelease = true) {
    RuntimeCandidate candidate = checkJavaExe(path.c_str(), minimum, maximum, allowPrerelease);
    if (result != nullptr) *result = candidate.exePath;
    if (version != nullptr && !candidate.version.empty()) *version = candidate.version;
    return candidate.accepted();
  }

  TempDir dir_;
  TestRegistry registry_;
};

struct RangeCase {
  const char* version;
  const char* minimum;
  const char* maximum;
  bool allowPrerelease;
  const char* allowPrereleaseKey;  // key 130, nullptr when absent
  bool accepted;
};

TEST_F(JavaVersionTest, VersionRangeComparesEachBoundOverItsOwnLength) {
  const RangeCase cases[] = {
      {"1.3.1", "1.3", "1.4", false, nullptr, true},
      {"1.4.2_03", "1.3", "1.4", false, nullptr, true},
      {"1.5.0", "1.3", "1.4", false, nullptr, false},
      {"1.2.2", "1.3", "1.4", false, nullptr, false},
      {"1.10.0", "1.3", "1.4", false, nullptr, false},  // "1.1" sorts below "1.3"
      {"1.4", "1.4.2", "", false, nullptr, false},      // shorter than the bound: its end sorts below
      {"1.4.2", "1.4.2", "1.4.2", false, nullptr, true},
      {"1.5.0_06", "", "1.5", false, nullptr, true},
      {"1.5.0_06", "", "1.5.0_05", false, nullptr, false},
      {"anything", "", "", false, nullptr, true},
      {"1.5.0-ea", "", "", false, nullptr, false},
      {"1.5.0-ea", "", "", true, nullptr, true},
      {"1.5.0-ea", "", "", false, "1", true},
      {"1.5.0-ea", "", "", true, "1", true},
      {"1.5.0-ea", "", "", false, "0", false},
      {"1.6.0-beta2", "", "", false, nullptr, false},
      {"1.6.0-rc", "", "", false, nullptr, false},
      {"1.6.0-RC", "", "", false, nullptr, true},        // the markers are case-sensitive
      {"1.4.2-release", "", "", false, nullptr, false},  // holds "ea"
      {"1.4.2-beta", "1.3", "1.4", true, nullptr, true},
  };
  for (const RangeCase& c : cases) {
    if (c.allowPrereleaseKey != nullptr) {
      loadConfigRecords(dir_, {{key::allowPrereleaseJava, c.allowPrereleaseKey}});
    } else {
      loadConfigRecords(dir_, {});
    }
    EXPECT_EQ(c.accepted, checkVersionRange(c.version, c.minimum, c.maximum, c.allowPrerelease))
        << c.version << " in [" << c.minimum << ", " << c.maximum << "] allow " << c.allowPrerelease << " key 130 "
        << (c.allowPrereleaseKey ? c.allowPrereleaseKey : "absent");
  }
}

TEST_F(JavaVersionTest, VersionPrefixIsCappedByTheNamesLength) {
  struct Case {
    const char* name;
    const char* minimum;
    const char* maximum;
    bool accepted;
  } const cases[] = {
      {"1.4", "1.4.2", "", true},  // a family name passes a finer minimum
      {"1.3.1_08", "1.4.2", "", false},
      {"1.3", "1.4.2", "", false},
      {"1.5.0_06", "", "1.5", true},
      {"1.6", "", "1.5", false},
      {"1.10", "1.2", "", false},  // byte-wise, not numeric
      {"", "1.4", "1.3", true},    // an empty name passes any bounds
      {"1.5.0-beta", "", "", true},  // no pre-release filter here
      {"1.4.2_03", "1.4.2_04", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.accepted, matchesVersionPrefix(c.name, c.minimum, c.maximum))
        << c.name << " in [" << c.minimum << ", " << c.maximum << "]";
  }
}

TEST_F(JavaVersionTest, VersionComesFromBetweenTheQuotesOfTheFirstLine) {
  struct Case {
    const char* line;
    const char* version;  // nullptr: none
  } const cases[] = {
      {"java version \"1.4.2_03\"\n", "1.4.2_03"},
      {"java version \"1.4.2_03\"", "1.4.2_03"},  // the output ends without a line end
      {"java version \"1.4.2_03\"\r\n", "1.4.2_03"},
      {"java version \"1.6.0-ea\"\n", "1.6.0-ea"},
      {"openjdk version \"17.0.1\"\n", nullptr},
      {"Java version \"1.4.2\"\n", nullptr},
      {"java version 1.4.2\n", nullptr},
      {"java version \"1.4.2_0", nullptr},  // cut: no closing quote
      {"java version \"\"\n", nullptr},
      {"java version \"", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    char version[kTextBufferSize] = "";
    bool found = parseVersionLine(c.line, version, sizeof version);
    EXPECT_EQ(c.version != nullptr, found) << c.line;
    if (c.version != nullptr && found) {
      EXPECT_STREQ(c.version, version) << c.line;
    }
  }
}

TEST_F(JavaVersionTest, ProbeCommandLineQuotesTheExecutable) {
  std::string exe = dir_ / "Program Files\\jre\\bin\\java.exe";
  makeStandinJava(exe, "1.4.2");
  char line[kTextBufferSize];
  ASSERT_TRUE(probeCommandLine(line, sizeof line, exe.c_str()));
  std::string text = line;
  ASSERT_GE(text.size(), 12u);
  EXPECT_EQ('"', text[0]);
  EXPECT_EQ("\" -version", text.substr(text.size() - 10));

  char small[16];
  EXPECT_FALSE(probeCommandLine(small, sizeof small, exe.c_str()));
}

TEST_F(JavaVersionTest, ProbeRunsTheRuntimeAndReadsItsErrorStream) {
  struct Case {
    const char* label;
    std::vector<std::string> config;  // standin.cfg
    const char* version;              // nullptr: none
  } const cases[] = {
      {"plain",
       {"version_line=java version \"1.4.2_03\"", "extra_line=Java(TM) 2 Runtime Environment"},
       "1.4.2_03"},
      {"other word", {"version_line=openjdk version \"17\"", "extra_line="}, nullptr},
      {"failing", {"version_line=java version \"1.4.2_03\"", "exit_code=1"}, nullptr},
      {"silent", {"version_line="}, nullptr},
  };
  for (const Case& c : cases) {
    // Under a folder with a blank: the command line must hold the path whole.
    std::string bin = dir_ / (std::string("Program Files\\") + c.label + "\\bin");
    copyStandin(bin + "\\java.exe");
    writeStandinConfig(bin, c.config);

    char version[kTextBufferSize] = "";
    bool found = probeJavaVersion((bin + "\\java.exe").c_str(), version, sizeof version);
    EXPECT_EQ(1, standinRuns(bin)) << c.label;
    EXPECT_EQ(c.version != nullptr, found) << c.label;
    if (c.version != nullptr && found) {
      EXPECT_STREQ(c.version, version) << c.label;
    }
  }
}

TEST_F(JavaVersionTest, HangingRuntimeIsEndedAndRefused) {
  std::string bin = dir_ / "hung\\bin";
  copyStandin(bin + "\\java.exe");
  writeStandinConfig(bin, {"version_line=java version \"1.4.2\"", "hang=1"});
  char version[kTextBufferSize] = "";
  EXPECT_FALSE(probeJavaVersion((bin + "\\java.exe").c_str(), version, sizeof version, 200));
  // Ended, not still running: its executable can be deleted.
  for (int i = 0; i < 100 && !DeleteFileA((bin + "\\java.exe").c_str()); ++i) Sleep(50);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((bin + "\\java.exe").c_str()));
}

TEST_F(JavaVersionTest, MissingExecutableIsRefusedWithoutAVersion) {
  std::string version = "unset";
  EXPECT_FALSE(check(dir_ / "none\\bin\\java.exe", nullptr, &version));
  EXPECT_EQ("unset", version);
}

TEST_F(JavaVersionTest, CheckLeavesAFullLowerCasePathAndTheVersionEvenWhenRefused) {
  std::string exe = dir_ / "Jre\\Bin\\Java.exe";
  makeStandinJava(exe, "1.2.2");
  std::string result;
  std::string version;
  EXPECT_FALSE(check(dir_ / "Jre\\Bin\\..\\Bin\\Java.exe", &result, &version, "1.3"));
  EXPECT_EQ("1.2.2", version);
  char expected[kTextBufferSize];
  fullPath(expected, sizeof expected, exe.c_str(), false);
  EXPECT_EQ(expected, result);
  EXPECT_TRUE(testfiles::samePath(exe, result));
}

TEST_F(JavaVersionTest, ProbedVersionIsCachedUntilTheExecutableChanges) {
  std::string bin = dir_ / "jre\\bin";
  makeStandinJava(bin + "\\java.exe", "1.4.2_03");
  std::string version;
  EXPECT_TRUE(check(bin + "\\java.exe", nullptr, &version));
  EXPECT_TRUE(check(bin + "\\java.exe", nullptr, &version));
  EXPECT_EQ("1.4.2_03", version);
  EXPECT_EQ(1, standinRuns(bin));

  // A new last-write time: probed again, and the new answer cached.
  writeStandinConfig(bin, {"version_line=java version \"1.5.0\""});
  HANDLE file = CreateFileA((bin + "\\java.exe").c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  FILETIME earlier = {0x12345678, 0x01C00000};
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &earlier));
  CloseHandle(file);
  EXPECT_TRUE(check(bin + "\\java.exe", nullptr, &version));
  EXPECT_EQ("1.5.0", version);
  EXPECT_TRUE(check(bin + "\\java.exe", nullptr, &version));
  EXPECT_EQ("1.5.0", version);
  EXPECT_EQ(2, standinRuns(bin));
}

TEST_F(JavaVersionTest, CacheEntryNeedsAnEightByteMatchingTime) {
  const char* exe = "c:\\jre\\bin\\java.exe";
  char keyName[kTextBufferSize + 64];
  ASSERT_TRUE(versionCacheKeyName(keyName, sizeof keyName, exe));
  EXPECT_EQ(std::string(softwareKeyBase()) + "morrowfield\\tovex\\jvms\\c:/jre/bin/java.exe", keyName);

  writeCachedVersion(exe, 0x0102030405060708ull, "1.4.2");
  char version[kTextBufferSize] = "";
  EXPECT_TRUE(readCachedVersion(exe, 0x0102030405060708ull, version, sizeof version));
  EXPECT_STREQ("1.4.2", version);
  EXPECT_FALSE(readCachedVersion(exe, 0x0102030405060709ull, version, sizeof version));

  // The stored form: low 32 bits first.
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_ALL_ACCESS, &key));
  BYTE time[16];
  DWORD size = sizeof time;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "LastWriteTime", nullptr, nullptr, time, &size));
  EXPECT_EQ(8u, size);
  EXPECT_EQ(0x08, time[0]);
  EXPECT_EQ(0x01, time[7]);

  // Nine bytes with the right eight in front: ignored.
  BYTE longer[9] = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 0x00};
  RegSetValueExA(key, "LastWriteTime", 0, REG_BINARY, longer, sizeof longer);
  RegCloseKey(key);
  EXPECT_FALSE(readCachedVersion(exe, 0x0102030405060708ull, version, sizeof version));
}

TEST_F(JavaVersionTest, GuiExecutableNeedsJavawBesideJava) {
  loadConfigRecords(dir_, {{key::executableType, "1"}});
  std::string without = dir_ / "plain\\bin\\java.exe";
  makeStandinJava(without, "1.4.2");
  EXPECT_FALSE(check(without));

  std::string with = dir_ / "windowed\\bin\\java.exe";
  makeStandinJava(with, "1.4.2");
  copyStandin(dir_ / "windowed\\bin\\javaw.exe");
  std::string result;
  EXPECT_TRUE(check(with, &result));
  EXPECT_TRUE(testfiles::samePath(dir_ / "windowed\\bin\\javaw.exe", result)) << result;
}

TEST_F(JavaVersionTest, JavaExecutableOfAHome) {
  std::string jdk = dir_ / "jdk";
  makeStandinJre(jdk + "\\jre", "1.4.2");
  std::string jre = dir_ / "jre";
  makeDirectories(jre);
  std::string toolsJdk = dir_ / "toolsjdk";
  makeDirectories(toolsJdk + "\\lib");
  testfiles::writeFile(toolsJdk + "\\lib\\tools.jar", "");

  struct Case {
    std::string home;
    const char* requireJdk;
    bool answer;
    std::string exe;
  } const cases[] = {
      {jdk, "0", true, jdk + "\\jre\\bin\\java.exe"},
      {jre, "0", true, jre + "\\bin\\java.exe"},  // not looked for here
      {jdk, "1", false, jdk + "\\jre\\bin\\java.exe"},
      {toolsJdk, "1", true, toolsJdk + "\\jre\\bin\\java.exe"},
  };
  for (const Case& c : cases) {
    loadConfigRecords(dir_, {{key::requireJdk, c.requireJdk}});
    char exe[kTextBufferSize] = "";
    EXPECT_EQ(c.answer, javaExeFromHome(c.home.c_str(), exe, sizeof exe)) << c.home << " key 131 " << c.requireJdk;
    EXPECT_EQ(c.exe, exe);
  }
}

// Java 9 and later have neither a jre folder nor tools.jar: with key 3001 a
// JDK is known by its compiler.
TEST_F(JavaVersionTest, RequiredJdkOfJava9AndLater) {
  std::string modernJdk = dir_ / "jdk21";
  makeDirectories(modernJdk + "\\bin");
  testfiles::writeFile(modernJdk + "\\bin\\javac.exe", "");
  std::string modernJre = dir_ / "jre21";
  makeDirectories(modernJre + "\\bin");
  std::string oldJdk = dir_ / "jdk8";  // a jre folder and javac, but no tools.jar
  makeStandinJre(oldJdk + "\\jre", "1.8.0");
  makeDirectories(oldJdk + "\\bin");
  testfiles::writeFile(oldJdk + "\\bin\\javac.exe", "");

  struct Case {
    std::string home;
    const char* modern;  // key 3001
    bool answer;
    std::string exe;
  } const cases[] = {
      {modernJdk, "1", true, modernJdk + "\\bin\\java.exe"},
      {modernJdk, "0", false, modernJdk + "\\jre\\bin\\java.exe"},
      {modernJre, "1", false, modernJre + "\\jre\\bin\\java.exe"},
      {oldJdk, "1", false, oldJdk + "\\jre\\bin\\java.exe"},
  };
  for (const Case& c : cases) {
    loadConfigRecords(dir_, {{key::requireJdk, "1"}, {key::modernRuntime, c.modern}});
    char exe[kTextBufferSize] = "";
    EXPECT_EQ(c.answer, javaExeFromHome(c.home.c_str(), exe, sizeof exe)) << c.home << " key 3001 " << c.modern;
    EXPECT_EQ(c.exe, exe);
  }
}

// With key 3001 on: versions of Java 9 and later.
class ModernRuntimeTest : public JavaVersionTest {
 protected:
  void SetUp() override { modern(true); }
  void modern(bool on, std::vector<testfiles::NarrowRecord> records = {}) {
    if (on) records.push_back({key::modernRuntime, "1"});
    loadConfigRecords(dir_, records);
  }
};

TEST_F(ModernRuntimeTest, ProbeSkipsLeadingLinesAndReadsAnyVersionLine) {
  struct Case {
    const char* label;
    std::vector<std::string> config;  // standin.cfg
    const char* modernVersion;        // nullptr: none
    const char* plainVersion;         // without key 3001
  } const cases[] = {
      {"openjdk", {"version_line=openjdk version \"17.0.2\" 2022-01-18"}, "17.0.2", nullptr},
      {"oracle", {"version_line=java version \"17.0.2\" 2022-01-18 LTS"}, "17.0.2", nullptr},
      {"picked",
       {"leading_line=Picked up JAVA_TOOL_OPTIONS: -Dfile.encoding=UTF-8", "leading_line=Picked up _JAVA_OPTIONS: -Xmx1g",
        "version_line=openjdk version \"21.0.5\" 2024-10-15"},
       "21.0.5", nullptr},
      {"classic", {"version_line=java version \"1.8.0_402\""}, "1.8.0_402", "1.8.0_402"},
      {"failing", {"version_line=openjdk version \"17.0.2\"", "exit_code=1"}, nullptr, nullptr},
      {"silent", {"version_line="}, nullptr, nullptr},
  };
  for (bool on : {true, false}) {
    modern(on);
    for (const Case& c : cases) {
      std::string bin = dir_ / (std::string(on ? "modern\\" : "plain\\") + c.label + "\\bin");
      copyStandin(bin + "\\java.exe");
      writeStandinConfig(bin, c.config);
      const char* expected = on ? c.modernVersion : c.plainVersion;
      char version[kTextBufferSize] = "";
      EXPECT_EQ(expected != nullptr, probeJavaVersion((bin + "\\java.exe").c_str(), version, sizeof version))
          << c.label << " key 3001 " << on;
      if (expected != nullptr) {
        EXPECT_STREQ(expected, version) << c.label;
      }
    }
  }
}

TEST_F(ModernRuntimeTest, ReleaseFileGivesTheVersionWithoutRunningTheRuntime) {
  std::string home = dir_ / "jdk-21";
  makeStandinJre(home, "1.8.0_201");
  writeReleaseFile(home, "21.0.5");
  std::string version;
  EXPECT_TRUE(check(home + "\\bin\\java.exe", nullptr, &version, "17"));
  EXPECT_EQ("21.0.5", version);
  EXPECT_EQ(0, standinRuns(home + "\\bin"));

  // Without key 3001 the release file is not read.
  modern(false);
  EXPECT_TRUE(check(home + "\\bin\\java.exe", nullptr, &version));
  EXPECT_EQ("1.8.0_201", version);
  EXPECT_EQ(1, standinRuns(home + "\\bin"));
}

TEST_F(ModernRuntimeTest, ProbedModernVersionIsCached) {
  std::string bin = dir_ / "jdk17\\bin";
  copyStandin(bin + "\\java.exe");
  writeStandinConfig(bin, {"version_line=openjdk version \"17.0.2\" 2022-01-18"});
  std::string version;
  EXPECT_TRUE(check(bin + "\\java.exe", nullptr, &version, "11"));
  EXPECT_TRUE(check(bin + "\\java.exe", nullptr, &version, "11"));
  EXPECT_EQ("17.0.2", version);
  EXPECT_EQ(1, standinRuns(bin));
}

TEST_F(ModernRuntimeTest, VersionRangeComparesNumbers) {
  const RangeCase cases[] = {
      {"9.0.4", "11", "", false, nullptr, false},
      {"17.0.2", "11", "", false, nullptr, true},
      {"17.0.15", "", "17", false, nullptr, true},
      {"21", "", "17", false, nullptr, false},
      {"21.0.5", "", "17", false, nullptr, false},
      {"1.8.0_402", "1.8", "", false, nullptr, true},
      {"1.8.0_402", "9", "", false, nullptr, false},
      {"1.10.0", "1.9", "", false, nullptr, true},
      {"11.0.22+7", "11", "11", false, nullptr, true},
      {"21-ea", "21", "", false, nullptr, false},  // a pre-release: refused unless allowed
      {"21-ea", "21", "", true, nullptr, true},
      {"21-ea", "21", "", false, "1", true},
  };
  for (const RangeCase& c : cases) {
    std::vector<testfiles::NarrowRecord> records;
    if (c.allowPrereleaseKey != nullptr) records.push_back({key::allowPrereleaseJava, c.allowPrereleaseKey});
    modern(true, records);
    EXPECT_EQ(c.accepted, checkVersionRange(c.version, c.minimum, c.maximum, c.allowPrerelease))
        << c.version << " in [" << c.minimum << ", " << c.maximum << "] allow " << c.allowPrerelease;
  }
}

TEST_F(ModernRuntimeTest, EachRefusalIsRecordedWithItsReason) {
  std::string javaOnly = dir_ / "nojavaw";
  makeStandinJre(javaOnly, "17.0.2");
  std::string ea = dir_ / "ea";
  makeStandinJre(ea, "22-ea");
  std::string silent = dir_ / "silent\\bin";
  copyStandin(silent + "\\java.exe");
  writeStandinConfig(silent, {"version_line="});
  const struct {
    std::string exe;
    const char* minimum;
    const char* maximum;
    bool gui;
    Refusal refusal;
  } cases[] = {
      {javaOnly + "\\bin\\java.exe", "11", "", false, Refusal::none},
      {javaOnly + "\\bin\\java.exe", "18", "", false, Refusal::tooOld},
      {javaOnly + "\\bin\\java.exe", "", "11", false, Refusal::tooNew},
      {javaOnly + "\\bin\\java.exe", "", "", true, Refusal::noJavaw},
      {ea + "\\bin\\java.exe", "", "", false, Refusal::prerelease},
      {silent + "\\java.exe", "", "", false, Refusal::noVersion},
      {dir_ / "none\\bin\\java.exe", "", "", false, Refusal::missing},
  };
  for (const auto& c : cases) {
    modern(true, {{key::executableType, c.gui ? "1" : "0"}});
    clearCandidateRecords();
    check(c.exe, nullptr, nullptr, c.minimum, c.maximum, false);
    ASSERT_EQ(1u, candidateRecords().size()) << c.exe;
    EXPECT_EQ(refusalText(c.refusal), std::string(refusalText(candidateRecords()[0].refusal))) << c.exe;
  }
}

// The words a message and the log give for each reason.
TEST(RefusalText, NamesEachReason) {
  const struct {
    Refusal refusal;
    const char* text;
  } cases[] = {
      {Refusal::none, "accepted"},          {Refusal::missing, "no java executable"},
      {Refusal::noVersion, "no version"},   {Refusal::prerelease, "a pre-release"},
      {Refusal::tooOld, "too old"},         {Refusal::tooNew, "too new"},
      {Refusal::otherArchitecture, "other architecture"}, {Refusal::noJavaw, "no javaw.exe"},
      {static_cast<Refusal>(99), "unknown"},
  };
  for (const auto& c : cases) EXPECT_STREQ(c.text, refusalText(c.refusal)) << static_cast<int>(c.refusal);
}

TEST_F(ModernRuntimeTest, RuntimeOfTheOtherArchitectureIsNeitherProbedNorAccepted) {
  std::string home = dir_ / "jdk64";
  makeStandinJre(home, "17.0.2");
  copyStandin(home + "\\bin\\server\\jvm.dll");
  uint16_t other = launcherMachine() == kMachineI386 ? kMachineAmd64 : kMachineI386;
  setPeMachine(home + "\\bin\\server\\jvm.dll", other);

  clearCandidateRecords();
  EXPECT_FALSE(check(home + "\\bin\\java.exe"));
  EXPECT_EQ(0, standinRuns(home + "\\bin"));
  ASSERT_NE(nullptr, firstArchitectureRefusal());
  EXPECT_EQ(other, firstArchitectureRefusal()->machine);

  // Without key 3001 the architecture is not looked at.
  modern(false);
  EXPECT_TRUE(check(home + "\\bin\\java.exe"));
  EXPECT_EQ(1, standinRuns(home + "\\bin"));
}

}  // namespace
