// The start-up sequence: one line per step, each a call into the unit that owns it.
#include "Launcher.h"
#include "LauncherInternal.h"

#include <cstring>

#include "Config.h"
#include "DeletionQueue.h"
#include "ErrorReport.h"
#include "IncludedFiles.h"
#include "JavaLaunch.h"
#include "Paths.h"
#include "ProcessEnvironment.h"
#include "SingleInstance.h"
#include "Splash.h"
#include "StartFailure.h"
#include "WinLoader.h"

namespace {

constexpr const char* kRebootRequest = "__vdl_reboot";
constexpr const char* kQuietSwitch = "-q_vdl_internal";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

void honourRebootRequest(const char* tail) {
  if (!isRebootRequest(tail)) return;
  Sleep(5000);
  ExitWindowsEx(EWX_REBOOT, 0);
}

// What the report does before it speaks: a user who ends the process while a
// message is open leaves no temporary file behind, and no splash window
// covers the message. An exit without a message queues the files only.
void prepareErrorReport() {
  setMessageSource(configString, configInt);
  addReportStep(ReportMoment::beforeMessage, queueRegisteredTemps);
  addReportStep(ReportMoment::beforeMessage, hideSplash);
  addReportStep(ReportMoment::beforeExit, queueRegisteredTemps);
}

// The executable's own block, or the end with its fixed text. Key 107 then
// decides whether messages stay in boxes.
void loadConfiguration() {
  ConfigLoad load = loadConfigBlock();
  if (!load.opened) fatalBlockError(BlockError::executableNotOpened);
  switch (load.result) {
    case ConfigReadResult::ok:
      break;
    case ConfigReadResult::badMagic:
      fatalBlockError(BlockError::badMagic);
    case ConfigReadResult::badInt:
      printSystemError(load.systemError);
      fatalBlockError(BlockError::readInt);
    case ConfigReadResult::badString:
      fatalBlockError(BlockError::readString);
    case ConfigReadResult::badWideString:
      fatalBlockError(BlockError::readWideString);
  }
  if (!keepsMessageBoxes()) setQuiet();
}

// Ends the start with the failure's message, when there is one.
void stopOn(const StartFailure& failure) {
  if (failure) reportStartFailure(failure);
}

}  // namespace

const char* commandLineTail(const char* commandLine) {
  const char* p = commandLine;
  while (isBlank(*p)) ++p;
  if (*p == '"') {
    ++p;
    while (*p != 0 && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != 0 && !isBlank(*p)) ++p;
  }
  while (isBlank(*p)) ++p;
  return p;
}

bool isRebootRequest(const char* tail) { return strcmp(tail, kRebootRequest) == 0; }

bool isQuietSwitch(const char* tail) { return strncmp(tail, kQuietSwitch, strlen(kQuietSwitch)) == 0; }

int startupShowWindow() {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

// Each step hands its result to the next: the included files' directory and
// the loaded runtime give the variables' values, and all three the launch.
ExitCode runLauncher(HINSTANCE instance, const char* tail, int showWindow) {
  prepareErrorReport();
  honourRebootRequest(tail);
  if (isQuietSwitch(tail)) setQuiet();
  loadConfiguration();
  initialiseProcess(instance);
  // With key 3001 a second start of a single-instance application hands over
  // before it unpacks anything.
  bool handOverFirst = configInt(key::modernRuntime) != 0;
  if (handOverFirst) checkSingleInstance();
  StartFailure failure;
  std::optional<ExtractedFiles> extraction = extractIncludedFiles(&failure);
  if (!extraction) reportStartFailure(failure);
  processDeletionQueue();
  if (!handOverFirst) checkSingleInstance();
  if (configInt(key::showSplash) != 0) startSplash(showWindow);
  // The search has shown its own message.
  std::optional<LoadedRuntime> runtime = loadRuntime();
  if (!runtime) exitLauncher(ExitCode::noRuntime);
  const VariableValues variables{executableDirectory(), extraction->directory.c_str(), runtime->home.c_str()};
  stopOn(enterExpandedWorkingDirectory(variables));
  queueRegisteredTemps();
  WideArgumentList arguments;
  if (splitCommandLine(GetCommandLineW(), arguments) != SplitResult::ok) {
    reportStartFailure(messageFailure(key::msgWrongParameterUsage));
  }
  stopOn(launchJava(*runtime, *extraction, variables, arguments));
  return ExitCode::success;
}
