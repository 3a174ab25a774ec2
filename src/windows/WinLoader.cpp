// The runtime search and the loading of jvm.dll.
#include "WinLoader.h"

#include "Config.h"
#include "ErrorReport.h"
#include "Log.h"

// The search knows no runtime location yet: every start ends as one that found none.
bool LoadDLL() {
  // The historical first line prints a null text argument as "(null)".
  logInfo("LoadDLL (%d, %s, %d)", 1, "(null)", 0);
  logError("No JVM found");
  showErrorKey(key::msgNoJvm);
  return false;
}
