#include "DeletionQueueInternal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "QueueEntries.h"
#include "RegistryKeys.h"
#include "TempTestSupport.h"

namespace {

// Each test starts and ends with no queue key.
class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    deleteQueueKey();
    // Shaped like an extraction directory: the queue acts on its files.
    dir = makeExtractionShapedDirectory();
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override {
    for (HANDLE file : held) CloseHandle(file);
    removeScratchDirectory(dir);
    for (const std::string& made : extractionDirectories) removeScratchDirectory(made);
    deleteQueueKey();
  }

  // A further directory the queue accepts as a directory entry.
  std::string extractionDirectory() {
    extractionDirectories.push_back(makeExtractionShapedDirectory());
    return extractionDirectories.back();
  }

  std::string file(const char* name, const std::string& content = "x") {
    std::string path = dir + "\\" + name;
    writeWholeFile(path, content);
    return path;
  }
  std::string subdirectory(const char* name) {
    std::string path = dir + "\\" + name;
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
  }
  // Open as a running launcher holds its extracted files.
  void hold(const std::string& path) {
    held.push_back(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
  }
  // The queue's text: up to the terminator the registry may have added.
  std::string value(const char* name) {
    std::string bytes;
    EXPECT_TRUE(readRawQueueValue(name, &bytes)) << name;
    return bytes.substr(0, bytes.find('\0'));
  }

  std::string dir;
  std::vector<HANDLE> held;
  std::vector<std::string> extractionDirectories;
};

TEST_F(QueueTest, ProcessingWithoutAKeyCreatesNone) {
  processDeletionQueue();
  EXPECT_FALSE(queueKeyExists());
}

TEST_F(QueueTest, SchedulingAppendsThePathAndASemicolon) {
  scheduleForDeletion("C:\\a\\one", "delete_file");
  EXPECT_TRUE(queueKeyExists());
  EXPECT_EQ(value("delete_file"), "C:\\a\\one;");
  scheduleForDeletion("C:\\b\\two", "delete_file");
  scheduleForDeletion("C:\\c", "delete_dir");
  EXPECT_EQ(value("delete_file"), "C:\\a\\one;C:\\b\\two;");
  EXPECT_EQ(value("delete_dir"), "C:\\c;");

  // The data is the text; the system may count one terminator behind it
  // (it does when the byte behind the given length is a zero), never more.
  std::string raw;
  ASSERT_TRUE(readRawQueueValue("delete_file", &raw));
  EXPECT_TRUE(raw == "C:\\a\\one;C:\\b\\two;" || raw == std::string("C:\\a\\one;C:\\b\\two;") + '\0');
}

TEST_F(QueueTest, SchedulingKeepsTheValueWithinItsLimit) {
  // What the registry reports for the queued data, plus the path, a ";" and
  // a terminator, may come to 32767 bytes and no more.
  const std::string existing(32000, 'q');
  writeRawQueueValue("delete_dir", existing);
  std::string raw;
  ASSERT_TRUE(readRawQueueValue("delete_dir", &raw));
  const std::string fits = "C:\\" + std::string(32767 - 2 - raw.size() - 3, 'f');
  const std::string tooLong = fits + "x";

  scheduleForDeletion(tooLong.c_str(), "delete_dir");
  EXPECT_EQ(value("delete_dir").size(), existing.size());
  scheduleForDeletion(fits.c_str(), "delete_dir");
  std::string queued = value("delete_dir");
  EXPECT_EQ(queued.size(), existing.size() + fits.size() + 1);
  EXPECT_TRUE(queued.compare(existing.size(), std::string::npos, fits + ";") == 0);
}

TEST_F(QueueTest, SchedulingRefusesAPathWithASemicolon) {
  scheduleForDeletion("C:\\Users\\a;b\\Temp\\x", "delete_dir");
  std::string raw;
  EXPECT_FALSE(readRawQueueValue("delete_dir", &raw)) << raw;
}

TEST_F(QueueTest, AFileInUseStaysQueuedAndAFreeOneIsDeleted) {
  std::string busy = file("busy.jar");
  std::string free = file("free.jar");
  hold(busy);
  scheduleForDeletion(busy.c_str(), "delete_file");
  scheduleForDeletion(free.c_str(), "delete_file");
  processDeletionQueue();
  EXPECT_TRUE(pathExists(busy));
  EXPECT_FALSE(pathExists(free));
  EXPECT_EQ(value("delete_file"), busy + ";");
}

TEST_F(QueueTest, ADotEntryVanishesAndTouchesNothing) {
  std::string kept = file("kept.txt");
  char previous[MAX_PATH];
  GetCurrentDirectoryA(sizeof previous, previous);
  SetCurrentDirectoryA(dir.c_str());
  writeRawQueueValue("delete_dir", ".;.;");
  processDeletionQueue();
  SetCurrentDirectoryA(previous);
  EXPECT_TRUE(pathExists(kept));
  EXPECT_EQ(value("delete_dir"), "");
}

TEST_F(QueueTest, ADirectoryIsDeletedWithItsWholeTree) {
  std::string queued = extractionDirectory();
  writeWholeFile(queued + "\\top.txt", "x");
  CreateDirectoryA((queued + "\\empty").c_str(), nullptr);
  CreateDirectoryA((queued + "\\full").c_str(), nullptr);
  CreateDirectoryA((queued + "\\full\\deeper").c_str(), nullptr);
  writeWholeFile(queued + "\\full\\deeper\\inner.txt", "x");
  scheduleForDeletion(queued.c_str(), "delete_dir");
  processDeletionQueue();
  EXPECT_FALSE(pathExists(queued));
  EXPECT_EQ(value("delete_dir"), "");
}

TEST_F(QueueTest, ADirectoryQueuedTwiceIsRemovedAndBothEntriesDropped) {
  std::string queued = extractionDirectory();
  writeWholeFile(queued + "\\a.jar", "x");
  scheduleForDeletion(queued.c_str(), "delete_dir");
  scheduleForDeletion(queued.c_str(), "delete_dir");
  processDeletionQueue();
  EXPECT_FALSE(pathExists(queued));
  EXPECT_EQ(value("delete_dir"), "");
}

// Entries a launcher never queues, as someone writing to the user's registry
// may craft them: each is dropped, and nothing on disk changes.
TEST_F(QueueTest, ForeignEntriesAreDroppedWithoutTouchingTheDisk) {
  std::string other = makeScratchDirectory("documents");
  ASSERT_FALSE(other.empty());
  std::string document = other + "\\letter.txt";
  writeWholeFile(document, "precious");
  // A file on another drive: Wine's Z: shows the Unix tree.
  std::string onZ;
  if (GetDriveTypeA("Z:\\") != DRIVE_NO_ROOT_DIR) {
    std::string zDir = "Z:\\tmp\\tvx1.tmp_dir" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(zDir.c_str(), nullptr);
    onZ = zDir + "\\letter.txt";
    writeWholeFile(onZ, "precious");
  }
  // A link shaped like an extraction directory, where the system makes links
  // (end-to-end tests plant one the Unix way).
  std::string link = systemTempPath() + "tvxF00D.tmp_dir4242";
  DWORD linkAttributes = CreateSymbolicLinkA(link.c_str(), other.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)
                             ? GetFileAttributesA(link.c_str())
                             : INVALID_FILE_ATTRIBUTES;
  bool linked = linkAttributes != INVALID_FILE_ATTRIBUTES && (linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;

  std::string files = document + ";" + dir + "\\..\\" + other.substr(other.rfind('\\') + 1) +
                      "\\letter.txt;\\\\server\\share\\tvx1.tmp_dir1\\a.jar;\\\\?\\" + document +
                      ";\\\\.\\" + document + ";" + dir + "\\NUL;" + dir + "\\a.jar:stream;";
  if (!onZ.empty()) files += onZ + ";";
  if (linked) files += link + "\\letter.txt;";
  std::string dirs = other + ";" + dir + "\\..;\\\\server\\share\\tvx1.tmp_dir1;C:\\tvx1.tmp_dir1;" +
                     other + "\\tvx1.tmp_dir1\\..\\..\\" + other.substr(other.rfind('\\') + 1) + ";";
  if (linked) dirs += link + ";";
  writeRawQueueValue("delete_file", files);
  writeRawQueueValue("delete_dir", dirs);
  processDeletionQueue();

  EXPECT_EQ(readWholeFile(document), "precious");
  EXPECT_TRUE(pathExists(dir));
  EXPECT_EQ(value("delete_file"), "");
  EXPECT_EQ(value("delete_dir"), "");
  if (linked) {
    EXPECT_TRUE(pathExists(link));
    RemoveDirectoryA(link.c_str());
  }
  if (!onZ.empty()) {
    EXPECT_EQ(readWholeFile(onZ), "precious");
    removeScratchDirectory(onZ.substr(0, onZ.rfind('\\')));
  }
  removeScratchDirectory(other);
}

TEST_F(QueueTest, AFileOfTheLauncherIsDeletedThroughNoLink) {
  // A file directly in an extraction directory is the launcher's.
  std::string free = file("free.jar");
  writeRawQueueValue("delete_file", free + ";");
  processDeletionQueue();
  EXPECT_FALSE(pathExists(free));
  EXPECT_EQ(value("delete_file"), "");
}

TEST_F(QueueTest, TheQueueKeepsRoomForThisRunsEntry) {
  // Entries that stay (their files are held) fill the value to its limit.
  std::string busy = file("busy.jar");
  hold(busy);
  std::string queue;
  while (queue.size() + busy.size() + 1 < 32767) queue += busy + ";";
  writeRawQueueValue("delete_file", queue);
  processDeletionQueue();
  std::string kept = value("delete_file");
  EXPECT_LE(kept.size() + 8192 + 1, 32767u);
  EXPECT_EQ(kept.compare(0, busy.size() + 1, busy + ";"), 0);
  std::string mine = dir + "\\mine.jar";
  scheduleForDeletion(mine.c_str(), "delete_file");
  EXPECT_NE(value("delete_file").find(mine + ";"), std::string::npos);
}

TEST_F(QueueTest, AnEntryUnchangedForThirtyDaysIsGivenUp) {
  std::string old = file("old.jar");
  std::string recent = file("recent.jar");
  hold(old);
  hold(recent);
  // Last changed 31 days ago.
  HANDLE file = CreateFileA(old.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER then{{now.dwLowDateTime, now.dwHighDateTime}};
  then.QuadPart -= 31ULL * 24 * 60 * 60 * 10000000ULL;
  FILETIME changed{then.LowPart, then.HighPart};
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &changed));
  CloseHandle(file);
  writeRawQueueValue("delete_file", old + ";" + recent + ";");
  processDeletionQueue();
  EXPECT_TRUE(pathExists(old));
  EXPECT_EQ(value("delete_file"), recent + ";");
}

TEST_F(QueueTest, AValueLongerThanATextBufferIsProcessedWhole) {
  // Entries of files that are gone already, to push the last two far out.
  std::string queue;
  while (queue.size() < 12000) queue += dir + "\\gone_" + std::to_string(queue.size()) + ".jar;";
  std::string free = file("free.jar");
  std::string busy = file("busy.jar");
  hold(busy);
  writeRawQueueValue("delete_file", queue + free + ";" + busy + ";");
  processDeletionQueue();
  EXPECT_FALSE(pathExists(free));
  EXPECT_EQ(value("delete_file"), busy + ";");
}

TEST_F(QueueTest, UnsafeEntriesAreDroppedWithoutEmptyingAnything) {
  // A relative entry would name a directory below the current one.
  std::string below = subdirectory("below");
  std::string belowFile = file("below\\keep.txt");
  std::string rootFile = "C:\\tovex_queue_test_marker.txt";
  writeWholeFile(rootFile, "x");
  ASSERT_TRUE(pathExists(rootFile));
  char previous[MAX_PATH];
  GetCurrentDirectoryA(sizeof previous, previous);
  SetCurrentDirectoryA(dir.c_str());
  writeRawQueueValue("delete_dir", "C:\\;c:;C:\\.;C:\\x\\..;below;\\;;");
  writeRawQueueValue("delete_file", "below\\keep.txt;");
  processDeletionQueue();
  SetCurrentDirectoryA(previous);
  EXPECT_TRUE(pathExists(rootFile));
  EXPECT_TRUE(pathExists(belowFile));
  EXPECT_EQ(value("delete_dir"), "");
  EXPECT_EQ(value("delete_file"), "");
  DeleteFileA(rootFile.c_str());
}

TEST_F(QueueTest, ALinkInsideIsRemovedAsALinkAndItsTargetUntouched) {
  std::string target = subdirectory("target");
  std::string targetFile = file("target\\precious.txt");
  std::string queued = subdirectory("queued");
  std::string link = queued + "\\link";
  DWORD attributes = CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)
                         ? GetFileAttributesA(link.c_str())
                         : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "this system makes no directory links";
  }
  // A link given as the directory to empty is left whole.
  emptyDirectory(link.c_str());
  EXPECT_TRUE(pathExists(link));
  EXPECT_TRUE(pathExists(targetFile));
  emptyDirectory(queued.c_str());
  EXPECT_TRUE(pathExists(targetFile));
  EXPECT_FALSE(pathExists(link));
  RemoveDirectoryA(link.c_str());
}

// What the hook below did the first time it was called.
struct Swap {
  bool called = false;
  bool directoryMoved = false;
} swap;

// Does to the directory being emptied what another process could: tries to
// move it away (to put a link to another folder in its place), and puts
// another file in the place of one of its entries.
void swapUnderneath(const char* directory) {
  if (swap.called) return;
  swap.called = true;
  std::string aside = std::string(directory) + "-aside";
  swap.directoryMoved = MoveFileA(directory, aside.c_str()) != 0;
  if (swap.directoryMoved) MoveFileA(aside.c_str(), directory);
  std::string entry = std::string(directory) + "\\b.jar";
  // Made before the listed file goes, so that it cannot get its number.
  writeWholeFile(entry + ".new", "precious");
  DeleteFileA(entry.c_str());
  MoveFileA((entry + ".new").c_str(), entry.c_str());
}

TEST_F(QueueTest, WhatAPathLeadsToMidwayIsCheckedBeforeItIsDeleted) {
  std::string queued = subdirectory("queued");
  for (const char* name : {"queued\\a.jar", "queued\\b.jar", "queued\\c.jar"}) file(name);
  swap = Swap();
  emptyDirectory(queued.c_str(), swapUnderneath);
  ASSERT_TRUE(swap.called);
  // Held without delete sharing, the directory cannot be moved away meanwhile.
  EXPECT_FALSE(swap.directoryMoved);
  // The file now under a listed name is not the one listed: it is left.
  EXPECT_EQ(readWholeFile(queued + "\\b.jar"), "precious");
  EXPECT_FALSE(pathExists(queued + "\\a.jar"));
  EXPECT_FALSE(pathExists(queued + "\\c.jar"));
}

struct ActionCase {
  DWORD attributes;
  EmptyingAction action;
};

const ActionCase kActionCases[] = {
    {FILE_ATTRIBUTE_NORMAL, EmptyingAction::deleteFile},
    {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, EmptyingAction::deleteFile},
    {FILE_ATTRIBUTE_DIRECTORY, EmptyingAction::removeDirectory},
    {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, EmptyingAction::removeLink},
    {FILE_ATTRIBUTE_REPARSE_POINT, EmptyingAction::removeLink},
};

TEST(EmptyingAction, RemovesLinksAsLinksAndNeverDescends) {
  for (const ActionCase& c : kActionCases) {
    EXPECT_EQ(emptyingAction(c.attributes), c.action) << std::hex << c.attributes;
  }
}

struct EntryCase {
  const char* path;
  bool unsafe;
};

const EntryCase kEntryCases[] = {
    {"C:\\Temp\\tvx1A2B.tmp_dir4711", false},
    {"c:\\temp", false},
    {"\\\\server\\share\\temp\\tvx1.tmp_dir2", false},
    {"C:/Temp/x", false},
    {"", true},
    {".", true},
    {"temp\\x", true},
    {"\\temp\\x", true},
    {"C:", true},
    {"c:temp", true},
    {"C:\\", true},
    {"C:/", true},
    {"C:\\\\", true},
    {"C:\\.", true},
    {"C:\\..", true},
    {"C:\\temp\\..", true},
    {"C:\\temp\\..\\..", true},
    {"C:\\temp\\.\\x", true},
    {"C:\\ . \\", true},
    {"C:\\*", true},
    {"C:\\temp\\?", true},
    {"\\\\", true},
    {"\\\\server", true},
    {"\\\\server\\", true},
    {"\\\\server\\share", true},
    {"\\\\server\\share\\", true},
    {"\\\\?\\C:\\temp", true},
    {"\\\\.\\C:\\temp", true},
};

TEST(QueueEntry, IsUnsafeForRootsAndRelativePaths) {
  for (const EntryCase& c : kEntryCases) {
    EXPECT_EQ(isUnsafeQueueEntry(c.path), c.unsafe) << c.path;
  }
}

std::string helperPath() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string exe(path, length);
  return exe.substr(0, exe.find_last_of('\\') + 1) + "queue_writer.exe";
}

TEST_F(QueueTest, LaunchersSchedulingAtTheSameMomentLoseNoEntry) {
  constexpr int kWriters = 4;
  constexpr int kEntriesEach = 25;
  std::string eventName = "tovex_queue_test_start_" + std::to_string(GetCurrentProcessId());
  HANDLE start = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  ASSERT_NE(start, nullptr);

  std::vector<HANDLE> writers;
  for (int w = 0; w < kWriters; ++w) {
    std::string command = "\"" + helperPath() + "\" " + eventName + " C:\\w" + std::to_string(w) + "_ " +
                          std::to_string(kEntriesEach) + " " + softwareKeyBase();
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process))
        << command;
    CloseHandle(process.hThread);
    writers.push_back(process.hProcess);
  }
  SetEvent(start);
  // A generous bound against a hang, not a measure of speed.
  ASSERT_EQ(WaitForMultipleObjects(static_cast<DWORD>(writers.size()), writers.data(), TRUE, 300000),
            WAIT_OBJECT_0);
  for (HANDLE writer : writers) {
    DWORD code = 99;
    GetExitCodeProcess(writer, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(writer);
  }
  CloseHandle(start);

  std::vector<std::string> entries;
  std::string queued = value("delete_file");
  for (size_t at = 0, end; (end = queued.find(';', at)) != std::string::npos; at = end + 1) {
    entries.push_back(queued.substr(at, end - at));
  }
  std::vector<std::string> expected;
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kEntriesEach; ++i) expected.push_back("C:\\w" + std::to_string(w) + "_" + std::to_string(i));
  }
  std::sort(entries.begin(), entries.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entries, expected);
}

}  // namespace

namespace {

struct FilterCase {
  const char* path;
  bool directory;  // a "delete_dir" entry, else a "delete_file" one
  bool accepted;
};

const std::vector<std::string> kLocations = {"C:\\users\\me\\Temp\\", "c:\\temp"};

const FilterCase kFilterCases[] = {
    {"C:\\users\\me\\Temp\\tvx1A2B.tmp_dir4711", true, true},
    {"c:\\USERS\\me\\temp\\TVX1a2b.TMP_DIR4711", true, true},
    {"c:\\temp\\tvxF.tmp_dir0", true, true},
    {"C:\\users\\me\\Temp\\tvx1A2B.tmp_dir4711\\app.jar", false, true},
    {"C:\\users\\me\\Temp\\tvx1A2B.tmp_dir4711\\app.jar", true, false},
    {"C:\\users\\me\\Temp\\tvx1A2B.tmp_dir4711", false, false},
    {"C:\\users\\me\\Documents", true, false},
    {"C:\\users\\me\\Documents\\tvx1.tmp_dir1", true, false},
    {"C:\\users\\me\\Temp\\tvx12345.tmp_dir1", true, false},
    {"C:\\users\\me\\Temp\\tvx.tmp_dir1", true, false},
    {"C:\\users\\me\\Temp\\tvx1.tmp_dir", true, false},
    {"C:\\users\\me\\Temp\\tvx1.tmp_dir1x", true, false},
    {"C:\\users\\me\\Temp\\tvx1.tmp_dir1\\sub\\app.jar", false, false},
    {"C:\\users\\me\\Temp\\tvx1.tmp_dir1\\..\\..\\Documents\\a.txt", false, false},
    {"C:\\users\\me\\Temp\\..\\Temp\\tvx1.tmp_dir1", true, false},
    {"C:\\users\\me\\Temp\\.\\tvx1.tmp_dir1", true, false},
    {"C:\\users\\me\\Temp\\\\tvx1.tmp_dir1", true, false},
    {"D:\\temp\\tvx1.tmp_dir1", true, false},
    {"\\\\server\\share\\tvx1.tmp_dir1", true, false},
    {"\\\\?\\C:\\users\\me\\Temp\\tvx1.tmp_dir1", true, false},
    {"\\\\.\\C:\\users\\me\\Temp\\tvx1.tmp_dir1", true, false},
    {"C:/users/me/Temp/tvx1.tmp_dir1", true, false},
    {"C:\\users\\me\\Temp\\tvx1.tmp_dir1\\a.jar:stream", false, false},
    {"C:\\users\\me\\Temp\\tvx1.tmp_dir1\\NUL", false, false},
    {"C:\\users\\me\\Temp\\tvx1.tmp_dir1\\com1.jar", false, false},
    {"C:\\users\\me\\Temp\\tvx1.tmp_dir1\\*.jar", false, false},
    {"users\\me\\Temp\\tvx1.tmp_dir1", true, false},
    {"", true, false},
    {".", true, false},
};

TEST(QueueEntryFilter, AcceptsOnlyWhatALauncherQueues) {
  for (const FilterCase& c : kFilterCases) {
    bool accepted =
        c.directory ? isQueuedDirectoryAccepted(c.path, kLocations) : isQueuedFileAccepted(c.path, kLocations);
    EXPECT_EQ(accepted, c.accepted) << c.path << (c.directory ? " (dir)" : " (file)");
  }
}

}  // namespace
