// Single-instance mode inside one process: the arguments handed over, the
// semaphore name, the process registry and the hand-over file's bytes. A
// second start, which ends its process, is covered end to end.
#include "SingleInstanceInternal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "Paths.h"
#include "RegistryKeys.h"
#include "RuntimeTestSupport.h"
#include "TestFiles.h"

namespace {

// Below the test's own registry root while a TestRegistry lives.
std::string pidsKey() { return std::string(softwareKeyBase()) + kProductKey + kPidsSubkey + "\\"; }

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

TEST(CommandLineArguments, FollowTheProgramNameAsTyped) {
  struct Case {
    const wchar_t* commandLine;
    const wchar_t* arguments;
  };
  static const Case cases[] = {
      {L"app.exe -open report.txt", L"-open report.txt"},
      {L"app.exe", L""},
      {L"", L""},
      {L"app.exe    -x", L"-x"},                      // a run of blanks goes
      {L"app.exe -x   y  ", L"-x   y  "},             // blanks inside and after stay
      {L"app.exe\t-x", L""},                          // a tab does not separate
      {L"app.exe\t-x y", L"y"},
      {L"app.exe \t-x", L"\t-x"},                     // only blanks are skipped
      {L"\"C:\\My Apps\\app.exe\" -x \"a b\"", L"-x \"a b\""},
      {L"\"C:\\My Apps\\app.exe\"", L""},
      {L"\"C:\\My Apps\\app.exe\"-x y", L"y"},         // the blank after the closing quote counts
      {L"\"C:\\My Apps\\app.exe -x y", L""},           // no closing quote: no arguments
      {L"\"\" -x", L"-x"},
      {L"app.exe \x00e9t\x00e9 \x2603", L"\x00e9t\x00e9 \x2603"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("command line [" + narrow(c.commandLine) + "]");
    EXPECT_EQ(std::wstring(c.arguments), commandLineArguments(c.commandLine));
  }
}

TEST(CommandLineArguments, AreASuffixOfTheGivenText) {
  const wchar_t* line = L"app.exe  -x";
  EXPECT_EQ(line + 9, commandLineArguments(line));
  const wchar_t* none = L"\"app.exe";
  EXPECT_EQ(none + 8, commandLineArguments(none));
}

TEST(SemaphoreName, IsThePathWithUnderscoresForBackslashes) {
  char name[kTextBufferSize];
  EXPECT_TRUE(semaphoreNameFor("c:\\progra~1\\myapp\\myapp.exe", name, sizeof name));
  EXPECT_STREQ("c:_progra~1_myapp_myapp.exe", name);
  EXPECT_TRUE(semaphoreNameFor("\\\\server\\share\\a.exe", name, sizeof name));
  EXPECT_STREQ("__server_share_a.exe", name);

  // A buffer too small cuts and terminates instead of overflowing.
  char small[8];
  memset(small, 'x', sizeof small);
  EXPECT_FALSE(semaphoreNameFor("c:\\dir\\app.exe", small, sizeof small));
  EXPECT_STREQ("c:_dir_", small);
}

// The registry value of this test program, below a key of the test's own.
class ProcessRegistryTest : public ::testing::Test {
 protected:
  TestRegistry registry_;

  void SetUp() override { deleteValue(); }
  void TearDown() override { deleteValue(); }

  static void deleteValue() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, pidsKey().c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, executablePath());
    RegCloseKey(key);
  }

  static void setValue(DWORD type, const std::string& bytes) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, pidsKey().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    RegSetValueExA(key, executablePath(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
  }

  // The value's type and bytes; false when absent.
  static bool readValue(DWORD* type, std::string* bytes) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, pidsKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char data[64];
    DWORD size = sizeof data;
    LONG result = RegQueryValueExA(key, executablePath(), nullptr, type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return false;
    bytes->assign(data, size);
    return true;
  }
};

TEST_F(ProcessRegistryTest, RegisteredProcessIsLookedUpAgain) {
  EXPECT_EQ(0u, lookUpRunningProcess());
  registerProcess();
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(readValue(&type, &bytes));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(testfiles::int32Bytes(static_cast<int32_t>(GetCurrentProcessId())), bytes);
  EXPECT_EQ(GetCurrentProcessId(), lookUpRunningProcess());
}

TEST_F(ProcessRegistryTest, OnlyAFourByteValueGivesAProcessId) {
  struct Case {
    const char* what;
    DWORD type;
    std::string bytes;
    DWORD processId;
  };
  const Case cases[] = {
      {"dword", REG_DWORD, testfiles::int32Bytes(4711), 4711},
      {"four bytes of another type", REG_BINARY, testfiles::int32Bytes(4712), 4712},
      {"two bytes", REG_BINARY, std::string("\x12\x34", 2), 0},
      {"eight bytes", REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8), 0},
      {"empty", REG_BINARY, std::string(), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    setValue(c.type, c.bytes);
    EXPECT_EQ(c.processId, lookUpRunningProcess());
  }
}

TEST(HandOverFile, HoldsTheArgumentsInUtf16AndOneLineFeed) {
  struct Case {
    const wchar_t* arguments;
    std::string bytes;
  };
  const Case cases[] = {
      {L"-open report.txt", std::string("-\0o\0p\0e\0n\0 \0r\0e\0p\0o\0r\0t\0.\0t\0x\0t\0\n\0", 34)},
      {L"", std::string("\n\0", 2)},
      {L"\"a b\" \x00e9\x2603", std::string("\"\0a\0 \0b\0\"\0 \0\xe9\0\x03\x26\n\0", 18)},
  };
  testfiles::TempDir dir;
  std::string path = dir / "tvx_p42.tmp";
  testfiles::writeFile(path, std::string(100, 'x'));  // an older, longer file is replaced whole
  for (const Case& c : cases) {
    SCOPED_TRACE("arguments [" + narrow(c.arguments) + "]");
    ASSERT_TRUE(writeHandOverFile(path.c_str(), c.arguments));
    EXPECT_EQ(c.bytes, testfiles::readFile(path));
  }
  EXPECT_FALSE(writeHandOverFile((dir / "missing\\tvx_p1.tmp").c_str(), L"x"));
}

TEST(HandOverFile, ALineFeedWouldMakeTwoStartsOfOne) {
  struct Case {
    const wchar_t* arguments;
    bool handedOver;
  };
  const Case cases[] = {{L"doc.txt", true},       {L"", true},
                        {L"a\rb \t\x2603", true}, {L"doc.txt\n--forged-start", false},
                        {L"\n", false},           {L"\"x\ny\"", false}};
  for (const Case& c : cases) EXPECT_EQ(isHandOverText(c.arguments), c.handedOver) << narrow(c.arguments);
}

// The check runs once per process, as at start-up: first with the key off,
// then on, in one test so their order is fixed.
TEST_F(ProcessRegistryTest, FirstInstanceHoldsTheSemaphoreAndRegistersItself) {
  testfiles::TempDir dir;
  loadConfigRecords(dir, {{key::singleInstance, "0"}});
  checkSingleInstance();
  EXPECT_EQ(nullptr, singleInstanceSemaphoreName());
  EXPECT_EQ(0u, lookUpRunningProcess());

  loadConfigRecords(dir, {{key::singleInstance, "1"}});
  checkSingleInstance();
  char expected[kTextBufferSize];
  semaphoreNameFor(executablePath(), expected, sizeof expected);
  ASSERT_NE(nullptr, singleInstanceSemaphoreName());
  EXPECT_STREQ(expected, singleInstanceSemaphoreName());
  EXPECT_EQ(GetCurrentProcessId(), lookUpRunningProcess());

  // The semaphore exists while this process runs.
  HANDLE again = CreateSemaphoreA(nullptr, 1, 1, expected);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  CloseHandle(again);
}

}  // namespace
