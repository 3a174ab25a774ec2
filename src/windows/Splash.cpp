// The splash screen: its thread, window, painting and the Java controller.
#include "Splash.h"
#include "SplashInternal.h"

#include <windows.h>

#include <atomic>
#include <cstring>

#include "Buffers.h"
#include "Config.h"
#include "ErrorReport.h"
#include "ProcessEnvironment.h"
#include "ProcessWindows.h"
#include "RunningJvm.h"
#include "UniqueHandle.h"

namespace {

constexpr UINT_PTR kTimerId = 9962;
constexpr UINT kTimerIntervalMs = 100;
constexpr WORD kPictureResource = 10000;
constexpr const char* kIconResource = "ID_SPLASH_ICON";
constexpr const char* kControllerClass = "com/tovex/runtime/TovexController";
constexpr size_t kFaceNameSize = 32;  // LF_FACESIZE: 31 characters and the terminator
// How long a hide request waits for a splash thread that is creating its
// window to take it down, so that an error message comes after the splash.
constexpr DWORD kCreationWaitMs = 5000;
// Asks the splash window to take a new status line (lParam: a StatusText).
constexpr UINT kSetStatusMessage = WM_APP + 1;

// creation moves from kNotCreated either to kCreated (a hide request before
// the thread began: the thread creates nothing) or, through kCreating, to
// kCreated once the window has been created and shown. A hide request during
// creation turns kCreating into kHideOnCreation, and the splash thread hides
// the window itself before it sets kCreated, so that no request is lost.
enum : LONG { kNotCreated = 0, kCreated = 1, kCreating = 2, kHideOnCreation = 3 };

// What the splash thread shares with the others: hideSplash runs on whichever
// thread reports an error (a step the error report takes before its message),
// so the window and its creation's progress are process-wide and atomic.
struct SharedSplash {
  std::atomic<LONG> creation{kNotCreated};
  std::atomic<HWND> window{nullptr};
};
SharedSplash shared;

// Moves creation from one state to the next, when it is still in the first.
// Both orders are given: with one, the library's check of the second stays in
// the lean build as a call and its text.
bool advanceCreation(LONG from, LONG to) {
  return shared.creation.compare_exchange_strong(from, to, std::memory_order_seq_cst, std::memory_order_seq_cst);
}

// One line of text on the window.
struct TextLine {
  char text[kTextBufferSize];
  COLORREF colour;
  POINT position;
  UniqueGdiObject font;
};

// The controller class and its methods, once the JVM exists.
struct Controller {
  JNIEnv* env = nullptr;
  jclass type = nullptr;
  jmethodID getAction = nullptr;
  jmethodID getText = nullptr;
};

// The splash thread's own: made on its stack, reached by the window's
// procedure through the window. No other thread touches it.
struct SplashThreadState {
  int width = 0;
  int height = 0;
  TextLine status = {};
  TextLine version = {};
  bool fontsCreated = false;
  bool hideOnWindow = false;
  Controller controller;
};

// A status line handed to the window.
struct StatusText {
  const wchar_t* text;
  size_t length;
};

enum ControllerAction { kActionHide = 1, kActionStatus = 2 };

// The window goes away: hides it and brings the application's own windows to
// the front when another process holds the foreground.
void takeWindowDown(HWND window) {
  ShowWindow(window, SW_HIDE);
  DWORD foregroundProcess = 0;
  GetWindowThreadProcessId(GetForegroundWindow(), &foregroundProcess);
  DWORD ownProcess = GetCurrentProcessId();
  if (foregroundProcess != ownProcess) activateProcessWindows(ownProcess, false);
}

HFONT createFont(HDC dc, int sizeKey, int weightKey, int faceKey) {
  char face[kFaceNameSize];
  configString(faceKey, face, sizeof face);
  int height = -MulDiv(configInt(sizeKey), GetDeviceCaps(dc, LOGPIXELSY), 72);
  return CreateFontA(height, 0, 0, 0, configInt(weightKey), FALSE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

void createFonts(HDC dc, SplashThreadState& state) {
  if (state.fontsCreated) return;
  state.status.font.reset(createFont(dc, key::statusFontSize, key::statusFontWeight, key::statusFontName));
  state.version.font.reset(createFont(dc, key::versionFontSize, key::versionFontWeight, key::versionFontName));
  state.fontsCreated = true;
}

// Copies the splash picture's top left width x height pixels to the buffer;
// a missing picture leaves the buffer as it is.
void drawPicture(HDC buffer, int width, int height) {
  UniqueGdiObject picture(
      LoadImageA(instanceHandle(), MAKEINTRESOURCEA(kPictureResource), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  if (!picture) return;
  UniqueMemoryDc pictureDc(CreateCompatibleDC(buffer));
  HGDIOBJ previous = SelectObject(pictureDc.get(), picture.get());
  BitBlt(buffer, 0, 0, width, height, pictureDc.get(), 0, 0, SRCCOPY);
  SelectObject(pictureDc.get(), previous);
}

void drawLine(HDC dc, const TextLine& line) {
  SelectObject(dc, line.font.get());
  SetTextColor(dc, line.colour);
  TextOutA(dc, line.position.x, line.position.y, line.text, static_cast<int>(strlen(line.text)));
}

// Paints through an off-screen buffer: one copy of the whole window reaches
// the screen.
void paint(HWND window, SplashThreadState& state) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  createFonts(dc, state);
  {
    UniqueMemoryDc buffer(CreateCompatibleDC(dc));
    UniqueGdiObject bitmap(CreateCompatibleBitmap(dc, state.width, state.height));
    HGDIOBJ previousBitmap = SelectObject(buffer.get(), bitmap.get());

    RECT whole = {0, 0, state.width, state.height};
    FillRect(buffer.get(), &whole, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    drawPicture(buffer.get(), state.width, state.height);

    int previousMode = SetBkMode(buffer.get(), TRANSPARENT);
    COLORREF previousColour = GetTextColor(buffer.get());
    HGDIOBJ previousFont = GetCurrentObject(buffer.get(), OBJ_FONT);
    drawLine(buffer.get(), state.status);
    drawLine(buffer.get(), state.version);
    SelectObject(buffer.get(), previousFont);
    SetBkMode(buffer.get(), previousMode);
    SetTextColor(buffer.get(), previousColour);

    BitBlt(dc, 0, 0, state.width, state.height, buffer.get(), 0, 0, SRCCOPY);
    // The bitmap leaves the buffer before either is given back.
    SelectObject(buffer.get(), previousBitmap);
  }
  EndPaint(window, &ps);
}

void showStatus(HWND window, SplashThreadState& state, const StatusText& status) {
  narrowStatusText(state.status.text, sizeof state.status.text, status.text, status.length);
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

// Ends the splash thread's message loop; the system destroys the window as
// the thread ends. Error messages from now on have no owner rather than a
// window that is going.
void endSplashThread() {
  setMessageOwner(nullptr);
  PostQuitMessage(0);
}

// A Java call that threw: the exception is cleared, so that the thread's
// later calls find no pending exception.
bool javaThrew(JNIEnv* env) {
  if (!env->ExceptionCheck()) return false;
  env->ExceptionClear();
  return true;
}

// Finds the controller once the JVM exists; false while it is not usable.
bool controllerReady(Controller& controller) {
  if (controller.env == nullptr) {
    controller.env = attachJvmThread();
    if (controller.env == nullptr) return false;  // no JVM yet: tried again next tick
    JNIEnv* env = controller.env;
    controller.type = env->FindClass(kControllerClass);
    if (controller.type == nullptr || javaThrew(env)) {
      controller.type = nullptr;  // the application has no controller: not looked up again
      return false;
    }
    controller.getAction = env->GetStaticMethodID(controller.type, "getAction", "()I");
    if (javaThrew(env)) controller.getAction = nullptr;
    controller.getText = env->GetStaticMethodID(controller.type, "getText", "()Ljava/lang/String;");
    if (javaThrew(env)) controller.getText = nullptr;
  }
  return controller.type != nullptr && controller.getAction != nullptr && controller.getText != nullptr;
}

void showControllerText(const Controller& controller) {
  JNIEnv* env = controller.env;
  jstring text = static_cast<jstring>(env->CallStaticObjectMethod(controller.type, controller.getText));
  if (javaThrew(env) || text == nullptr) return;
  // The characters are not terminated: their count comes with them.
  jsize length = env->GetStringLength(text);
  const jchar* chars = env->GetStringChars(text, nullptr);
  if (chars != nullptr) {
    setSplashStatus(reinterpret_cast<const wchar_t*>(chars), static_cast<size_t>(length));
    env->ReleaseStringChars(text, chars);
  }
  env->DeleteLocalRef(text);
}

// The splash thread's tick: the window ends when it is hidden, on the
// application's first window (key 145) or on the controller's request.
void tick(HWND window, SplashThreadState& state) {
  if (!IsWindowVisible(window)) {
    endSplashThread();
    return;
  }
  if (state.hideOnWindow && countProcessWindows(GetCurrentProcessId()) > 1) {
    hideSplash();
    endSplashThread();
    return;
  }
  Controller& controller = state.controller;
  if (!controllerReady(controller)) return;
  jint action = controller.env->CallStaticIntMethod(controller.type, controller.getAction);
  if (javaThrew(controller.env)) return;
  if (action == kActionHide) {
    hideSplash();
    endSplashThread();
    return;
  }
  if (action == kActionStatus) showControllerText(controller);
}

SplashThreadState* stateOf(HWND window) {
  return reinterpret_cast<SplashThreadState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK splashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  SplashThreadState* state = stateOf(window);
  if (state == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      paint(window, *state);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers the whole window
    case WM_TIMER:
      if (wParam == kTimerId) tick(window, *state);
      return 0;
    case kSetStatusMessage:
      showStatus(window, *state, *reinterpret_cast<const StatusText*>(lParam));
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void readLine(TextLine& line, int textKey, int colourKey, int xKey, int yKey) {
  configString(textKey, line.text, sizeof line.text);
  line.colour = configColour(colourKey);
  line.position = POINT{configInt(xKey), configInt(yKey)};
}

HWND createSplashWindow(SplashThreadState& state) {
  readLine(state.status, key::statusText, key::statusTextColour, key::statusTextX, key::statusTextY);
  readLine(state.version, key::versionText, key::versionTextColour, key::versionTextX, key::versionTextY);
  state.width = configInt(key::splashWidth);
  state.height = configInt(key::splashHeight);
  char title[kTextBufferSize];
  configString(key::applicationName, title, sizeof title);

  WNDCLASSA windowClass = {};
  windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
  windowClass.lpfnWndProc = splashWindowProc;
  windowClass.hInstance = instanceHandle();
  windowClass.hIcon = LoadIconA(instanceHandle(), kIconResource);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kSplashWindowClass;
  RegisterClassA(&windowClass);

  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  int x = (desktop.right - desktop.left - state.width) / 2;
  int y = (desktop.bottom - desktop.top - state.height) / 2;
  return CreateWindowExA(0, kSplashWindowClass, title, WS_POPUP, x, y, state.width, state.height, nullptr, nullptr,
                         instanceHandle(), &state);
}

DWORD WINAPI splashThread(LPVOID parameter) {
  if (!advanceCreation(kNotCreated, kCreating)) return 0;

  SplashThreadState state;
  HWND window = createSplashWindow(state);
  shared.window = window;
  setMessageOwner(window);
  ShowWindow(window, static_cast<int>(reinterpret_cast<INT_PTR>(parameter)));
  if (configInt(key::splashAlwaysOnTop) != 0) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  // A hide request that came while the window was being made: honoured now,
  // before the waiting requester goes on.
  if (!advanceCreation(kCreating, kCreated)) {
    takeWindowDown(window);
    shared.creation = kCreated;
  }
  if (window == nullptr) return 0;  // no window: nothing to show or follow

  state.hideOnWindow = configInt(key::hideSplashOnWindow) != 0;
  SetTimer(window, kTimerId, kTimerIntervalMs, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // The window outlives the thread's state by a moment: it finds none.
  SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  // A thread that never attached to the JVM has nothing to detach.
  if (state.controller.env != nullptr) detachJvmThread();
  return static_cast<DWORD>(message.wParam);
}

}  // namespace

void startSplash(int showCommand) {
  if (showCommand == SW_HIDE) {
    hideSplash();
    return;
  }
  // The thread runs on its own: its handle is not kept.
  UniqueHandle thread(
      CreateThread(nullptr, 0, splashThread, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(showCommand)), 0, nullptr));
}

void hideSplash() {
  for (;;) {
    LONG state = shared.creation;
    if (state == kCreated) break;
    if (state == kNotCreated) {
      // Before the thread began: it creates nothing.
      if (advanceCreation(kNotCreated, kCreated)) return;
      continue;
    }
    if (state == kCreating && !advanceCreation(kCreating, kHideOnCreation)) continue;
    // The splash thread takes the window down as soon as it is made; wait for that.
    DWORD start = GetTickCount();
    while (shared.creation != kCreated && GetTickCount() - start < kCreationWaitMs) Sleep(1);
    return;
  }
  takeWindowDown(shared.window);
}

void setSplashStatus(const wchar_t* text, size_t length) {
  HWND window = shared.window;
  if (shared.creation != kCreated || window == nullptr) return;
  // The window's own thread changes the line; from there the message is a call.
  StatusText status{text, length};
  SendMessageA(window, kSetStatusMessage, 0, reinterpret_cast<LPARAM>(&status));
}

size_t narrowStatusText(char* out, size_t capacity, const wchar_t* text, size_t length) {
  if (capacity == 0) return 0;
  size_t written = 0;
  for (size_t i = 0; i < length && written + 1 < capacity; ++i) {
    wchar_t c = text[i];
    if (c == 0 || c > 0xFF) break;
    out[written++] = static_cast<char>(c);
  }
  out[written] = 0;
  return written;
}
