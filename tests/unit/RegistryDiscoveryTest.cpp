// Runtimes named by the registry, with fixture keys below the test's own key
// and stand-in runtimes that report the versions the cases need.
#include "RegistryDiscoveryInternal.h"

#include <gtest/gtest.h>

#include <string>

#include "Config.h"
#include "JavaVersion.h"
#include "RuntimeTestSupport.h"
#include "TestFiles.h"

namespace {

using testfiles::TempDir;

const std::string kJre = kJreKey;
const std::string kJdk = kJdkKey;

class RegistryDiscoveryTest : public testing::Test {
 protected:
  void SetUp() override { loadConfigRecords(dir_, {}); }

  // A home reporting version (none: a home without java.exe), registered as
  // the JavaSoft version key familyKey\name.
  std::string javaSoftRuntime(const std::string& familyKey, const std::string& name, const char* version) {
    std::string home = dir_ / (familyKey.substr(familyKey.size() - 3) + "-" + name);
    if (version != nullptr) {
      makeStandinJre(home, version);
    } else {
      makeDirectories(home);
    }
    registry_.setString(HKEY_LOCAL_MACHINE, familyKey + "\\" + name, "JavaHome", home);
    return home;
  }

  // A runtime reporting version, listed in root's located-runtime list.
  std::string locatedRuntime(HKEY root, const std::string& label, const char* version) {
    std::string exe = dir_ / (label + "\\bin\\java.exe");
    if (version != nullptr) makeStandinJava(exe, version);
    std::string name = exe;
    for (char& c : name) {
      if (c == '\\') c = '/';
    }
    registry_.createKey(root, std::string(kProductKey) + kLocatedJvmsSubkey + "\\" + name);
    return exe;
  }

  static std::string registryChoice(const char* minimum = "", const char* maximum = "") {
    RuntimeCandidate chosen = testRegistry(minimum, maximum);
    return chosen.accepted() ? chosen.exePath : "(none)";
  }

  static std::string bin(const std::string& home) { return home + "\\bin"; }

  TempDir dir_;
  TestRegistry registry_;
};

TEST_F(RegistryDiscoveryTest, VersionKeysAreTriedFromTheGreatest) {
  std::string missing = javaSoftRuntime(kJre, "1.4.2_03", nullptr);
  std::string prerelease = javaSoftRuntime(kJre, "1.4.2", "1.4.2-beta");
  std::string family = javaSoftRuntime(kJre, "1.4", "1.4.1");
  std::string older = javaSoftRuntime(kJre, "1.3.1_08", "1.3.1_08");
  std::string oldest = javaSoftRuntime(kJre, "1.3", "1.3.0");

  RuntimeCandidate found = scanJavaSoftKey(kJreKey, "", "");
  ASSERT_TRUE(found.accepted());
  EXPECT_TRUE(testfiles::samePath(family + "\\bin\\java.exe", found.exePath)) << found.exePath;
  EXPECT_EQ("1.4.1", found.version);
  EXPECT_EQ(1, standinRuns(bin(prerelease)));  // pre-release runtimes are refused here
  EXPECT_EQ(1, standinRuns(bin(family)));
  EXPECT_EQ(0, standinRuns(bin(older)));
  EXPECT_EQ(0, standinRuns(bin(oldest)));
}

TEST_F(RegistryDiscoveryTest, FamilyKeyPassesAFinerMinimumWhileOlderKeysAreNotRun) {
  std::string family = javaSoftRuntime(kJre, "1.4", "1.4.1");
  std::string older = javaSoftRuntime(kJre, "1.3.1_08", "1.4.2");  // would pass if it ran

  EXPECT_FALSE(scanJavaSoftKey(kJreKey, "1.4.2", "").accepted());
  EXPECT_EQ(1, standinRuns(bin(family)));
  EXPECT_EQ(0, standinRuns(bin(older)));
}

TEST_F(RegistryDiscoveryTest, CurrentVersionPicksTheGreaterOfJdkAndJre) {
  struct Case {
    const char* jdkCurrent;
    const char* jreCurrent;
    const char* expected;  // "jdk", "jre" or "none"
  } const cases[] = {
      {"1.5", "1.4", "jdk"},
      {"1.4", "1.5", "jre"},
      {"1.5", "1.5", "jre"},  // equal: the runtime environment's
      {nullptr, "1.4", "jre"},
      {"1.5", nullptr, "jdk"},
      {nullptr, nullptr, "none"},
  };
  std::string jdk14 = javaSoftRuntime(kJdk, "1.4", "1.4.0");
  std::string jdk15 = javaSoftRuntime(kJdk, "1.5", "1.5.0");
  std::string jre14 = javaSoftRuntime(kJre, "1.4", "1.4.0");
  std::string jre15 = javaSoftRuntime(kJre, "1.5", "1.5.0");
  for (const Case& c : cases) {
    TestRegistry fresh;  // each case its own CurrentVersion values
    for (const auto& [family, version] : {std::pair{kJdk, c.jdkCurrent}, std::pair{kJre, c.jreCurrent}}) {
      fresh.setString(HKEY_LOCAL_MACHINE, family + "\\1.4", "JavaHome", family == kJdk ? jdk14 : jre14);
      fresh.setString(HKEY_LOCAL_MACHINE, family + "\\1.5", "JavaHome", family == kJdk ? jdk15 : jre15);
      if (version != nullptr) fresh.setString(HKEY_LOCAL_MACHINE, family, "CurrentVersion", version);
    }
    RuntimeCandidate found = scanJavaSoftCurrentVersion("", "");
    bool any = found.accepted();
    std::string label = std::string(c.jdkCurrent ? c.jdkCurrent : "-") + "/" + (c.jreCurrent ? c.jreCurrent : "-");
    ASSERT_EQ(std::string(c.expected) != "none", any) << label;
    if (!any) continue;
    const char* current = std::string(c.expected) == "jdk" ? c.jdkCurrent : c.jreCurrent;
    std::string home = std::string(c.expected) == "jdk" ? (std::string(current) == "1.5" ? jdk15 : jdk14)
                                                        : (std::string(current) == "1.5" ? jre15 : jre14);
    EXPECT_TRUE(testfiles::samePath(home + "\\bin\\java.exe", found.exePath)) << label << " " << found.exePath;
  }
}

TEST_F(RegistryDiscoveryTest, RequiredJdkNeverReadsTheRuntimeEnvironmentKey) {
  loadConfigRecords(dir_, {{key::requireJdk, "1"}});
  std::string jre = javaSoftRuntime(kJre, "1.5", "1.5.0");
  registry_.setString(HKEY_LOCAL_MACHINE, kJre, "CurrentVersion", "1.5");
  EXPECT_EQ("(none)", registryChoice());
  EXPECT_EQ(0, standinRuns(bin(jre)));
}

TEST_F(RegistryDiscoveryTest, GreaterVersionWinsAndLocatedRuntimesWinTies) {
  struct Case {
    const char* javaSoft;
    const char* user;
    const char* machine;
    const char* winner;
  } const cases[] = {
      {"1.4.2_03", "1.5.0", nullptr, "user"},
      {"1.4.2_03", "1.4.2_03", nullptr, "user"},
      {"1.5.0", "1.4.2_03", nullptr, "javasoft"},
      {nullptr, "1.5.0", "1.5.0", "machine"},
      {nullptr, "1.5.1", "1.5.0", "user"},
      {"1.6.0", "1.5.1", "1.5.0", "javasoft"},
      {"1.5.0", nullptr, "1.5.0", "machine"},
      {"1.5.0-ea", nullptr, nullptr, "none"},  // refused from the JavaSoft keys...
      {nullptr, "1.5.0-ea", nullptr, "user"},  // ...accepted from a located list
      {nullptr, nullptr, nullptr, "none"},
  };
  int round = 0;
  for (const Case& c : cases) {
    TestRegistry fresh;
    std::string prefix = "case" + std::to_string(++round);
    std::string expected = "(none)";
    if (c.javaSoft != nullptr) {
      std::string home = dir_ / (prefix + "-javasoft");
      makeStandinJre(home, c.javaSoft);
      fresh.setString(HKEY_LOCAL_MACHINE, kJre + "\\1.5", "JavaHome", home);
      if (std::string(c.winner) == "javasoft") expected = home + "\\bin\\java.exe";
    }
    for (const auto& [root, version, name] : {std::tuple{HKEY_CURRENT_USER, c.user, "user"},
                                              std::tuple{HKEY_LOCAL_MACHINE, c.machine, "machine"}}) {
      if (version == nullptr) continue;
      std::string exe = dir_ / (prefix + "-" + name + "\\bin\\java.exe");
      makeStandinJava(exe, version);
      std::string key = exe;
      for (char& ch : key) {
        if (ch == '\\') ch = '/';
      }
      fresh.createKey(root, std::string(kProductKey) + kLocatedJvmsSubkey + "\\" + key);
      if (std::string(c.winner) == name) expected = exe;
    }
    std::string chosen = registryChoice();
    EXPECT_TRUE(testfiles::samePath(expected, chosen)) << prefix << ": " << chosen << " instead of " << expected;
  }
}

TEST_F(RegistryDiscoveryTest, LocatedListSkipsMissingExecutablesAndTakesTheGreatest) {
  locatedRuntime(HKEY_CURRENT_USER, "gone", nullptr);
  std::string lower = locatedRuntime(HKEY_CURRENT_USER, "lower", "1.4.2");
  std::string greater = locatedRuntime(HKEY_CURRENT_USER, "greater", "1.5.0");
  RuntimeCandidate found = scanLocatedJvms(HKEY_CURRENT_USER, "", "");
  ASSERT_TRUE(found.accepted());
  EXPECT_TRUE(testfiles::samePath(greater, found.exePath)) << found.exePath;
  EXPECT_EQ("1.5.0", found.version);

  // Out of range: only the lower one remains.
  found = scanLocatedJvms(HKEY_CURRENT_USER, "", "1.4");
  ASSERT_TRUE(found.accepted());
  EXPECT_TRUE(testfiles::samePath(lower, found.exePath)) << found.exePath;
}

// With key 3001 on: the keys of Java 9 and later and of vendor installers.
class ModernRegistryTest : public RegistryDiscoveryTest {
 protected:
  void SetUp() override { loadConfigRecords(dir_, {{key::modernRuntime, "1"}}); }

  // A home with a release file naming version, registered under keyPath (below
  // the software key) in value valueName; its folder name ends with a backslash
  // when trailingBackslash, as installers may write it.
  std::string registeredHome(HKEY root, const std::string& keyPath, const char* valueName, const std::string& version,
                             bool trailingBackslash = false) {
    std::string home = dir_ / ("home" + std::to_string(++homes_));
    makeStandinJre(home, "1.2.2");  // the release file answers; a probe would refuse it
    writeReleaseFile(home, version);
    registry_.setString(root, keyPath, valueName, trailingBackslash ? home + "\\" : home);
    return home;
  }

  int homes_ = 0;
};

TEST_F(ModernRegistryTest, EveryLayoutIsFoundInTheMachineAndTheUserPart) {
  const struct {
    const char* keyPath;
    const char* valueName;
    const char* version;
  } layouts[] = {
      {"JavaSoft\\JDK\\17", "JavaHome", "17.0.2"},
      {"JavaSoft\\JRE\\17.0.2", "JavaHome", "17.0.2"},
      {"Eclipse Adoptium\\JDK\\17.0.5.8\\hotspot\\MSI", "Path", "17.0.5"},
      {"Eclipse Adoptium\\JRE\\21.0.5.11\\hotspot\\MSI", "Path", "21.0.5"},
      {"AdoptOpenJDK\\JDK\\11.0.2.9\\hotspot\\MSI", "Path", "11.0.2"},
      {"AdoptOpenJDK\\JRE\\11.0.2.9\\openj9\\MSI", "Path", "11.0.2"},
      {"Microsoft\\JDK\\21.0.5.11\\hotspot\\MSI", "Path", "21.0.5"},
  };
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const auto& layout : layouts) {
      TestRegistry registry;  // each case in keys of its own
      std::string home = registeredHome(root, layout.keyPath, layout.valueName, layout.version, homes_ % 2 == 0);
      loadConfigRecords(dir_, {{key::modernRuntime, "1"}});
      std::string chosen = registryChoice("11");
      EXPECT_TRUE(testfiles::samePath(home + "\\bin\\java.exe", chosen)) << layout.keyPath << ": " << chosen;
      // Without key 3001 these keys are not read.
      loadConfigRecords(dir_, {});
      EXPECT_EQ("(none)", registryChoice()) << layout.keyPath;
    }
  }
}

TEST_F(ModernRegistryTest, HighestVersionFirstThenTheMachineBeforeTheUser) {
  std::string older = registeredHome(HKEY_LOCAL_MACHINE, "JavaSoft\\JDK\\11", "JavaHome", "11.0.22");
  std::string newer = registeredHome(HKEY_CURRENT_USER, "Eclipse Adoptium\\JDK\\17.0.5.8\\hotspot\\MSI", "Path", "17.0.5");
  std::string machine = registeredHome(HKEY_LOCAL_MACHINE, "Microsoft\\JDK\\9.0.4\\hotspot\\MSI", "Path", "9.0.4");
  std::string user = registeredHome(HKEY_CURRENT_USER, "JavaSoft\\JDK\\9.0.4", "JavaHome", "9.0.4");
  const struct {
    const char* minimum;
    const char* maximum;
    std::string chosen;  // empty: none
  } cases[] = {
      {"", "", newer}, {"11", "", newer}, {"", "11", older}, {"", "10", machine}, {"18", "", ""},
  };
  for (const auto& c : cases) {
    std::string chosen = registryChoice(c.minimum, c.maximum);
    if (c.chosen.empty()) {
      EXPECT_EQ("(none)", chosen);
    } else {
      EXPECT_TRUE(testfiles::samePath(c.chosen + "\\bin\\java.exe", chosen))
          << "[" << c.minimum << ", " << c.maximum << "]: " << chosen;
    }
  }
  std::vector<RegisteredHome> homes = modernRegisteredHomes();
  ASSERT_EQ(4u, homes.size());
  EXPECT_EQ("17.0.5.8", homes[0].version);
  EXPECT_EQ(machine, homes[2].home);
  EXPECT_EQ(user, homes[3].home);
}

TEST_F(ModernRegistryTest, TheNewerOfTheClassicAndTheModernKeysWins) {
  std::string classic = javaSoftRuntime(kJre, "1.8", "1.8.0_402");
  std::string modern = registeredHome(HKEY_LOCAL_MACHINE, "JavaSoft\\JRE\\9", "JavaHome", "9.0.4");
  EXPECT_TRUE(testfiles::samePath(modern + "\\bin\\java.exe", registryChoice()));
  EXPECT_TRUE(testfiles::samePath(classic + "\\bin\\java.exe", registryChoice("", "1.8")));
}

}  // namespace
