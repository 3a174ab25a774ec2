// The diagnostic log file.
#include "Log.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "Buffers.h"
#include "UniqueHandle.h"

namespace {

// Process-wide: the run's one log, written by every unit from its first line
// to the exit; never closed (each line is flushed as it is written).
bool logInitialised = false;
FILE* logFile = nullptr;
const char* logPath = nullptr;
RunText logPathText;

constexpr const char* kFallbackLogPath = "c:\\vdl_nlog";

bool variableIsYes(const char* name) {
  char value[kTextBufferSize];
  DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  // A value that does not fit reports the size it needs; it is not "yes".
  return length > 0 && length < sizeof value && strcmp(value, "yes") == 0;
}

void writeFirstEntry() {
  char executable[kTextBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, executable, sizeof executable - 1);
  executable[length < sizeof executable ? length : sizeof executable - 1] = 0;
  time_t now = time(nullptr);
  const char* when = ctime(&now);
  __ms_fprintf(logFile, "Started executable %s at %s\n", executable, when != nullptr ? when : "\n");
  fflush(logFile);
}

bool isDirectory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Opens path for writing only when it can be made new: a file or link
// planted under the name is never written through.
FILE* createNewFile(const char* path) {
  UniqueHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file) return nullptr;
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_WRONLY | _O_TEXT);
  if (descriptor == -1) return nullptr;
  file.release();  // the descriptor owns it now
  FILE* stream = _fdopen(descriptor, "w");
  if (stream == nullptr) _close(descriptor);
  return stream;
}

// A fresh file named as the C library's _tempnam names one: in the directory
// of TMP when that exists, else in `directory` when that exists, else in the
// current directory; the whole prefix, then a suffix. The file is made new
// under the first suffix no file or link has yet; logPath names it.
FILE* createTemporaryLog(const char* directory, const char* prefix) {
  char chosen[kTextBufferSize];
  DWORD length = GetEnvironmentVariableA("TMP", chosen, sizeof chosen);
  if (length == 0 || length >= sizeof chosen || !isDirectory(chosen)) {
    if (isDirectory(directory)) {
      copyText(chosen, sizeof chosen, directory);
    } else {
      length = GetCurrentDirectoryA(sizeof chosen, chosen);
      if (length == 0 || length >= sizeof chosen) return nullptr;
    }
  }
  size_t used = strlen(chosen);
  const char* separator = (used > 0 && chosen[used - 1] != '\\' && chosen[used - 1] != '/') ? "\\" : "";

  char* name = logPathText.text();
  DWORD process = GetCurrentProcessId();
  for (unsigned attempt = 0; attempt < 10000; ++attempt) {
    if (!formatText(name, RunText::capacity, "%s%s%s%lx_%u", chosen, separator, prefix,
                    static_cast<unsigned long>(process), attempt)) {
      return nullptr;
    }
    if (FILE* file = createNewFile(name)) {
      logPath = name;
      return file;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}

void openLog() {
  if (logInitialised) return;
  logInitialised = true;

  if (!logRequestedByEnvironment()) return;

  logFile = createTemporaryLog("c:\\", "vdl_nlog_");
  if (logFile == nullptr) {
    logPath = kFallbackLogPath;
    // Replaced, not written through: a link under the name goes, its target stays.
    DeleteFileA(logPath);
    logFile = createNewFile(logPath);
    if (logFile == nullptr) return;
  }
  writeFirstEntry();
}

void writeLine(const char* prefix, const char* format, va_list args) {
  openLog();
  if (logFile == nullptr) return;
  fputs(prefix, logFile);
  __ms_vfprintf(logFile, format, args);
  fputs("\n", logFile);
  fflush(logFile);
}

}  // namespace

bool logRequestedByEnvironment() {
  // Both are read; either one suffices.
  bool tovex = variableIsYes("TOVEX_LOG");
  bool vandrel = variableIsYes("VANDREL_LOG");
  return tovex || vandrel;
}

void logInfo(const char* format, ...) {
  va_list args;
  va_start(args, format);
  writeLine("", format, args);
  va_end(args);
}

void logError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  writeLine("ERROR: ", format, args);
  va_end(args);
}

const char* logFilePath() { return logPath; }
