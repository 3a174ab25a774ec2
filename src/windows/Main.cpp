// The launcher's entry point.
#include <windows.h>

#include "Launcher.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return static_cast<int>(runLauncher(instance, commandLineTail(GetCommandLineA()), startupShowWindow()));
}
