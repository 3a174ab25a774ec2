// The executable's own path and the path operations the units share.
#include "PathFormsInternal.h"
#include "Paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Buffers.h"
#include "TestFiles.h"

namespace {

using testfiles::samePath;
using testfiles::TempDir;

std::string lowerCased(std::string text) {
  lowerCasePath(&text[0]);
  return text.c_str();
}

std::string collapsed(std::string text) {
  collapseBackslashes(&text[0]);
  return text.c_str();
}

std::string resolved(const char* path) {
  static char out[kTextBufferSize];
  resolveAgainstExeDir(out, sizeof out, path);
  return out;
}

std::string full(const char* path, bool keepCase) {
  static char out[kTextBufferSize];
  fullPath(out, sizeof out, path, keepCase);
  return out;
}

std::string pathList(const char* list) {
  static char out[kTextBufferSize];
  resolvePathList(out, sizeof out, list);
  return out;
}

// The executable's directory without its last component: "<exe dir>\..".
std::string exeParent() {
  std::string dir = executableDirectory();
  dir.pop_back();
  return dir.substr(0, dir.rfind('\\'));
}

// A drive letter that no drive has on this machine.
std::string unusedDriveRoot() {
  DWORD drives = GetLogicalDrives();
  for (char letter = 'Q'; letter <= 'Y'; ++letter) {
    if ((drives & (1u << (letter - 'A'))) == 0) return std::string(1, letter) + ":\\";
  }
  return "";
}

TEST(ExecutablePath, LowerCaseShortFormOfThisProgram) {
  const char* path = executablePath();
  std::string text = path;
  SCOPED_TRACE(text);
  EXPECT_EQ(path, executablePath());  // computed once, the same buffer after
  ASSERT_GT(text.size(), 4u);
  EXPECT_EQ(".exe", text.substr(text.size() - 4));
  EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; }));
  EXPECT_EQ(std::string::npos, text.find("\\\\", 1));
  EXPECT_TRUE(fileExists(path));

  char module[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, module, sizeof module), 0u);
  char longOwn[MAX_PATH];
  char longModule[MAX_PATH];
  ASSERT_GT(GetLongPathNameA(path, longOwn, sizeof longOwn), 0u);
  ASSERT_GT(GetLongPathNameA(module, longModule, sizeof longModule), 0u);
  EXPECT_TRUE(samePath(longModule, longOwn)) << longModule;
}

TEST(ExecutablePath, DirectoryIsItsPrefixWithTheBackslash) {
  std::string path = executablePath();
  std::string dir = executableDirectory();
  EXPECT_EQ(executableDirectory(), executableDirectory());
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ('\\', dir.back());
  EXPECT_TRUE(samePath(dir, path.substr(0, dir.size()))) << dir << " / " << path;
  EXPECT_EQ(std::string::npos, path.find('\\', dir.size()));
}

TEST(DirectoryOf, KeepsTheLastSeparatorAndRefusesWhatDoesNotFit) {
  struct Case {
    const char* path;
    bool slashesToo;
    size_t capacity;
    const char* expected;  // null: refused
  };
  const Case cases[] = {
      {"c:\\jre\\bin\\java.exe", false, kTextBufferSize, "c:\\jre\\bin\\"},
      {"c:\\jre/bin/java.exe", false, kTextBufferSize, "c:\\"},
      {"c:\\jre/bin/java.exe", true, kTextBufferSize, "c:\\jre/bin/"},
      {"c:/jre\\java.exe", true, kTextBufferSize, "c:/jre\\"},
      {"java.exe", true, kTextBufferSize, nullptr},
      {"c:\\", false, kTextBufferSize, "c:\\"},
      {"c:\\jre\\java.exe", false, 8, "c:\\jre\\"},  // just fits with its terminator
      {"c:\\jre\\java.exe", false, 7, nullptr},       // never cut into another directory
  };
  for (const Case& c : cases) {
    char out[kTextBufferSize] = "unset";
    bool found = directoryOf(out, c.capacity, c.path, c.slashesToo);
    EXPECT_EQ(c.expected != nullptr, found) << c.path << " " << c.capacity;
    if (c.expected != nullptr) {
      EXPECT_STREQ(c.expected, out) << c.path;
    }
  }
}

std::string utf8(const std::wstring& text) {
  char out[kTextBufferSize];
  return WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr) > 0 ? out : "?";
}

std::wstring wide(const std::string& text) {
  wchar_t out[kTextBufferSize];
  EXPECT_GT(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out, kTextBufferSize), 0);
  return out;
}

// Only the part up to the last component that is no short name is looked up;
// the answer must be the system's own for every path.
TEST(ShortPathOf, AnswersAsTheSystem) {
  TempDir dir;
  const std::wstring base = wide(dir.path());
  const wchar_t* const folders[] = {
      L"abc", L"Long Name", L"longername1", L"a.b.c", L"name.four", L"x~1", L"UPPER", L"12345678.123",
      L"_-", L"\u00fcml", L".dot", L"ext.", L"ab c",
  };
  std::vector<std::wstring> paths = {L"C:\\windows\\win.ini", L"C:\\windows", base};
  for (const wchar_t* folder : folders) {
    std::wstring path = base + L"\\" + folder;
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    std::wstring file = path + L"\\Mixed.Jar";
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    CloseHandle(handle);
    paths.push_back(path);
    paths.push_back(file);
  }
  for (const std::wstring& path : paths) {
    SCOPED_TRACE(utf8(path));
    wchar_t expected[kTextBufferSize];
    wchar_t got[kTextBufferSize];
    DWORD expectedLength = GetShortPathNameW(path.c_str(), expected, kTextBufferSize);
    DWORD length = shortPathOf(path.c_str(), got, kTextBufferSize);
    ASSERT_GT(expectedLength, 0u);
    ASSERT_EQ(expectedLength, length);
    EXPECT_EQ(std::wstring(expected), std::wstring(got));
    // A buffer one too small is refused with the size needed, and not overrun.
    wchar_t small[kTextBufferSize];
    std::fill(small, small + kTextBufferSize, L'#');
    EXPECT_EQ(length + 1, shortPathOf(path.c_str(), small, length));
    EXPECT_EQ(L'#', small[length]);
    // So is one too small for the looked-up part alone.
    std::fill(small, small + kTextBufferSize, L'#');
    EXPECT_EQ(length + 1, shortPathOf(path.c_str(), small, 4));
    EXPECT_EQ(L'#', small[4]);
  }
}

class FileExistsTest : public testing::Test {
 protected:
  void SetUp() override {
    testfiles::writeFile(dir_ / "app.jar", "jar");
    testfiles::makeDirectory(dir_ / "sub");
  }
  TempDir dir_;
};

TEST_F(FileExistsTest, FilesDirectoriesAndDriveRoots) {
  const std::string noDrive = unusedDriveRoot();
  ASSERT_FALSE(noDrive.empty());
  struct Case {
    std::string path;
    bool exists;
  };
  const Case cases[] = {
      {"c:\\", true},
      {"c:\\.", true},
      {"c:\\.\\.", true},
      // A root counts without a look-up, even on a drive that is not there.
      {noDrive, true},
      {noDrive + ".", true},
      {noDrive + ".\\.", true},
      {noDrive + "x", false},
      {"c:\\windows", true},
      {"c:\\windows\\", false},  // a trailing backslash is not found
      {dir_.path(), true},
      {dir_.path() + "\\", false},
      {dir_ / "sub", true},
      {dir_ / "app.jar", true},
      {dir_ / "other.jar", false},
      {dir_ / "*.jar", true},  // a pattern is found when anything matches
      {dir_ / "s*", true},
      {dir_ / "*.zip", false},
      {"", false},
      {"c", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("path [" + c.path + "]");
    EXPECT_EQ(c.exists, fileExists(c.path.c_str()));
  }
}

// A plain name is looked up by its attributes; every answer must still be
// the one the system's search gives.
TEST_F(FileExistsTest, FindFileAnswersAsTheSystemSearch) {
  char shortDir[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(dir_.path().c_str(), shortDir, sizeof shortDir), 0u);
  const std::string paths[] = {
      dir_ / "app.jar", dir_ / "APP.JAR", dir_ / "sub", dir_ / "other.jar",
      dir_ / "missing\\app.jar", dir_ / "sub\\..\\app.jar", dir_ / "sub\\.", dir_ / "sub\\..",
      dir_ / "app.jar.", dir_ / "app.jar ", dir_ / "app.jar:stream", dir_ / "app.jar\\",
      dir_ / "a?p.jar", dir_ / "<.jar", std::string(shortDir) + "\\app.jar",
      "c:\\windows", "c:/windows", "c:\\windows\\", "c:\\windows\\..", "c:\\windows\\.",
      "c:\\windows\\system32\\..\\win.ini", "c:\\", "c:", "c:windows", "windows",
      "\\\\?\\c:\\windows", "\\\\.\\c:\\windows", "\\windows", "nul", "c:\\con", "c:\\nul", dir_ / "aux.txt", dir_ / "com1",
  };
  for (const std::string& path : paths) {
    SCOPED_TRACE("path [" + path + "]");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    bool searched = search != INVALID_HANDLE_VALUE;
    if (searched) FindClose(search);
    EXPECT_EQ(searched, findFile(path.c_str()));
    uint64_t time = 0;
    EXPECT_EQ(searched, findFile(path.c_str(), &time));
    // Times only of this test's own files: other programs write into the system's folders.
    bool own = path.compare(0, dir_.path().size(), dir_.path()) == 0 || path.compare(0, strlen(shortDir), shortDir) == 0;
    if (searched && own) {
      EXPECT_EQ(static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32 | found.ftLastWriteTime.dwLowDateTime,
                time);
    }
  }
}

TEST_F(FileExistsTest, FindFileGivesTheLastWriteTime) {
  const std::string file = dir_ / "app.jar";
  FILETIME written;
  written.dwLowDateTime = 0x12345600;  // within 2009
  written.dwHighDateTime = 0x01C9F000;
  HANDLE handle = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, handle);
  ASSERT_TRUE(SetFileTime(handle, nullptr, nullptr, &written));
  CloseHandle(handle);

  uint64_t time = 0;
  EXPECT_TRUE(findFile(file.c_str(), &time));
  EXPECT_EQ(static_cast<uint64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime, time);
  EXPECT_TRUE(findFile(file.c_str()));

  time = 7;
  EXPECT_FALSE(findFile((dir_ / "missing.jar").c_str(), &time));
  EXPECT_EQ(7u, time);
}

TEST(IsRelativePath, OnlyDriveRootedAndUncPathsAreAbsolute) {
  struct Case {
    const char* path;
    bool relative;
  };
  static const Case cases[] = {
      {"C:", true},
      {"C:\\", false},
      {"c:\\dir\\file", false},
      {"C:dir", true},
      {"\\\\server\\share", false},
      {"\\\\", true},
      {"\\dir", true},
      {"lib", true},
      {"lib\\a.jar", true},
      {"", true},
      {"\"C:\\x", false},
      {"\"C:\\", false},
      {"\"C:", true},
      {"\"\\\\srv", false},
      {"\"ab", true},
      {"\"", true},
      {"..\\x", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("path [") + c.path + "]");
    EXPECT_EQ(c.relative, isRelativePath(c.path));
  }
}

TEST(CollapseBackslashes, RunsBecomeOneExceptTheLeadingPair) {
  struct Case {
    const char* path;
    const char* expected;
  };
  static const Case cases[] = {
      {"a\\\\\\b", "a\\b"},
      {"c:\\\\dir\\\\\\file", "c:\\dir\\file"},
      {"c:\\dir\\\\", "c:\\dir\\"},
      {"\\\\\\\\srv\\share", "\\\\srv\\share"},
      {"\\\\\\srv", "\\\\srv"},
      {"\\\\srv\\\\share", "\\\\srv\\share"},
      {"\\\\", "\\\\"},
      {"a\\", "a\\"},
      {"\\", "\\"},
      {"", ""},
      {"c:\\dir\\file", "c:\\dir\\file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("path [") + c.path + "]");
    EXPECT_EQ(c.expected, collapsed(c.path));
  }
}

TEST(LowerCasePath, LowersLettersOnly) {
  EXPECT_EQ("c:\\program files\\my app 2\\lib-x_y.jar", lowerCased("C:\\Program Files\\My App 2\\LIB-X_Y.JAR"));
  EXPECT_EQ("", lowerCased(""));
}

TEST(LowerCasePath, NonAsciiLetterOfTheCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "code page " << GetACP() << ", not 1252";
  // "É" may or may not be lowered, depending on the C runtime; nothing else changes.
  std::string result = lowerCased("C:\\\xC9T\xC9");
  EXPECT_TRUE(result == "c:\\\xE9t\xE9" || result == "c:\\\xC9t\xC9") << result;
  RecordProperty("lowered_E_acute", result == "c:\\\xE9t\xE9" ? "yes" : "no");
}

TEST(ResolveAgainstExeDir, RelativePathsGoBelowTheExecutable) {
  const std::string dir = executableDirectory();
  struct Case {
    const char* path;
    std::string expected;
  };
  const Case cases[] = {
      {"lib\\a.jar", dir + "lib\\a.jar"},
      {"lib\\\\a.jar", dir + "lib\\a.jar"},
      {"Lib", dir + "Lib"},
      {"..\\x", dir + "..\\x"},
      {"", dir},
      {"d:\\x", "d:\\x"},
      {"d:\\\\x", "d:\\x"},
      {"\\\\srv\\share\\a.jar", "\\\\srv\\share\\a.jar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("path [") + c.path + "]");
    EXPECT_EQ(c.expected, resolved(c.path));
  }
}

TEST(ResolveAgainstExeDir, CutsToTheBuffer) {
  char out[16];
  memset(out, '#', sizeof out);
  resolveAgainstExeDir(out, 8, "d:\\some\\long\\path");
  EXPECT_STREQ("d:\\some", out);
  EXPECT_EQ(std::string(8, '#'), std::string(out + 8, 8));
}

TEST(FullPath, ResolvesDotsAndLowersUnlessAskedNotTo) {
  const std::string parent = exeParent();
  struct Case {
    const char* path;
    bool keepCase;
    std::string expected;
  };
  const Case cases[] = {
      {".\\..\\x", false, parent + "\\x"},
      {"..\\Lib\\A.JAR", false, parent + "\\lib\\a.jar"},
      {"..\\Lib\\A.JAR", true, parent + "\\Lib\\A.JAR"},
      {"C:\\Some\\.\\Dir\\..\\File.TXT", false, "c:\\some\\file.txt"},
      {"C:\\Some\\.\\Dir\\..\\File.TXT", true, "C:\\Some\\File.TXT"},
      {"C:\\a\\\\b", true, "C:\\a\\b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("path [") + c.path + "]" + (c.keepCase ? " keeping case" : ""));
    EXPECT_EQ(c.expected, full(c.path, c.keepCase));
  }
}

TEST(ResolvePathList, EachEntryResolvedAndJoinedByOneSemicolon) {
  const std::string dir = executableDirectory();
  struct Case {
    const char* list;
    std::string expected;
  };
  const Case cases[] = {
      {"a;;b", dir + "a;" + dir + "b"},
      {"lib;bin", dir + "lib;" + dir + "bin"},
      {";lib;", dir + "lib"},
      {"c:\\jre\\bin;lib", "c:\\jre\\bin;" + dir + "lib"},
      {"lib\\\\x", dir + "lib\\x"},
      {"", ""},
      {";;", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("list [") + c.list + "]");
    EXPECT_EQ(c.expected, pathList(c.list));
  }
}

// toLongPath and the emulation it falls back to where the system lacks
// GetLongPathNameA answer alike.
struct LongPathFunction {
  const char* name;
  DWORD (*function)(const char*, char*, DWORD);
  bool reportsInsufficientBuffer;
};

std::string longPathName(const testing::TestParamInfo<LongPathFunction>& info) { return info.param.name; }

class LongPathTest : public testing::TestWithParam<LongPathFunction> {
 protected:
  void SetUp() override {
    longDir_ = dir_ / "Long Directory Name";
    testfiles::makeDirectory(longDir_);
    longFile_ = longDir_ + "\\Some Long File Name.txt";
    testfiles::writeFile(longFile_, "x");
    char shortForm[MAX_PATH];
    DWORD length = GetShortPathNameA(longFile_.c_str(), shortForm, sizeof shortForm);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof shortForm);
    shortFile_ = shortForm;
    ASSERT_NE(std::string::npos, shortFile_.find('~')) << "no short form: " << shortFile_;
  }

  DWORD call(const std::string& path, char* out, DWORD size) {
    return GetParam().function(path.c_str(), out, size);
  }

  TempDir dir_;
  std::string longDir_;
  std::string longFile_;
  std::string shortFile_;
};

TEST_P(LongPathTest, ShortFormBecomesLong) {
  char out[MAX_PATH];
  DWORD length = call(shortFile_, out, sizeof out);
  SCOPED_TRACE("short form " + shortFile_);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(strlen(out), length);
  EXPECT_TRUE(samePath(longFile_, out)) << out;
  // The names keep the case they were made with.
  const std::string tail = "\\Long Directory Name\\Some Long File Name.txt";
  EXPECT_EQ(tail, std::string(out).substr(strlen(out) - std::min(strlen(out), tail.size())));
}

TEST_P(LongPathTest, LongFormStaysLong) {
  char out[MAX_PATH];
  DWORD length = call(longDir_, out, sizeof out);
  ASSERT_GT(length, 0u);
  EXPECT_TRUE(samePath(longDir_, out)) << out;
}

TEST_P(LongPathTest, NonexistentPathFails) {
  char out[MAX_PATH];
  EXPECT_EQ(0u, call(dir_ / "missing.txt", out, sizeof out));
  EXPECT_EQ(0u, call(longDir_ + "\\missing\\deeper.txt", out, sizeof out));
}

TEST_P(LongPathTest, SmallBufferGetsTheSizeNeeded) {
  const DWORD needed = static_cast<DWORD>(longFile_.size()) + 1;
  char out[MAX_PATH];
  memset(out, '#', sizeof out);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(needed, call(shortFile_, out, needed - 1));
  if (GetParam().reportsInsufficientBuffer) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  }
  EXPECT_EQ(std::string(sizeof out - needed + 1, '#'), std::string(out + needed - 1, sizeof out - needed + 1));

  // Exactly enough room.
  EXPECT_EQ(needed - 1, call(shortFile_, out, needed));
  EXPECT_TRUE(samePath(longFile_, out)) << out;
}

TEST_P(LongPathTest, SmallBufferForALongPath) {
  const DWORD needed = static_cast<DWORD>(longFile_.size()) + 1;
  char out[MAX_PATH];
  EXPECT_EQ(needed, call(longFile_, out, needed - 1));
  EXPECT_EQ(needed - 1, call(longFile_, out, needed));
  EXPECT_TRUE(samePath(longFile_, out)) << out;
}

INSTANTIATE_TEST_SUITE_P(Paths, LongPathTest,
                         testing::Values(LongPathFunction{"toLongPath", toLongPath, false},
                                         LongPathFunction{"emulateLongPath", emulateLongPath, true},
                                         LongPathFunction{"longFormOf", longFormOf, false}),
                         longPathName);

TEST(ExecutableLongPath, IsTheModuleAsStarted) {
  char module[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, sizeof module);
  EXPECT_TRUE(samePath(module, executableLongPath())) << executableLongPath();
  EXPECT_EQ(nullptr, strchr(executableLongPath(), '~'));
}

// The names the system's own "*.<extension>" search finds, sorted.
std::vector<std::string> systemSearch(const std::string& dir, const char* extension) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "\\*." + extension).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    names.emplace_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// One listing finds what a search per extension finds, short names included
// ("d.jarx" may have a short form ending in ".JAR").
TEST(EntriesWithExtensions, FindWhatTheSystemsSearchFinds) {
  TempDir dir;
  for (const char* name : {"a.jar", "B.JAR", "c.zip", "d.jarx", "jar", "e.jar.txt", "f.Zip"}) {
    testfiles::writeFile(dir / name, "");
  }
  testfiles::makeDirectory(dir / "classes.jar");
  std::vector<std::vector<std::string>> lists = entriesWithExtensions(dir.path().c_str(), {"jar", ".zip"});
  ASSERT_EQ(2u, lists.size());
  for (std::vector<std::string>& list : lists) std::sort(list.begin(), list.end());
  EXPECT_EQ(systemSearch(dir.path(), "jar"), lists[0]);
  EXPECT_EQ(systemSearch(dir.path(), "zip"), lists[1]);
  // An extension with its dot is the same extension.
  std::vector<std::string> dotted = entriesWithExtensions(dir.path().c_str(), {".jar"})[0];
  std::sort(dotted.begin(), dotted.end());
  EXPECT_EQ(lists[0], dotted);
  for (const char* name : {"B.JAR", "a.jar", "classes.jar"}) {
    EXPECT_NE(lists[0].end(), std::find(lists[0].begin(), lists[0].end(), name)) << name;
  }
  EXPECT_EQ((std::vector<std::string>{"c.zip", "f.Zip"}), lists[1]);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{}, {}}),
            entriesWithExtensions((dir / "missing").c_str(), {"jar", "zip"}));
}

}  // namespace
