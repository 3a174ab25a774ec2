#include "TempFilesInternal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "TempTestSupport.h"

namespace {

// A system whose writable directories are a set; making a directory adds it.
struct FakeDisk {
  std::set<std::string> writable;
  std::vector<std::string> probed;
  std::vector<std::string> made;
};

TempLocationSystem fakeSystem(FakeDisk& disk, const char* systemTemp, const char* longTemp) {
  return TempLocationSystem{systemTemp, longTemp, "C:\\windows",
                            [&disk](const char* dir) {
                              disk.probed.push_back(dir);
                              return disk.writable.count(dir) > 0;
                            },
                            [&disk](const char* dir) {
                              disk.made.push_back(dir);
                              disk.writable.insert(dir);
                            }};
}

struct LocationCase {
  const char* name;
  const char* systemTemp;
  const char* longTemp;
  std::set<std::string> writable;
  bool found;
  const char* expected;
  std::vector<std::string> made;
};

const char* kShortTemp = "C:\\DOCUME~1\\J~1\\LOCALS~1\\Temp\\";
const char* kUnicodeLong = "C:\\Documents and Settings\\J?rgen\\Local Settings\\Temp\\";

const LocationCase kLocationCases[] = {
    {"ansi path kept as given", kShortTemp, "C:\\Documents and Settings\\Jens\\Local Settings\\Temp\\", {}, true,
     kShortTemp, {}},
    {"failed long form keeps the system path", kShortTemp, "", {}, true, kShortTemp, {}},
    {"unicode path falls back to the windows temp", kShortTemp, kUnicodeLong,
     {"C:\\windows\\temp", "c:\\temp", "c:\\tmp"}, true, "C:\\windows\\temp", {}},
    {"then c:\\temp", kShortTemp, kUnicodeLong, {"c:\\temp", "c:\\tmp"}, true, "c:\\temp", {}},
    {"then c:\\tmp", kShortTemp, kUnicodeLong, {"c:\\tmp", kUnicodeLong}, true, "c:\\tmp", {}},
    {"then the long form", kShortTemp, kUnicodeLong, {kUnicodeLong, "c:\\"}, true, kUnicodeLong, {}},
    {"a writable drive root gets c:\\tmp", kShortTemp, kUnicodeLong, {"c:\\"}, true, "c:\\tmp", {"c:\\tmp"}},
    {"nothing writable", kShortTemp, kUnicodeLong, {}, false, "", {}},
    {"no system path at all", "", "", {"c:\\temp"}, true, "c:\\temp", {}},
    // A ";" would split the class path and the queue's entries.
    {"a system path with a semicolon falls back", "C:\\a;b\\", "C:\\a;b\\", {"c:\\temp"}, true, "c:\\temp", {}},
    {"a long form with a semicolon is no fallback", kShortTemp, "C:\\J?rgen;x\\",
     {"C:\\J?rgen;x\\", "c:\\"}, true, "c:\\tmp", {"c:\\tmp"}},
};

TEST(PickTempLocation, ChoosesAsTheTableSays) {
  for (const LocationCase& c : kLocationCases) {
    SCOPED_TRACE(c.name);
    FakeDisk disk;
    disk.writable = c.writable;
    char out[kTempLocationSize];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(pickTempLocation(out, sizeof out, fakeSystem(disk, c.systemTemp, c.longTemp)), c.found);
    EXPECT_STREQ(out, c.expected);
    EXPECT_EQ(disk.made, c.made);
  }
}

TEST(PickTempLocation, TakesTheSystemPathWithoutAWriteTest) {
  FakeDisk disk;
  char out[kTempLocationSize];
  ASSERT_TRUE(pickTempLocation(out, sizeof out, fakeSystem(disk, kShortTemp, kShortTemp)));
  EXPECT_TRUE(disk.probed.empty());
}

TEST(PickTempLocation, ADriveRootWhoseDirectoryCannotBeMadeFails) {
  FakeDisk disk;
  disk.writable = {"c:\\"};
  TempLocationSystem system = fakeSystem(disk, kShortTemp, kUnicodeLong);
  system.makeDirectory = [](const char*) {};
  char out[kTempLocationSize];
  EXPECT_FALSE(pickTempLocation(out, sizeof out, system));
}

TEST(PickTempLocation, RefusesACandidateLongerThanTheBuffer) {
  FakeDisk disk;
  disk.writable = {"C:\\windows\\temp", "c:\\temp"};
  char out[8];
  ASSERT_TRUE(pickTempLocation(out, sizeof out, fakeSystem(disk, kShortTemp, kUnicodeLong)));
  EXPECT_STREQ(out, "c:\\temp");
}

TEST(ChooseTempLocation, IsTheSystemTemporaryPathOnThisSystem) {
  char out[kTempLocationSize];
  chooseTempLocation(out, sizeof out);
  std::string expected = systemTempPath();
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(out, expected);
  EXPECT_EQ(expected.back(), '\\');
  EXPECT_FALSE(pathExists(expected + "tvx_w_testdir"));
}

TEST(IsWritableDirectory, RemovesALeftoverAndLeavesNone) {
  std::string dir = makeScratchDirectory("writable");
  std::string test = dir + "\\tvx_w_testdir";
  ASSERT_TRUE(CreateDirectoryA(test.c_str(), nullptr));
  EXPECT_TRUE(isWritableDirectory(dir.c_str()));
  EXPECT_FALSE(pathExists(test));
  EXPECT_TRUE(isWritableDirectory((dir + "\\").c_str()));
  EXPECT_FALSE(pathExists(test));
  removeScratchDirectory(dir);
}

TEST(IsWritableDirectory, IsFalseForAMissingDirectory) {
  std::string dir = makeScratchDirectory("missing");
  std::string missing = dir + "\\absent";
  EXPECT_FALSE(isWritableDirectory(missing.c_str()));
  EXPECT_FALSE(pathExists(missing));
  removeScratchDirectory(dir);
}

TEST(CreateTempFileName, MakesAnEmptyTvxFileInTheTemporaryPath) {
  char name[kTempLocationSize];
  ASSERT_TRUE(createTempFileName(name, sizeof name));
  std::string path = name;
  std::string temp = systemTempPath();
  ASSERT_EQ(path.compare(0, temp.size(), temp), 0) << path;
  std::string file = path.substr(temp.size());
  EXPECT_EQ(file.compare(0, 3, "tvx"), 0) << file;
  EXPECT_EQ(file.substr(file.size() - 4), ".tmp") << file;
  EXPECT_TRUE(pathExists(path));
  EXPECT_EQ(readWholeFile(path), "");
  DeleteFileA(name);
}

TEST(CreateTempFileName, RefusesABufferShorterThanMaxPath) {
  char name[MAX_PATH + 8];
  memset(name, 'x', sizeof name);
  EXPECT_FALSE(createTempFileName(name, MAX_PATH - 1));
  EXPECT_EQ(name[0], 0);
  EXPECT_EQ(name[MAX_PATH - 1], 'x');
}

TEST(ProcessTempFileName, NamesTheFileInTheSystemTemporaryPath) {
  char name[kTempLocationSize];
  processTempFileName(name, sizeof name, 1234);
  EXPECT_EQ(name, systemTempPath() + "tvx_p1234.tmp");
}

TEST(ProcessTempFileName, CutsToTheBuffer) {
  char name[12];
  memset(name, 'x', sizeof name);
  processTempFileName(name, 8, 1234);
  EXPECT_EQ(strlen(name), 7u);
  EXPECT_EQ(name[8], 'x');
}

}  // namespace
