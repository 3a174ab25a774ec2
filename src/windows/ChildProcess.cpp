// Hidden child processes: the version probe and the unpacking tool.
#include "ChildProcess.h"

#include <cstring>

HANDLE startHiddenProcess(char* commandLine, bool setStandardHandles, HANDLE errorOutput) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  if (setStandardHandles) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdError = errorOutput;
  }
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                      &startup, &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}
