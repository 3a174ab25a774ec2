// Counting and activating a process's windows, on windows the test makes in
// its own process; and the console window of a console-type executable.
#include "ProcessWindowsInternal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "RuntimeTestSupport.h"
#include "TestFiles.h"

namespace {

const char* const kWindowClass = "TovexProcessWindowsTest";

// Top-level windows of this process, destroyed with the fixture. Windows
// made later lie above those made earlier.
class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    before = countProcessWindows(GetCurrentProcessId());
  }
  void TearDown() override {
    for (HWND window : windows) DestroyWindow(window);
  }

  enum Shown { hidden, shown, minimised };

  HWND window(Shown how, HWND owner = nullptr) {
    DWORD style = owner != nullptr ? WS_POPUP | WS_CAPTION : WS_OVERLAPPEDWINDOW;
    HWND made = CreateWindowExA(0, kWindowClass, "window", style, 10, 10, 200, 100, owner, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(nullptr, made);
    if (how == shown) ShowWindow(made, SW_SHOWNORMAL);
    if (how == minimised) ShowWindow(made, SW_SHOWMINNOACTIVE);
    pump();
    windows.push_back(made);
    return made;
  }

  static void pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }

  int before = 0;
  std::vector<HWND> windows;
};

TEST_F(WindowsTest, OnlyVisibleWindowsOfTheProcessCount) {
  window(shown);
  window(hidden);
  window(minimised);
  EXPECT_EQ(before + 2, countProcessWindows(GetCurrentProcessId()));
  EXPECT_EQ(0, countProcessWindows(GetCurrentProcessId() + 4000000));
}

TEST_F(WindowsTest, MinimisedWindowIsRestoredOnlyWhenAsked) {
  HWND icon = window(minimised);
  ASSERT_TRUE(IsIconic(icon));
  activateProcessWindows(GetCurrentProcessId(), false);
  pump();
  EXPECT_TRUE(IsIconic(icon));
  activateProcessWindows(GetCurrentProcessId(), true);
  pump();
  EXPECT_FALSE(IsIconic(icon));
  EXPECT_TRUE(IsWindowVisible(icon));
}

TEST_F(WindowsTest, VisibleWindowsComeForwardHiddenOnesStayHidden) {
  // Treated top first, so the lowest visible window ends up in front.
  HWND lowest = window(shown);
  window(shown);
  HWND invisible = window(hidden);
  SetForegroundWindow(windows[1]);
  pump();
  activateProcessWindows(GetCurrentProcessId(), true);
  pump();
  EXPECT_EQ(lowest, GetForegroundWindow());
  EXPECT_FALSE(IsWindowVisible(invisible));
}

// Each case searches for the console itself; the count keeps the first search of the process.
class ConsoleWindowTest : public ::testing::Test {
 protected:
  void executableType(const char* value) { loadConfigRecords(dir, {{key::executableType, value}}); }

  static std::string consoleTitle() {
    char title[kTextBufferSize];
    DWORD length = GetConsoleTitleA(title, sizeof title);
    return std::string(title, length);
  }

  testfiles::TempDir dir;
};

TEST_F(ConsoleWindowTest, ConsoleTypeFindsItsConsoleAndRestoresTheTitle) {
  if (GetConsoleWindow() == nullptr) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
  }
  HWND console = GetConsoleWindow();
  if (console == nullptr) GTEST_SKIP() << "no console window on this system";
  SetConsoleTitleA("tovex console test");
  executableType("0");

  HWND found = findConsoleWindow();
  EXPECT_EQ(console, found);
  EXPECT_EQ("tovex console test", consoleTitle());
  int counted = countWindowsExcept(GetCurrentProcessId(), found);

  // Counting again searches no more, and never counts the console.
  countProcessWindows(GetCurrentProcessId());
  SetConsoleTitleA("changed afterwards");
  countProcessWindows(GetCurrentProcessId());
  EXPECT_EQ(counted, countWindowsExcept(GetCurrentProcessId(), found));
  EXPECT_EQ("changed afterwards", consoleTitle());
  DWORD owner = 0;
  GetWindowThreadProcessId(console, &owner);
  if (owner == GetCurrentProcessId() && IsWindowVisible(console)) {
    FreeConsole();  // the same count with the console gone
    EXPECT_EQ(counted, countWindowsExcept(GetCurrentProcessId(), findConsoleWindow()));
  }
}

TEST_F(ConsoleWindowTest, GuiExecutableLeavesTheConsoleAlone) {
  if (GetConsoleWindow() == nullptr) {
    FreeConsole();
    AllocConsole();
  }
  SetConsoleTitleA("tovex gui test");
  executableType("1");
  EXPECT_EQ(nullptr, findConsoleWindow());
  EXPECT_EQ("tovex gui test", consoleTitle());
}

TEST_F(ConsoleWindowTest, WithoutAConsoleNothingIsExcluded) {
  FreeConsole();
  executableType("0");
  EXPECT_EQ(nullptr, findConsoleWindow());
}

}  // namespace
