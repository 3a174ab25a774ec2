// Unpacking a runtime whose jars are packed with pack200.
#include "PackedRuntime.h"
#include "PackedRuntimeInternal.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "Buffers.h"
#include "ChildProcess.h"
#include "ErrorReport.h"
#include "Log.h"
#include "Paths.h"

namespace {

// lib\jsse.jar comes last: its presence means the unpacking has finished.
constexpr const char* kPackedJars[] = {
    "lib\\rt.jar", "lib\\charsets.jar", "lib\\plugin.jar", "lib\\deploy.jar", "lib\\ext\\localedata.jar",
    "lib\\jsse.jar",
};

bool homeFileExists(const char* home, const char* relative) {
  char path[kTextBufferSize];
  return formatText(path, sizeof path, "%s\\%s", home, relative) && fileExists(path);
}

}  // namespace

bool unpackCommandLine(char* out, size_t capacity, const char* home, const char* packedPath,
                       const char* jarPath) {
  return formatText(out, capacity, "\"%s\\bin\\unpack200.exe\" -r \"%s\" \"%s\"", home, packedPath, jarPath);
}

bool unpackJar(const char* home, const char* jar, DWORD timeoutMs) {
  char jarPath[kTextBufferSize];
  char packedPath[kTextBufferSize];
  // A path cut to fit would name another file: such a jar is left alone.
  if (!formatText(jarPath, sizeof jarPath, "%s\\%s", home, jar) ||
      !formatText(packedPath, sizeof packedPath, "%s.pack", jarPath)) {
    return true;
  }
  logInfo("Unpacking %s to %s", packedPath, jarPath);
  if (!fileExists(packedPath)) {
    logInfo("pack path doesn't exists");
    return true;
  }
  // On the heap: a static buffer would add its size to every application executable.
  std::vector<char> commandLine(kCommandLineSize);
  HANDLE process = nullptr;
  if (unpackCommandLine(commandLine.data(), commandLine.size(), home, packedPath, jarPath)) {
    process = startHiddenProcess(commandLine.data(), false, nullptr);
  }
  if (process == nullptr) {
    logInfo("could not create unpack process");
    // At once: a search going on from here would choose a runtime this start has always stopped before.
    fatalInternalError(InternalError::unpackerNotStarted);
  }
  logInfo("waiting for unpack200 to finish");
  DWORD exitCode = 0;
  if (!finishChildProcess(process, timeoutMs, &exitCode)) {
    // What it wrote of the jar is no jar; the packed file stays for a later start.
    DeleteFileA(jarPath);
    logError("unpack200 did not finish %s within %lu s and was ended: the runtime at %s is not used", packedPath,
             static_cast<unsigned long>(timeoutMs / 1000), home);
    return false;
  }
  logInfo("unpack done");
  return true;
}

bool unpackPackedRuntime(const char* home, DWORD timeoutMs) {
  if (!homeFileExists(home, "lib\\rt.jar.pack") || homeFileExists(home, "lib\\jsse.jar")) return true;
  logInfo("Unpacking JRE");
  announceRuntimeUnpacking();
  for (const char* jar : kPackedJars) {
    if (!unpackJar(home, jar, timeoutMs)) return false;
  }
  logInfo("Unpacking JRE done");
  return true;
}
