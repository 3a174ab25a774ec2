// The splash screen: the status line's conversion, the window's life in a
// process of its own (shown centred, owning error messages, repainted without
// losing GDI objects, gone after a hide with its fonts), and a hide that comes
// first.
#include "SplashInternal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "Buffers.h"
#include "Config.h"
#include "ErrorReportInternal.h"
#include "TestFiles.h"

namespace {

TEST(NarrowStatusText, KeepsLatin1AndStopsBeforeTheFirstWiderCharacter) {
  struct Case {
    std::wstring text;
    size_t length;
    size_t capacity;
    std::string expected;
  };
  const Case cases[] = {
      {L"Loading", 7, 64, "Loading"},
      {L"Caf\u00e9 \u00ff\u0080", 7, 64, "Caf\xe9 \xff\x80"},
      {L"ab\u0100cd", 5, 64, "ab"},        // U+0100 ends the text
      {L"\u4e2d\u6587", 2, 64, ""},
      {L"abcdef", 3, 64, "abc"},           // the count given with the characters
      {std::wstring(L"ab\0cd", 5), 5, 64, "ab"},
      {L"abcdef", 6, 4, "abc"},            // cut to the buffer
      {L"abc", 3, 4, "abc"},               // exact fit
      {L"abc", 3, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "length " << c.length << " capacity " << c.capacity);
    char out[65];
    memset(out, 'Z', sizeof out);
    size_t written = narrowStatusText(out, c.capacity, c.text.c_str(), c.length);
    EXPECT_EQ(c.expected, std::string(out));
    EXPECT_EQ(c.expected.size(), written);
    EXPECT_EQ('Z', out[c.capacity]) << "wrote past the buffer";
  }
}

TEST(NarrowStatusText, ALongTextIsCutToTheStatusBuffer) {
  std::wstring text(kTextBufferSize + 500, L'x');
  std::string out(kTextBufferSize + 1, 'Z');
  EXPECT_EQ(kTextBufferSize - 1, narrowStatusText(&out[0], kTextBufferSize, text.c_str(), text.size()));
  EXPECT_EQ(0, out[kTextBufferSize - 1]);
  EXPECT_EQ('Z', out[kTextBufferSize]);
}

// Loads a configuration with the splash settings into the store.
void loadSplashSettings() {
  testfiles::TempDir dir;
  ASSERT_EQ(ConfigReadResult::ok, testfiles::loadConfigBlockOf(dir.path(), {
      {key::applicationName, "Splash test"},
      {key::showSplash, "1"},
      {key::splashWidth, "256"},
      {key::splashHeight, "86"},
      {key::statusText, "Starting"},
      {key::statusTextX, "10"},
      {key::statusTextY, "60"},
      {key::statusFontName, "Arial"},
      {key::statusFontSize, "10"},
      {key::statusTextColour, "200,0,0"},
      {key::statusFontWeight, "700"},
      {key::versionText, "1.0"},
      {key::versionTextX, "200"},
      {key::versionTextY, "5"},
      {key::versionFontSize, "8"},
      {key::versionTextColour, "0,0,200"},
  }));
}

// Waits (up to 30 s) until the splash window exists and is visible.
HWND waitForSplashWindow() {
  for (int i = 0; i < 600; ++i) {
    HWND window = FindWindowA(kSplashWindowClass, nullptr);
    if (window != nullptr && IsWindowVisible(window)) return window;
    Sleep(50);
  }
  return nullptr;
}

bool waitUntilGone(HWND window) {
  for (int i = 0; i < 600 && IsWindow(window); ++i) Sleep(50);
  return !IsWindow(window);
}

// The process's live GDI objects of a type (0: of every type), counted one
// by one: Wine takes a handle's table index alone, its upper half zero.
DWORD objectsByIndex(DWORD type) {
  DWORD count = 0;
  for (UINT_PTR index = 1; index <= 0xFFFF; ++index) {
    DWORD found = GetObjectType(reinterpret_cast<HGDIOBJ>(index));
    if (found != 0 && (type == 0 || found == type)) ++count;
  }
  return count;
}

// The process's GDI objects. Wine does not count them for GetGuiResources;
// there they are counted one by one.
DWORD gdiObjects() {
  DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  return count != 0 ? count : objectsByIndex(0);
}

// The count once the splash thread has painted all it was asked to: a paint
// in progress holds its off-screen bitmap and DC, and Wine keeps a pending
// update region as a GDI object too.
DWORD settledGdiObjects(HWND window) {
  DWORD count = gdiObjects();
  for (int attempt = 0; attempt < 50; ++attempt) {
    SendMessageA(window, WM_NULL, 0, 0);
    Sleep(20);
    DWORD again = gdiObjects();
    if (again == count && !GetUpdateRect(window, nullptr, FALSE)) return count;
    count = again;
  }
  return count;
}

TEST(SplashWindow, ShowsCentredRepaintsWithoutLeakingAndGoesAfterAHide) {
  loadSplashSettings();
  DWORD fontsBefore = objectsByIndex(OBJ_FONT);
  startSplash(SW_SHOWNORMAL);
  HWND window = waitForSplashWindow();
  ASSERT_NE(nullptr, window);

  RECT desktop, rect;
  GetWindowRect(GetDesktopWindow(), &desktop);
  GetWindowRect(window, &rect);
  EXPECT_EQ((desktop.right - desktop.left - 256) / 2, rect.left);
  EXPECT_EQ((desktop.bottom - desktop.top - 86) / 2, rect.top);
  EXPECT_EQ(256, rect.right - rect.left);
  EXPECT_EQ(86, rect.bottom - rect.top);
  EXPECT_EQ(WS_POPUP, GetWindowLongA(window, GWL_STYLE) & (WS_POPUP | WS_CAPTION | WS_BORDER));
  char title[64];
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ("Splash test", title);
  EXPECT_EQ(window, messageOwnerWindow());

  // The first paint makes the fonts, which stay; after it every status change
  // and repaint gives back what it takes.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  DWORD before = settledGdiObjects(window);
  ASSERT_GT(before, 0u);
  EXPECT_EQ(fontsBefore + 2, objectsByIndex(OBJ_FONT)) << "the status line's font and the version line's";
  for (int i = 0; i < 500; ++i) {
    std::wstring text = L"Loading part " + std::to_wstring(i);
    setSplashStatus(text.c_str(), text.size());
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }
  EXPECT_EQ(before, settledGdiObjects(window));

  hideSplash();
  EXPECT_FALSE(IsWindowVisible(window));
  // The splash thread ends on its next tick and the window goes with it;
  // later error messages have no owner then.
  ASSERT_TRUE(waitUntilGone(window));
  EXPECT_EQ(nullptr, messageOwnerWindow());
  // The thread gives its fonts back as it ends, just after its window.
  for (int i = 0; i < 600 && objectsByIndex(OBJ_FONT) != fontsBefore; ++i) Sleep(50);
  EXPECT_EQ(fontsBefore, objectsByIndex(OBJ_FONT));
  std::wstring late = L"too late";
  setSplashStatus(late.c_str(), late.size());  // nothing to paint: ignored
  hideSplash();                                // a second hide changes nothing
}

// Run as a process of its own (splash_cancel_test): the splash is started
// once per process.
TEST(SplashCancelled, AHideBeforeTheThreadBeginsKeepsTheWindowFromBeingMade) {
  loadSplashSettings();
  hideSplash();
  startSplash(SW_SHOWNORMAL);
  Sleep(1000);  // ample for a thread that would create its window
  EXPECT_EQ(nullptr, FindWindowA(kSplashWindowClass, nullptr));
  EXPECT_EQ(nullptr, messageOwnerWindow());
}

}  // namespace
