// A process's top-level windows: activation and counting over EnumWindows.
#include "ProcessWindows.h"
#include "ProcessWindowsInternal.h"

#include "Buffers.h"
#include "Config.h"

namespace {

// How long the console takes to show a new title on its window.
constexpr DWORD kConsoleTitleDelayMs = 40;

struct Activation {
  DWORD processId;
  bool restoreMinimised;
};

struct Count {
  DWORD processId;
  HWND console;
  int windows;
};

bool isVisibleWindowOf(HWND window, DWORD processId) {
  if (!IsWindowVisible(window)) return false;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == processId;
}

BOOL CALLBACK activateWindow(HWND window, LPARAM parameter) {
  const Activation& activation = *reinterpret_cast<const Activation*>(parameter);
  if (!isVisibleWindowOf(window, activation.processId)) return TRUE;
  if (activation.restoreMinimised && IsIconic(window)) ShowWindow(window, SW_RESTORE);
  SetForegroundWindow(window);
  // The window itself when it has no pop-up: an open dialog ends up in front.
  SetForegroundWindow(GetLastActivePopup(window));
  return TRUE;
}

BOOL CALLBACK countWindow(HWND window, LPARAM parameter) {
  Count& count = *reinterpret_cast<Count*>(parameter);
  if (window != count.console && isVisibleWindowOf(window, count.processId)) ++count.windows;
  return TRUE;
}

}  // namespace

void activateProcessWindows(DWORD processId, bool restoreMinimised) {
  Activation activation{processId, restoreMinimised};
  EnumWindows(activateWindow, reinterpret_cast<LPARAM>(&activation));
}

int countProcessWindows(DWORD processId) {
  // Process-wide, searched on the first count only: the search retitles the
  // console for a moment. A count runs on the splash thread only.
  static const HWND console = findConsoleWindow();
  return countWindowsExcept(processId, console);
}

int countWindowsExcept(DWORD processId, HWND console) {
  Count count{processId, console, 0};
  EnumWindows(countWindow, reinterpret_cast<LPARAM>(&count));
  return count.windows;
}

HWND findConsoleWindow() {
  if (isGuiExecutable()) return nullptr;

  char title[kTextBufferSize];
  if (GetConsoleTitleA(title, sizeof title) == 0) return nullptr;
  char uniqueTitle[64];
  formatText(uniqueTitle, sizeof uniqueTitle, "%d/%d", static_cast<int>(GetTickCount()),
             static_cast<int>(GetCurrentProcessId()));
  if (!SetConsoleTitleA(uniqueTitle)) return nullptr;
  Sleep(kConsoleTitleDelayMs);
  HWND console = FindWindowA(nullptr, uniqueTitle);
  SetConsoleTitleA(title);
  return console;
}
