// The splash screen: its thread, window, painting and the Java controller.
#include "Splash.h"
#include "SplashInternal.h"

#include <windows.h>

#include "Buffers.h"
#include "Config.h"
#include "ErrorReport.h"
#include "ProcessEnvironment.h"
#include "ProcessWindows.h"
#include "RunningJvm.h"

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

// splashCreated moves from kNotCreated either to kCreated (a hide request
// before the thread began: the thread creates nothing) or, through
// kCreating, to kCreated once the window has been created and shown. A hide
// request during creation turns kCreating into kHideOnCreation, and the
// splash thread hides the window itself before it sets kCreated, so that no
// request is lost. Only interlocked operations change it.
enum : LONG { kNotCreated = 0, kCreated = 1, kCreating = 2, kHideOnCreation = 3 };
volatile LONG splashCreated = kNotCreated;
HWND volatile splashWindow = nullptr;

// Written by the splash thread before the window exists, read afterwards.
char* statusLine = nullptr;
char* versionLine = nullptr;
COLORREF statusColour = 0;
COLORREF versionColour = 0;
int windowWidth = 0;
int windowHeight = 0;
POINT statusPosition = {0, 0};
POINT versionPosition = {0, 0};
bool hideOnWindow = false;

// The splash thread's own: fonts, and the controller once the JVM exists.
HFONT statusFont = nullptr;
HFONT versionFont = nullptr;
bool fontsCreated = false;
JNIEnv* controllerEnv = nullptr;
jclass controllerClass = nullptr;
jmethodID getActionMethod = nullptr;
jmethodID getTextMethod = nullptr;

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

void createFonts(HDC dc) {
  if (fontsCreated) return;
  statusFont = createFont(dc, key::statusFontSize, key::statusFontWeight, key::statusFontName);
  versionFont = createFont(dc, key::versionFontSize, key::versionFontWeight, key::versionFontName);
  fontsCreated = true;
}

// Copies the splash picture's top left windowWidth x windowHeight pixels to
// the buffer; a missing picture leaves the buffer as it is.
void drawPicture(HDC buffer) {
  HANDLE picture = LoadImageA(instanceHandle(), MAKEINTRESOURCEA(kPictureResource), IMAGE_BITMAP, 0, 0,
                              LR_DEFAULTCOLOR);
  if (picture == nullptr) return;
  HDC pictureDc = CreateCompatibleDC(buffer);
  HGDIOBJ previous = SelectObject(pictureDc, picture);
  BitBlt(buffer, 0, 0, windowWidth, windowHeight, pictureDc, 0, 0, SRCCOPY);
  SelectObject(pictureDc, previous);
  DeleteDC(pictureDc);
  DeleteObject(picture);
}

void drawLine(HDC dc, HFONT font, COLORREF colour, POINT position, const char* text) {
  SelectObject(dc, font);
  SetTextColor(dc, colour);
  TextOutA(dc, position.x, position.y, text, lstrlenA(text));
}

// Paints through an off-screen buffer: one copy of the whole window reaches
// the screen.
void paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  createFonts(dc);

  HDC buffer = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, windowWidth, windowHeight);
  HGDIOBJ previousBitmap = SelectObject(buffer, bitmap);

  RECT whole = {0, 0, windowWidth, windowHeight};
  FillRect(buffer, &whole, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
  drawPicture(buffer);

  int previousMode = SetBkMode(buffer, TRANSPARENT);
  COLORREF previousColour = GetTextColor(buffer);
  HGDIOBJ previousFont = GetCurrentObject(buffer, OBJ_FONT);
  drawLine(buffer, statusFont, statusColour, statusPosition, statusLine);
  drawLine(buffer, versionFont, versionColour, versionPosition, versionLine);
  SelectObject(buffer, previousFont);
  SetBkMode(buffer, previousMode);
  SetTextColor(buffer, previousColour);

  BitBlt(dc, 0, 0, windowWidth, windowHeight, buffer, 0, 0, SRCCOPY);
  SelectObject(buffer, previousBitmap);
  DeleteObject(bitmap);
  DeleteDC(buffer);
  EndPaint(window, &ps);
}

LRESULT CALLBACK splashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers the whole window
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void readSettings() {
  statusLine = new char[kTextBufferSize];
  versionLine = new char[kTextBufferSize];
  configString(key::statusText, statusLine, kTextBufferSize);
  configString(key::versionText, versionLine, kTextBufferSize);
  statusColour = configColour(key::statusTextColour);
  versionColour = configColour(key::versionTextColour);
  windowWidth = configInt(key::splashWidth);
  windowHeight = configInt(key::splashHeight);
  statusPosition = POINT{configInt(key::statusTextX), configInt(key::statusTextY)};
  versionPosition = POINT{configInt(key::versionTextX), configInt(key::versionTextY)};
}

HWND createSplashWindow() {
  readSettings();
  char* title = new char[kTextBufferSize];
  configString(key::applicationName, title, kTextBufferSize);

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
  int x = (desktop.right - desktop.left - windowWidth) / 2;
  int y = (desktop.bottom - desktop.top - windowHeight) / 2;
  HWND window = CreateWindowExA(0, kSplashWindowClass, title, WS_POPUP, x, y, windowWidth, windowHeight,
                                nullptr, nullptr, instanceHandle(), nullptr);
  delete[] title;
  fontsCreated = false;
  return window;
}

// Ends the splash thread; the system destroys the window with it. Error
// messages from now on have no owner rather than a window that is gone. A
// thread that never attached to the JVM has nothing to detach.
[[noreturn]] void endSplashThread() {
  setMessageOwner(nullptr);
  if (controllerEnv != nullptr) detachJvmThread();
  ExitThread(0);
}

// A Java call that threw: the exception is cleared, so that the thread's
// later calls find no pending exception.
bool javaThrew(JNIEnv* env) {
  if (!env->ExceptionCheck()) return false;
  env->ExceptionClear();
  return true;
}

// Finds the controller once the JVM exists; false while it is not usable.
bool controllerReady() {
  if (controllerEnv == nullptr) {
    controllerEnv = attachJvmThread();
    if (controllerEnv == nullptr) return false;  // no JVM yet: tried again next tick
    controllerClass = controllerEnv->FindClass(kControllerClass);
    if (controllerClass == nullptr || javaThrew(controllerEnv)) {
      controllerClass = nullptr;  // the application has no controller: not looked up again
      return false;
    }
    getActionMethod = controllerEnv->GetStaticMethodID(controllerClass, "getAction", "()I");
    if (javaThrew(controllerEnv)) getActionMethod = nullptr;
    getTextMethod = controllerEnv->GetStaticMethodID(controllerClass, "getText", "()Ljava/lang/String;");
    if (javaThrew(controllerEnv)) getTextMethod = nullptr;
  }
  return controllerClass != nullptr && getActionMethod != nullptr && getTextMethod != nullptr;
}

void showControllerText(JNIEnv* env) {
  jstring text = static_cast<jstring>(env->CallStaticObjectMethod(controllerClass, getTextMethod));
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

void CALLBACK splashTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (!IsWindowVisible(splashWindow)) endSplashThread();
  if (hideOnWindow && countProcessWindows(GetCurrentProcessId()) > 1) {
    hideSplash();
    endSplashThread();
  }
  if (!controllerReady()) return;
  jint action = controllerEnv->CallStaticIntMethod(controllerClass, getActionMethod);
  if (javaThrew(controllerEnv)) return;
  if (action == kActionHide) {
    hideSplash();
    endSplashThread();
  }
  if (action == kActionStatus) showControllerText(controllerEnv);
}

DWORD WINAPI splashThread(LPVOID parameter) {
  if (InterlockedCompareExchange(&splashCreated, kCreating, kNotCreated) != kNotCreated) return 0;

  HWND window = createSplashWindow();
  splashWindow = window;
  setMessageOwner(window);
  ShowWindow(window, static_cast<int>(reinterpret_cast<INT_PTR>(parameter)));
  if (configInt(key::splashAlwaysOnTop) != 0) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  // A hide request that came while the window was being made: honoured now,
  // before the waiting requester goes on.
  if (InterlockedCompareExchange(&splashCreated, kCreated, kCreating) != kCreating) {
    takeWindowDown(window);
    InterlockedExchange(&splashCreated, kCreated);
  }

  hideOnWindow = configInt(key::hideSplashOnWindow) != 0;
  SetTimer(nullptr, kTimerId, kTimerIntervalMs, splashTimer);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<DWORD>(message.wParam);
}

}  // namespace

void startSplash(int showCommand) {
  if (showCommand == SW_HIDE) {
    hideSplash();
    return;
  }
  HANDLE thread = CreateThread(nullptr, 0, splashThread, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(showCommand)),
                               0, nullptr);
  if (thread != nullptr) CloseHandle(thread);
}

void hideSplash() {
  for (;;) {
    LONG state = splashCreated;
    if (state == kCreated) break;
    if (state == kNotCreated) {
      // Before the thread began: it creates nothing.
      if (InterlockedCompareExchange(&splashCreated, kCreated, kNotCreated) == kNotCreated) return;
      continue;
    }
    if (state == kCreating &&
        InterlockedCompareExchange(&splashCreated, kHideOnCreation, kCreating) != kCreating) {
      continue;
    }
    // The splash thread takes the window down as soon as it is made; wait for that.
    DWORD start = GetTickCount();
    while (splashCreated != kCreated && GetTickCount() - start < kCreationWaitMs) Sleep(1);
    return;
  }
  takeWindowDown(splashWindow);
}

void setSplashStatus(const wchar_t* text, size_t length) {
  HWND window = splashWindow;
  if (splashCreated != kCreated || window == nullptr) return;
  narrowStatusText(statusLine, kTextBufferSize, text, length);
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
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
