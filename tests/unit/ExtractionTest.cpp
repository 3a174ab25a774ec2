#include "ExtractionInternal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "BlockFormat.h"
#include "BlockReader.h"
#include "Buffers.h"
#include "Config.h"
#include "DeletionQueue.h"
#include "ExtractionCacheInternal.h"
#include "IncludedFiles.h"
#include "JvmOptionsInternal.h"
#include "TempTestSupport.h"
#include "TestFiles.h"

namespace {

// The log is on for this whole program, so that failures can be seen in it.
const bool logRequested = SetEnvironmentVariableA("TOVEX_LOG", "yes") != 0;

// Bytes that take every value, in no simple order.
std::string patternBytes(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
  return bytes;
}

std::string scrambled(std::string bytes) {
  for (char& c : bytes) c = static_cast<char>(c ^ blockformat::kScrambleMask);
  return bytes;
}

std::string int32Bytes(int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((bits >> (8 * i)) & 0xff);
  return bytes;
}

// One included file as the area holds it: its size, then its scrambled bytes.
std::string includedFile(const std::string& content) {
  return int32Bytes(static_cast<int32_t>(content.size())) + scrambled(content);
}

HANDLE openForReading(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

HANDLE createForWriting(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD filePosition(HANDLE file) { return SetFilePointer(file, 0, nullptr, FILE_CURRENT); }

class ExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(logRequested);
    dir = makeScratchDirectory("extract");
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override { removeScratchDirectory(dir); }

  std::string dir;
};

struct CopyCase {
  int32_t size;
  bool unscramble;
};

// Around the 8192-byte chunk, the 256 KB block, the 16-byte and 4-byte steps
// of the unscrambling: 20000 is 8192 + 8192 + 3616.
const CopyCase kCopyCases[] = {{1, true},     {3, true},     {8191, true},   {8192, true},   {8193, true},
                               {20000, true}, {20000, false}, {262144, true}, {262161, true}, {600003, true}};

TEST_F(ExtractionTest, CopiesEveryByteAndNothingBehind) {
  for (const CopyCase& c : kCopyCases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << (c.unscramble ? " unscrambled" : " as is"));
    std::string content = patternBytes(static_cast<size_t>(c.size));
    std::string source = dir + "\\source";
    std::string target = dir + "\\target";
    // Padding behind the data must stay unread.
    writeWholeFile(source, (c.unscramble ? scrambled(content) : content) + std::string(16, '\0'));

    HANDLE in = openForReading(source);
    HANDLE out = createForWriting(target);
    ASSERT_NE(in, INVALID_HANDLE_VALUE);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(copyFileData(in, out, c.size, c.unscramble));
    EXPECT_EQ(filePosition(in), static_cast<DWORD>(c.size));
    CloseHandle(in);
    CloseHandle(out);
    EXPECT_TRUE(readWholeFile(target) == content);
  }
}

TEST_F(ExtractionTest, ExtractsOneFileFromItsRecord) {
  std::string content = patternBytes(20000);
  std::string source = dir + "\\area";
  writeWholeFile(source, includedFile(content) + includedFile("next"));
  std::string target = dir + "\\app.jar";

  HANDLE in = openForReading(source);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(extractFile(in, target.c_str()));
  EXPECT_EQ(filePosition(in), 4u + 20000u);
  CloseHandle(in);
  EXPECT_TRUE(readWholeFile(target) == content);
  EXPECT_NE(logText().find("extracting " + target + " (size: 20000)"), std::string::npos);
}

TEST_F(ExtractionTest, ASizeOfZeroOrLessCreatesNoFile) {
  for (int32_t size : {0, -5}) {
    SCOPED_TRACE(size);
    std::string source = dir + "\\area";
    writeWholeFile(source, int32Bytes(size) + "rest");
    std::string target = dir + "\\empty.jar";
    HANDLE in = openForReading(source);
    EXPECT_TRUE(extractFile(in, target.c_str()));
    EXPECT_EQ(filePosition(in), 4u);
    CloseHandle(in);
    EXPECT_FALSE(pathExists(target));
  }
}

TEST_F(ExtractionTest, TruncatedDataFails) {
  std::string source = dir + "\\area";
  writeWholeFile(source, int32Bytes(100) + scrambled(patternBytes(50)));
  std::string target = dir + "\\cut.jar";
  HANDLE in = openForReading(source);
  EXPECT_FALSE(extractFile(in, target.c_str()));
  CloseHandle(in);
  EXPECT_NE(logText().find("ERROR: ReadFile failed"), std::string::npos);
}

struct NameCase {
  const char* name;
  bool safe;
};

const NameCase kNameCases[] = {
    {"app.jar", true},       {"lib-1.2.3.jar", true}, {".hidden", true},     {"a b.jar", true},
    {"..\\evil.jar", false}, {"../evil.jar", false},  {"lib\\a.jar", false}, {"lib/a.jar", false},
    {"c:evil.jar", false},   {"C:\\evil.jar", false}, {"..", false},         {".", false},
    {"...", false},          {". .", false},          {"a..b.jar", true},   {"\\\\server\\x", false},
    // Devices take the bytes instead of a file.
    {"NUL", false},          {"AUX", false},          {"COM1", false},      {"nul.jar", false},
    {"COM1.jar", false},     {"CLOCK$", false},       {"lpt9 .txt", false}, {"console.jar", true},
    {"com10.jar", true},
};

TEST(IncludedName, IsSafeOnlyInsideTheDirectory) {
  for (const NameCase& c : kNameCases) {
    EXPECT_EQ(isSafeIncludedName(c.name), c.safe) << c.name;
  }
}

// A file with an empty stub image, the block with the given narrow records,
// no wide records, then area.
std::string fakeExecutable(const std::vector<std::pair<int32_t, std::string>>& records, const std::string& area) {
  // Just long enough for the last section's fields: 560 bytes in a 32-bit image, 576 in a 64-bit one.
  constexpr int32_t kImageSize = blockformat::kLastSectionRawPointerOffset + 4;
  std::string image(kImageSize, '\0');
  std::string rawPointer = int32Bytes(kImageSize);
  image.replace(blockformat::kLastSectionRawPointerOffset, 4, rawPointer);
  std::string block = int32Bytes(static_cast<int32_t>(blockformat::kMagic));
  block += int32Bytes(static_cast<int32_t>(records.size()));
  for (const auto& record : records) {
    block += int32Bytes(record.first) + int32Bytes(static_cast<int32_t>(record.second.size())) + record.second;
  }
  block += int32Bytes(0);
  return image + block + area;
}

// Loads the fake executable's block and leaves the file at its included files.
HANDLE loadFakeExecutable(const std::string& path) {
  HANDLE file = openForReading(path);
  if (file == INVALID_HANDLE_VALUE) return file;
  if (readConfigBlock(file) != ConfigReadResult::ok) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  SetFilePointer(file, static_cast<LONG>(includedFilesOffset()), nullptr, FILE_BEGIN);
  return file;
}

TEST_F(ExtractionTest, ExtractsTheNamedFilesIntoAFreshDirectory) {
  std::string first = patternBytes(9000);
  std::string exe = dir + "\\app.exe";
  // Empty names are skipped; a name past the count is not extracted.
  writeWholeFile(exe, fakeExecutable({{key::includedFileCount, "3"},
                                      {key::includedFileNames, "app.jar;;empty.txt;lib.jar;extra.jar;"}},
                                     includedFile(first) + includedFile("") + includedFile("library") +
                                         includedFile("extra") + std::string(64, '\0')));
  HANDLE source = loadFakeExecutable(exe);
  ASSERT_NE(source, INVALID_HANDLE_VALUE);

  char extracted[kTextBufferSize];
  EXPECT_TRUE(extractFilesFrom(source, configInt(key::includedFileCount), extracted, sizeof extracted));
  CloseHandle(source);

  std::string made = extracted;
  std::string temp = systemTempPath() + "tvx";
  ASSERT_EQ(made.compare(0, temp.size(), temp), 0) << made;
  size_t suffix = made.find(".tmp_dir");
  ASSERT_NE(suffix, std::string::npos) << made;
  EXPECT_NE(made.find_first_of("0123456789", suffix), std::string::npos) << made;
  EXPECT_FALSE(pathExists(made.substr(0, suffix + 4)));  // the name's own file is gone

  EXPECT_TRUE(readWholeFile(made + "\\app.jar") == first);
  EXPECT_FALSE(pathExists(made + "\\empty.txt"));
  EXPECT_EQ(readWholeFile(made + "\\lib.jar"), "library");
  EXPECT_FALSE(pathExists(made + "\\extra.jar"));
  // Held open for this process's lifetime: no one can delete them meanwhile.
  EXPECT_FALSE(DeleteFileA((made + "\\app.jar").c_str()));
  EXPECT_TRUE(pathExists(made + "\\app.jar"));

  // The directory is registered for the deletion queue.
  deleteQueueKey();
  queueRegisteredTemps();
  std::string queued;
  EXPECT_TRUE(readRawQueueValue("delete_dir", &queued));
  EXPECT_NE(queued.find(made + ";"), std::string::npos) << queued;
  deleteQueueKey();
}

TEST_F(ExtractionTest, RefusesANameThatLeavesTheDirectoryOrItsBuffer) {
  // The last name is too long for a path buffer: it fails rather than being cut.
  const std::string names[] = {"..\\escaped_by_tovex_test.jar", "sub\\escaped_by_tovex_test.jar",
                               "c:escaped_by_tovex_test.jar", std::string(8150, 'n') + ".jar"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name.substr(0, 40));
    std::string exe = dir + "\\app.exe";
    writeWholeFile(exe, fakeExecutable({{key::includedFileCount, "1"}, {key::includedFileNames, name + ";"}},
                                       includedFile("payload")));
    HANDLE source = loadFakeExecutable(exe);
    ASSERT_NE(source, INVALID_HANDLE_VALUE);
    char extracted[kTextBufferSize];
    EXPECT_FALSE(extractFilesFrom(source, 1, extracted, sizeof extracted));
    CloseHandle(source);
    EXPECT_FALSE(pathExists(systemTempPath() + "escaped_by_tovex_test.jar"));
    std::string failure = std::string("ERROR: Failed to extract ") + extracted + "\\" + name.substr(0, 40);
    EXPECT_NE(logText().find(failure), std::string::npos);
    // Nothing was written into it.
    EXPECT_TRUE(RemoveDirectoryA(extracted));
  }
}

struct AreaCase {
  const char* what;
  std::string area;
  int named;
  AreaShape shape;
};

ByteSource memorySource(const std::string& bytes) {
  auto readAt = [](void* context, uint32_t offset, void* buffer, uint32_t size) {
    const std::string& data = *static_cast<const std::string*>(context);
    if (offset > data.size() || size > data.size() - offset) return false;
    memcpy(buffer, data.data() + offset, size);
    return true;
  };
  return ByteSource{const_cast<std::string*>(&bytes), readAt, static_cast<uint32_t>(bytes.size())};
}

TEST(IncludedArea, SizesMustLeadFromEntryToEntryToTheEnd) {
  std::string jar = includedFile("jar bytes");
  std::string lib = includedFile("library");
  // Bytes that scramble to zeros, as the last file or all of it.
  std::string a7(300, '\xA7');
  const AreaCase cases[] = {
      {"two files and padding", jar + lib + std::string(300, '\0'), 2, AreaShape::whole},
      {"empty entries at the end", jar + includedFile("") + includedFile(""), 3, AreaShape::whole},
      {"nothing", "", 0, AreaShape::whole},
      {"size -1", jar + int32Bytes(-1) + scrambled("library"), 2, AreaShape::negativeSize},
      {"size INT_MIN", int32Bytes(INT32_MIN) + scrambled("jar bytes") + lib, 2, AreaShape::negativeSize},
      {"last size too large", jar + int32Bytes(4000) + scrambled("library"), 2, AreaShape::overrunsEnd},
      {"last size too small", jar + int32Bytes(4) + scrambled("library"), 2, AreaShape::overrunsEnd},
      {"last size one short, padding behind", jar + int32Bytes(6) + scrambled("library") + std::string(300, '\0'), 2,
       AreaShape::overrunsEnd},
      {"a size field cut short", jar + "\x01\x02", 2, AreaShape::overrunsEnd},
      {"size 0 where the data goes on", int32Bytes(0) + scrambled("jar bytes") + lib, 3, AreaShape::negativeSize},
      {"an unnamed entry behind the named ones", jar + lib + std::string(20, '\0'), 1, AreaShape::whole},
      {"a last file of 0xA7 bytes", jar + includedFile(a7), 2, AreaShape::whole},
      {"a last file of 0xA7 bytes, padding behind", jar + includedFile(a7) + std::string(212, '\0'), 2,
       AreaShape::whole},
      {"a single 0xA7 byte", includedFile("\xA7"), 1, AreaShape::whole},
      {"only 0xA7 files", includedFile(a7) + includedFile(a7), 2, AreaShape::whole},
      {"a 0xA7 file cut short", jar + int32Bytes(400) + scrambled(a7), 2, AreaShape::overrunsEnd},
  };
  for (const AreaCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string source = "head" + c.area;
    EXPECT_EQ(checkIncludedArea(memorySource(source), 4, c.named), c.shape);
  }
}

TEST_F(ExtractionTest, AnExecutableWithoutIncludedFilesMakesNoDirectory) {
  std::string exe = dir + "\\app.exe";
  writeWholeFile(exe, fakeExecutable({{key::applicationName, "app"}}, ""));
  HANDLE source = loadFakeExecutable(exe);
  ASSERT_NE(source, INVALID_HANDLE_VALUE);
  CloseHandle(source);
  StartFailure failure;
  std::optional<ExtractedFiles> files = extractIncludedFiles(&failure);
  ASSERT_TRUE(files);
  EXPECT_EQ(files->directory, "");
  EXPECT_NE(logText().find("Included files: 0"), std::string::npos);
}

size_t countOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Sets the folder's last-write time, the cache's "last used", days back
// (ahead for a negative number).
void setDaysUnused(const std::string& folder, int days) {
  HANDLE handle = CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << folder;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER time{};
  time.LowPart = now.dwLowDateTime;
  time.HighPart = now.dwHighDateTime;
  time.QuadPart -= static_cast<uint64_t>(days) * 24 * 60 * 60 * 10000000ull;
  FILETIME then{time.LowPart, time.HighPart};
  EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &then));
  CloseHandle(handle);
}

TEST_F(ExtractionTest, AReusedExtractionRemovesOnlyCachesUnusedForThirtyDays) {
  testfiles::SavedVariable saved("LOCALAPPDATA");
  SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str());
  char root[kTextBufferSize];
  ASSERT_TRUE(extractionCacheRoot(root, sizeof root));
  EXPECT_EQ(std::string(root), dir + "\\tovex\\cache");
  struct Folder {
    const char* name;
    int daysUnused;
    bool stays;
  };
  // Only folders named as caches are the cache's own; one dated after now
  // has an unknown age.
  const Folder folders[] = {{"0123456789abcdef", 31, false},
                            {"fedcba9876543210", 29, true},
                            {"old-but-not-ours", 90, true},
                            {"00000000deadbeef", -400, true}};
  for (const Folder& folder : folders) {
    std::string path = std::string(root) + "\\" + folder.name;
    CreateDirectoryA(path.c_str(), nullptr);
    writeWholeFile(path + "\\app.jar", "old");
    setDaysUnused(path, folder.daysUnused);
  }

  std::string exe = dir + "\\app.exe";
  std::string content = patternBytes(70000);
  writeWholeFile(exe, fakeExecutable({{key::includedFileCount, "1"}, {key::includedFileNames, "app.jar;"}},
                                     includedFile(content)));
  for (const char* expected : {"Extracted files kept in ", "Reusing "}) {
    SCOPED_TRACE(expected);
    HANDLE source = loadFakeExecutable(exe);
    ASSERT_NE(source, INVALID_HANDLE_VALUE);
    ExtractedFiles files;
    EXPECT_TRUE(reuseOrExtractFrom(source, 1, &files));
    CloseHandle(source);
    const std::string& used = files.directory;
    EXPECT_EQ(used.rfind(std::string(root) + "\\", 0), 0u) << used;
    EXPECT_NE(logText().find(expected + used), std::string::npos);
    EXPECT_TRUE(readWholeFile(used + "\\app.jar") == content);
  }
  for (const Folder& folder : folders) {
    EXPECT_EQ(pathExists(std::string(root) + "\\" + folder.name), folder.stays) << folder.name;
  }
}

TEST_F(ExtractionTest, AReusedFolderHoldsTheIncludedFilesAndNothingElse) {
  testfiles::SavedVariable saved("LOCALAPPDATA");
  SetEnvironmentVariableA("LOCALAPPDATA", dir.c_str());
  std::string exe = dir + "\\app.exe";
  writeWholeFile(exe,
                 fakeExecutable({{key::includedFileCount, "3"}, {key::includedFileNames, "app.jar;empty.jar;lib.zip;"}},
                                includedFile("application") + includedFile("") + includedFile("library")));
  ExtractedFiles reused;
  auto reuse = [&](std::string* used) {
    HANDLE source = loadFakeExecutable(exe);
    ASSERT_NE(source, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(reuseOrExtractFrom(source, 3, &reused));
    CloseHandle(source);
    *used = reused.directory;
  };
  std::string folder;
  reuse(&folder);
  ASSERT_NE(logText().find("Extracted files kept in " + folder), std::string::npos);

  // Whatever else is there makes the folder one to extract again.
  const char* const planted[] = {"0planted.jar", "empty.jar", "sub"};
  size_t replaced = 0;
  for (const char* name : planted) {
    SCOPED_TRACE(name);
    std::string path = folder + "\\" + name;
    if (strcmp(name, "sub") == 0) {
      ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
      writeWholeFile(path + "\\x.jar", "planted");
    } else {
      writeWholeFile(path, "planted");
    }
    std::string used;
    reuse(&used);
    EXPECT_EQ(used, folder);
    EXPECT_EQ(countOf(logText(), "Replacing " + folder + ": its files differ"), ++replaced);
    EXPECT_FALSE(pathExists(path));
    EXPECT_EQ(readWholeFile(folder + "\\app.jar"), "application");
  }

  // The class path of a reused folder names the included archives only (not
  // the empty one, never written), whatever is put there after the check.
  writeWholeFile(folder + "\\0late.jar", "planted");
  const std::vector<std::vector<std::string>> archives{{"app.jar"}, {"lib.zip"}};
  EXPECT_EQ(extractedArchives(reused), archives);
  // Elsewhere the directory's listing counts, as ever.
  std::string plain = dir + "\\plain";
  ASSERT_TRUE(CreateDirectoryA(plain.c_str(), nullptr));
  writeWholeFile(plain + "\\listed.jar", "x");
  const std::vector<std::vector<std::string>> listed{{"listed.jar"}, {}};
  EXPECT_EQ(extractedArchives(ExtractedFiles{plain, false, {}}), listed);
}

}  // namespace
