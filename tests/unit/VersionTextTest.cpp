// Versions read as numbers: the version line, the release file line, the
// numeric order and the bounds, and the machine field of a PE header.
#include "VersionText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RuntimeArchitecture.h"

namespace {

TEST(VersionText, VersionLinesGiveTheTextBetweenTheFirstQuotes) {
  const struct {
    const char* line;
    const char* version;  // nullptr: no version
  } cases[] = {
      {"java version \"1.8.0_402\"", "1.8.0_402"},
      {"openjdk version \"17.0.2\" 2022-01-18", "17.0.2"},
      {"java version \"17.0.2\" 2022-01-18 LTS", "17.0.2"},
      {"openjdk version \"21-ea\" 2023-09-19", "21-ea"},
      {"openjdk version \"11.0.22\" 2024-01-16 LTS", "11.0.22"},
      {"Picked up JAVA_TOOL_OPTIONS: -Dfile.encoding=UTF-8", nullptr},
      {"Picked up _JAVA_OPTIONS: -Dx=\" version \"1\"", nullptr},  // more than one word first
      {"version \"17\"", nullptr},                                  // no word first
      {"openjdk version \"17.0.2", nullptr},                        // cut short: no closing quote
      {"openjdk version \"\"", nullptr},
      {"OpenJDK Runtime Environment (build 17.0.2+8-86)", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    char version[64] = "unset";
    EXPECT_EQ(c.version != nullptr, parseModernVersionLine(c.line, version, sizeof version)) << c.line;
    if (c.version != nullptr) {
      EXPECT_STREQ(c.version, version) << c.line;
    }
  }
}

TEST(VersionText, AVersionTooLongForItsBufferIsRefusedNotCut) {
  char version[5];
  EXPECT_FALSE(parseModernVersionLine("openjdk version \"17.0.2\"", version, sizeof version));
  EXPECT_FALSE(parseReleaseFileLine("JAVA_VERSION=\"17.0.2\"", version, sizeof version));
  EXPECT_TRUE(parseReleaseFileLine("JAVA_VERSION=\"17.0\"", version, sizeof version));
}

TEST(VersionText, ReleaseFileLines) {
  const struct {
    const char* line;
    const char* version;
  } cases[] = {
      {"JAVA_VERSION=\"17.0.2\"\n", "17.0.2"},
      {"JAVA_VERSION=\"21.0.5\"", "21.0.5"},
      {"JAVA_VERSION=\"1.8.0_402\"\r\n", "1.8.0_402"},
      {"JAVA_VERSION_DATE=\"2024-10-15\"", nullptr},
      {"IMPLEMENTOR=\"Eclipse Adoptium\"", nullptr},
      {"JAVA_VERSION=17.0.2", nullptr},
      {"JAVA_VERSION=\"17.0.2", nullptr},
      {" JAVA_VERSION=\"17.0.2\"", nullptr},
  };
  for (const auto& c : cases) {
    char version[64] = "unset";
    EXPECT_EQ(c.version != nullptr, parseReleaseFileLine(c.line, version, sizeof version)) << c.line;
    if (c.version != nullptr) {
      EXPECT_STREQ(c.version, version) << c.line;
    }
  }
}

TEST(VersionText, VersionsCompareComponentByComponentAsNumbers) {
  // Each is below the next.
  const std::vector<const char*> ascending = {"1.4.2_03", "1.5.0_06", "1.8.0_201", "1.8.0_402", "9",
                                              "9.0.4",    "1.10",     "11.0.2",    "11.0.22+7", "17",
                                              "17.0.2",   "17.0.10",  "21-ea",     "21.0.5"};
  for (size_t i = 0; i + 1 < ascending.size(); ++i) {
    EXPECT_LT(compareVersionTexts(ascending[i], ascending[i + 1]), 0) << ascending[i] << " < " << ascending[i + 1];
    EXPECT_GT(compareVersionTexts(ascending[i + 1], ascending[i]), 0) << ascending[i + 1] << " > " << ascending[i];
  }
  const std::vector<std::pair<const char*, const char*>> equal = {
      {"17", "17.0.0"}, {"1.8", "8"}, {"1.8.0", "8.0"}, {"21-ea", "21"}, {"11.0.22+7", "11.0.22"}};
  for (const auto& pair : equal) EXPECT_EQ(0, compareVersionTexts(pair.first, pair.second)) << pair.first;
}

TEST(VersionText, BoundsCountOnlyTheComponentsTheyGive) {
  const struct {
    const char* version;
    const char* minimum;
    const char* maximum;
    bool within;
  } cases[] = {
      {"9.0.4", "11", "", false},
      {"17.0.2", "11", "", true},
      {"11", "11", "", true},
      {"17.0.15", "", "17", true},
      {"18", "", "17", false},
      {"21.0.5", "", "17", false},
      {"1.8.0_402", "1.8", "1.8", true},  // feature release 8
      {"1.8.0_402", "8", "8", true},
      {"1.8.0_402", "9", "", false},
      {"1.10", "1.9", "", true},
      {"1.9", "1.10", "", false},
      {"11.0.22+7", "11.0.22", "11.0.22", true},
      {"21-ea", "21", "21", true},  // the pre-release rule is checked apart
      // The examples of the byte-wise rule keep their answers.
      {"1.3.1", "1.3", "1.4", true},
      {"1.4.2_03", "1.3", "1.4", true},
      {"1.5.0", "1.3", "1.4", false},
      {"1.2.2", "1.3", "1.4", false},
      {"1.10.0", "1.3", "1.4", false},
      {"1.4", "1.4.2", "", false},
      {"1.5.0_06", "", "1.5", true},
      {"1.5.0_06", "", "1.5.0_05", false},
      {"anything", "", "", true},
      {"anything", "11", "", false},
      {"", "", "17", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.within, versionWithinBounds(c.version, c.minimum, c.maximum))
        << c.version << " in [" << c.minimum << ", " << c.maximum << "]";
  }
}

TEST(VersionText, HugeAndManyComponentsStayInBounds) {
  VersionNumber number = parseVersionNumber("99999999999999999999.1.2.3.4.5.6.7.8.9.10");
  EXPECT_EQ(kMaxVersionComponents, number.count);
  EXPECT_EQ(0u, parseVersionNumber("ea").count);
  EXPECT_EQ(0u, parseVersionNumber("").count);
  EXPECT_EQ(1u, parseVersionNumber("17.").count);
}

// A PE image's first bytes: "MZ", the PE header's offset at 0x3C, "PE\0\0"
// and the machine field there.
std::vector<unsigned char> peImage(uint16_t machine, uint32_t peOffset = 0x80, size_t size = 0x100) {
  std::vector<unsigned char> image(size, 0);
  image[0] = 'M';
  image[1] = 'Z';
  for (int i = 0; i < 4; ++i) image[0x3C + i] = static_cast<unsigned char>(peOffset >> (8 * i));
  if (peOffset + 6 <= size) {
    image[peOffset] = 'P';
    image[peOffset + 1] = 'E';
    image[peOffset + 4] = static_cast<unsigned char>(machine);
    image[peOffset + 5] = static_cast<unsigned char>(machine >> 8);
  }
  return image;
}

TEST(RuntimeArchitecture, MachineFieldOfAPeHeader) {
  std::vector<unsigned char> i386 = peImage(kMachineI386);
  std::vector<unsigned char> amd64 = peImage(kMachineAmd64);
  EXPECT_EQ(kMachineI386, peMachineOfImage(i386.data(), i386.size()));
  EXPECT_EQ(kMachineAmd64, peMachineOfImage(amd64.data(), amd64.size()));

  std::vector<unsigned char> notMz = amd64;
  notMz[0] = 'X';
  EXPECT_EQ(0, peMachineOfImage(notMz.data(), notMz.size()));
  std::vector<unsigned char> pastEnd = peImage(kMachineAmd64, 0xFFFFFFF0u);
  EXPECT_EQ(0, peMachineOfImage(pastEnd.data(), pastEnd.size()));
  std::vector<unsigned char> cut = peImage(kMachineAmd64, 0xFC);  // the machine field would lie past the end
  EXPECT_EQ(0, peMachineOfImage(cut.data(), cut.size()));
  EXPECT_EQ(0, peMachineOfImage(amd64.data(), 0x3F));
  std::vector<unsigned char> noSignature = amd64;
  noSignature[0x81] = 'X';
  EXPECT_EQ(0, peMachineOfImage(noSignature.data(), noSignature.size()));
}

TEST(RuntimeArchitecture, TheLauncherKnowsItsOwnMachine) {
  EXPECT_EQ(sizeof(void*) == 8 ? kMachineAmd64 : kMachineI386, launcherMachine());
  EXPECT_STREQ("32-bit", machineText(kMachineI386));
  EXPECT_STREQ("64-bit", machineText(kMachineAmd64));
}

}  // namespace
