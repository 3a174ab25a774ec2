// The configuration block: reading it from an executable-like file into a
// store (the loaded one or a value of its own), the ways a damaged block is
// told apart, and the typed getters.
#include "Config.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "BlockFormat.h"
#include "Buffers.h"
#include "TestFiles.h"
#include "UniqueHandle.h"

namespace {

using testfiles::configBlock;
using testfiles::executableImage;
using testfiles::int32Bytes;
using testfiles::kImageEnd;

std::string magicBytes() { return int32Bytes(static_cast<int32_t>(blockformat::kMagic)); }

std::string narrowRecord(int32_t key, const std::string& value) {
  return int32Bytes(key) + int32Bytes(static_cast<int32_t>(value.size())) + value;
}

const char* resultName(ConfigReadResult result) {
  switch (result) {
    case ConfigReadResult::ok: return "ok";
    case ConfigReadResult::badMagic: return "badMagic";
    case ConfigReadResult::badInt: return "badInt";
    case ConfigReadResult::badString: return "badString";
    case ConfigReadResult::badWideString: return "badWideString";
  }
  return "?";
}

class ConfigBlockTest : public testing::Test {
 protected:
  // Writes the bytes as a file of their own and opens it for reading.
  UniqueHandle open(const std::string& bytes) {
    std::string path = dir_ / ("launcher" + std::to_string(++files_) + ".exe");
    testfiles::writeFile(path, bytes);
    return UniqueHandle(testfiles::openForReading(path));
  }

  // Reads the block of such a file into the loaded store.
  ConfigReadResult load(const std::string& bytes) { return readConfigBlock(open(bytes).get()); }

  // Reads the block of such a file into a store of its own.
  ConfigReadResult read(const std::string& bytes, ConfigStore* store) {
    return readConfigBlock(open(bytes).get(), store);
  }

  // A setting of the loaded store, or of the one given.
  static std::string narrow(int key) {
    static char value[kTextBufferSize];
    configString(key, value, sizeof value);
    return value;
  }

  static std::string narrow(const ConfigStore& store, int key) {
    static char value[kTextBufferSize];
    configString(store, key, value, sizeof value);
    return value;
  }

 private:
  testfiles::TempDir dir_;
  int files_ = 0;
};

// The wide records are read past, to where the included files begin.
TEST_F(ConfigBlockTest, ReadsNarrowRecordsAndReadsPastWideOnes) {
  std::string block = configBlock({{key::applicationName, "My App"},
                                   {key::mainClass, "com.example.Main"},
                                   {key::executableType, "5"},
                                   {key::vmParameters, ""}},
                                  {{key::msgNoJvm, L"Keine Java-Laufzeit \u00e9\u4e2d"}});
  ASSERT_EQ(ConfigReadResult::ok, load(executableImage(block + "INCLUDED FILES")));

  EXPECT_EQ("My App", narrow(key::applicationName));
  EXPECT_EQ("com.example.Main", narrow(key::mainClass));
  EXPECT_EQ(5, configInt(key::executableType));
  EXPECT_EQ("", narrow(key::vmParameters));
  EXPECT_EQ("", narrow(key::msgNoJvm));  // a wide record is no setting
  // The included files start right behind the last wide record, not at the end of the file.
  EXPECT_EQ(kImageEnd + block.size(), includedFilesOffset());
}

TEST_F(ConfigBlockTest, AbsentKeysAreEmpty) {
  ASSERT_EQ(ConfigReadResult::ok, load(executableImage(configBlock({{key::mainClass, "Main"}}))));
  EXPECT_EQ("", narrow(key::applicationName));
  EXPECT_EQ(0, configInt(key::splashWidth));
  EXPECT_EQ(0u, configColour(key::statusTextColour));
}

TEST_F(ConfigBlockTest, EmptyBlock) {
  ASSERT_EQ(ConfigReadResult::ok, load(executableImage(configBlock({}, {}) + "rest")));
  EXPECT_EQ("", narrow(key::applicationName));
  // Magic and the two counts.
  EXPECT_EQ(kImageEnd + 12, includedFilesOffset());
}

TEST_F(ConfigBlockTest, LaterRecordOfAKeyWins) {
  ASSERT_EQ(ConfigReadResult::ok,
            load(executableImage(configBlock({{key::mainClass, "First"}, {key::mainClass, "Second"}},
                                             {{key::msgNoJvm, L"one"}, {key::msgNoJvm, L"two"}}))));
  EXPECT_EQ("Second", narrow(key::mainClass));
}

TEST_F(ConfigBlockTest, AWideRecordNeverReplacesANarrowOneOfItsNumber) {
  ASSERT_EQ(ConfigReadResult::ok,
            load(executableImage(configBlock({{key::msgNoJvm, "narrow"}}, {{key::msgNoJvm, L"wide"}}))));
  EXPECT_EQ("narrow", narrow(key::msgNoJvm));
}

TEST_F(ConfigBlockTest, ReadingAgainReplacesTheWholeStore) {
  ASSERT_EQ(ConfigReadResult::ok,
            load(executableImage(configBlock({{key::applicationName, "Old"}}, {{key::msgNoJvm, L"old"}}))));
  ASSERT_EQ(ConfigReadResult::ok, load(executableImage(configBlock({{key::mainClass, "New"}}))));
  EXPECT_EQ("", narrow(key::applicationName));
  EXPECT_EQ("New", narrow(key::mainClass));
}

// A store of its own is read and queried like the loaded one, which it leaves
// alone; what a damaged block held before the damage stays in it, as start-up
// reads the kind of executable of a block it cannot read whole.
TEST_F(ConfigBlockTest, AStoreOfItsOwnLeavesTheLoadedOneAlone) {
  ASSERT_EQ(ConfigReadResult::ok, load(executableImage(configBlock({{key::applicationName, "Loaded"}}))));
  std::string block =
      configBlock({{key::applicationName, "Own"}, {key::splashWidth, "12"}, {key::statusTextColour, "1,2,3"}},
                  {{key::msgNoJvm, L"wide"}});
  ConfigStore store;
  ASSERT_EQ(ConfigReadResult::ok, read(executableImage(block + "files"), &store));
  EXPECT_EQ("Own", narrow(store, key::applicationName));
  EXPECT_EQ(12, configInt(store, key::splashWidth));
  EXPECT_EQ(RGB(1, 2, 3), configColour(store, key::statusTextColour));
  EXPECT_EQ(kImageEnd + block.size(), store.includedFilesOffset);
  EXPECT_EQ("Loaded", narrow(key::applicationName));
  EXPECT_EQ(kImageEnd + configBlock({{key::applicationName, "Loaded"}}).size(), includedFilesOffset());

  std::string damaged = magicBytes() + int32Bytes(2) + narrowRecord(key::executableType, "1") +
                        int32Bytes(key::mainClass) + int32Bytes(10) + "Main";
  ASSERT_EQ(ConfigReadResult::badString, read(executableImage(damaged), &store));
  EXPECT_EQ(1, configInt(store, key::executableType));
  EXPECT_EQ("", narrow(store, key::applicationName));  // emptied first
  EXPECT_EQ("", narrow(store, key::mainClass));
}

TEST_F(ConfigBlockTest, OddWideByteCountIsReadWhole) {
  // Five bytes: two units and a stray byte that still belongs to the record.
  std::string block = magicBytes() + int32Bytes(0) + int32Bytes(1) + int32Bytes(key::msgNoJvm) +
                      int32Bytes(5) + std::string("a\0b\0c", 5);
  ASSERT_EQ(ConfigReadResult::ok, load(executableImage(block + "files")));
  EXPECT_EQ(kImageEnd + block.size(), includedFilesOffset());
}

TEST_F(ConfigBlockTest, DamagedBlocksAreToldApart) {
  const std::string counted = magicBytes() + int32Bytes(1);
  const std::string narrowPart = magicBytes() + int32Bytes(1) + narrowRecord(key::mainClass, "Main");
  const std::string wideCounted = narrowPart + int32Bytes(1);
  struct Case {
    const char* name;
    std::string bytes;
    ConfigReadResult expected;
  };
  const Case cases[] = {
      {"wrong magic", executableImage(int32Bytes(0x12345678) + int32Bytes(0) + int32Bytes(0)),
       ConfigReadResult::badMagic},
      {"magic in the wrong byte order", executableImage(std::string("\xE8\xE4\x13\xD5", 4) + int32Bytes(0) + int32Bytes(0)),
       ConfigReadResult::badMagic},
      {"file ends inside the section header", std::string(554, '\0'), ConfigReadResult::badInt},
      {"no block behind the image", executableImage(""), ConfigReadResult::badInt},
      {"cut inside the narrow count", executableImage(magicBytes() + std::string("\1\0", 2)), ConfigReadResult::badInt},
      {"cut inside a narrow key", executableImage(counted + std::string("\x65\0", 2)), ConfigReadResult::badInt},
      {"cut inside a narrow length", executableImage(counted + int32Bytes(key::mainClass) + std::string("\4\0", 2)),
       ConfigReadResult::badInt},
      {"narrow text cut short", executableImage(counted + int32Bytes(key::mainClass) + int32Bytes(10) + "Main"),
       ConfigReadResult::badString},
      {"negative narrow length", executableImage(counted + int32Bytes(key::mainClass) + int32Bytes(-1) + "Main"),
       ConfigReadResult::badString},
      {"absurd narrow length",
       executableImage(counted + int32Bytes(key::mainClass) + int32Bytes(INT_MAX) + "Main"),
       ConfigReadResult::badString},
      {"fewer narrow records than counted", executableImage(magicBytes() + int32Bytes(2) +
                                                            narrowRecord(key::mainClass, "Main")),
       ConfigReadResult::badInt},
      {"no wide count", executableImage(narrowPart), ConfigReadResult::badInt},
      {"cut inside a wide key", executableImage(wideCounted + "\x65"), ConfigReadResult::badInt},
      {"cut inside a wide length", executableImage(wideCounted + int32Bytes(key::msgNoJvm) + "\4"),
       ConfigReadResult::badInt},
      {"wide text cut short",
       executableImage(wideCounted + int32Bytes(key::msgNoJvm) + int32Bytes(8) + std::string("a\0b\0", 4)),
       ConfigReadResult::badWideString},
      {"absurd wide length", executableImage(wideCounted + int32Bytes(key::msgNoJvm) + int32Bytes(INT_MAX)),
       ConfigReadResult::badWideString},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(resultName(c.expected), resultName(load(c.bytes)));
  }
}

TEST_F(ConfigBlockTest, ReadInt32ReadsLittleEndianUntilTheFileEnds) {
  UniqueHandle file = open(int32Bytes(-2) + int32Bytes(0x01020304) + "ab");
  int32_t value = 0;
  EXPECT_TRUE(readInt32(file.get(), &value));
  EXPECT_EQ(-2, value);
  EXPECT_TRUE(readInt32(file.get(), &value));
  EXPECT_EQ(0x01020304, value);
  EXPECT_FALSE(readInt32(file.get(), &value));  // two bytes left
}

TEST_F(ConfigBlockTest, GettersCutLongValuesToTheBuffer) {
  ASSERT_EQ(ConfigReadResult::ok, load(executableImage(configBlock({{key::statusFontName, "Segoe UI Semibold"}}))));
  char narrowBuffer[8];
  memset(narrowBuffer, '#', sizeof narrowBuffer);
  configString(key::statusFontName, narrowBuffer, 5);
  EXPECT_STREQ("Sego", narrowBuffer);
  EXPECT_EQ(std::string(3, '#'), std::string(narrowBuffer + 5, 3));
}

TEST_F(ConfigBlockTest, TypedGettersReadTheStore) {
  ASSERT_EQ(ConfigReadResult::ok,
            load(executableImage(configBlock({{key::splashWidth, " -4"}, {key::statusTextColour, "255,128,0"}}))));
  EXPECT_EQ(-4, configInt(key::splashWidth));
  EXPECT_EQ(0x000080FFu, configColour(key::statusTextColour));
}

// Only 1 is a GUI executable; 1 and 5 keep message boxes. The number is read
// by the atoi rules, so an absent key is 0, a console one without boxes.
TEST_F(ConfigBlockTest, ExecutableTypeDecidesGuiAndMessageBoxes) {
  struct Case {
    const char* value;  // nullptr: the key is absent
    bool gui;
    bool boxes;
  };
  static const Case cases[] = {
      {nullptr, false, false}, {"0", false, false}, {"1", true, true},   {"5", false, true},
      {"2", false, false},     {"15", false, false}, {" 1", true, true}, {"5 console", false, true},
      {"-1", false, false},    {"", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? std::string("key 107 [") + c.value + "]" : std::string("no key 107"));
    std::vector<testfiles::NarrowRecord> records = {{key::mainClass, "Main"}};
    if (c.value != nullptr) records.push_back({key::executableType, c.value});
    ASSERT_EQ(ConfigReadResult::ok, load(executableImage(configBlock(records))));
    EXPECT_EQ(c.gui, isGuiExecutable());
    EXPECT_EQ(c.boxes, keepsMessageBoxes());
  }
}

TEST(ParseConfigInt, FollowsAtoi) {
  struct Case {
    const char* text;
    int value;
  };
  static const Case cases[] = {
      {"42", 42},
      {"-4", -4},
      {"+7", 7},
      {"8|x", 8},
      {"12 34", 12},
      {"", 0},
      {"no", 0},
      {"x1", 0},
      {"0x1A", 0},
      {" \t\r\n\v\f15", 15},
      {"  -3", -3},
      {"- 3", 0},
      {"+-3", 0},
      {"007", 7},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", INT_MAX},
      {"-2147483649", INT_MIN},
      {"99999999999999999999999999999999", INT_MAX},
      {"-99999999999999999999999999999999", INT_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("text [") + c.text + "]");
    EXPECT_EQ(c.value, parseConfigInt(c.text));
  }
}

TEST(ParseConfigColour, RedGreenBlue) {
  struct Case {
    const char* text;
    COLORREF colour;
  };
  static const Case cases[] = {
      {"255,128,0", 0x000080FF},
      {"0,0,0", 0},
      {"1,2,3", RGB(1, 2, 3)},
      {",,1,,2,3", RGB(1, 2, 3)},  // empty fields are skipped
      {"1,,,2,,3,,", RGB(1, 2, 3)},
      {"1,2", RGB(1, 2, 0)},  // missing components are 0
      {"7", RGB(7, 0, 0)},
      {"", 0},
      {",,,", 0},
      {"300,-5,256", RGB(255, 0, 255)},  // clamped to 0..255
      {"99999999999,0,0", RGB(255, 0, 0)},
      {" 10, 20 ,30", RGB(10, 20, 30)},
      {"1,2,3,4", RGB(1, 2, 3)},
      {"red,2,3", RGB(0, 2, 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("text [") + c.text + "]");
    EXPECT_EQ(c.colour, parseConfigColour(c.text));
  }
}

}  // namespace
