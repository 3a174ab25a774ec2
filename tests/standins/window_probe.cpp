// Not a stand-in: lists the top-level windows of a window class, one line
// each, for the end-to-end tests of the splash screen:
//   visible=1 topmost=0 rect=384,341,640,427 title=My App
// Exit code 0 when a window of the class exists, 1 otherwise.
//
// window_probe --start-hidden PROGRAM [ARGUMENT...] starts the program with
// the show-window value SW_HIDE, waits for it and ends with its exit code.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const char* wantedClass = nullptr;
int found = 0;

BOOL CALLBACK listWindow(HWND window, LPARAM) {
  char name[256];
  if (GetClassNameA(window, name, sizeof name) == 0 || strcmp(name, wantedClass) != 0) return TRUE;
  ++found;
  RECT rect;
  GetWindowRect(window, &rect);
  char title[512];
  GetWindowTextA(window, title, sizeof title);
  LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  printf("visible=%d topmost=%d rect=%ld,%ld,%ld,%ld title=%s\n", IsWindowVisible(window) ? 1 : 0,
         (exStyle & WS_EX_TOPMOST) ? 1 : 0, rect.left, rect.top, rect.right, rect.bottom, title);
  return TRUE;
}

}  // namespace

// Runs the rest of this program's command line with SW_HIDE.
int startHidden() {
  const char* commandLine = GetCommandLineA();
  const char* rest = strstr(commandLine, "--start-hidden");
  rest += strlen("--start-hidden");
  while (*rest == ' ') ++rest;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  char* line = _strdup(rest);
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    fprintf(stderr, "cannot start %s\n", rest);
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

int main(int argc, char** argv) {
  if (argc > 2 && strcmp(argv[1], "--start-hidden") == 0) return startHidden();
  if (argc < 2) {
    fprintf(stderr, "usage: window_probe CLASS\n");
    return 2;
  }
  wantedClass = argv[1];
  EnumWindows(listWindow, 0);
  fflush(stdout);
  return found > 0 ? 0 : 1;
}
