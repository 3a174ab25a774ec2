// Single-instance mode: the first start of an executable holds a semaphore
// named after it and registers its process ID; later starts bring its
// windows to the front, hand their arguments over through a file and end.
#include "SingleInstance.h"
#include "SingleInstanceInternal.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "ErrorReport.h"
#include "Log.h"
#include "Paths.h"
#include "ProcessWindows.h"
#include "RegistryKeys.h"
#include "TempFiles.h"
#include "UniqueHandle.h"

namespace {

// An earlier hand-over not consumed yet is waited for, 50 ms at a time, at most 10 s.
constexpr DWORD kHandOverPollMs = 50;
constexpr int kHandOverPolls = 200;

// Process-wide, like the semaphore it names: set once it exists, read for the JVM's options.
char* semaphoreName = nullptr;

// Waits while an earlier hand-over to the same process lies unread, then
// writes this start's arguments.
void handOverArguments(DWORD processId, const wchar_t* arguments) {
  char path[kTextBufferSize];
  processTempFileName(path, sizeof path, static_cast<int>(processId));
  for (int poll = 0; poll < kHandOverPolls && fileExists(path); ++poll) Sleep(kHandOverPollMs);
  writeHandOverFile(path, arguments);
}

}  // namespace

void checkSingleInstance() {
  if (configInt(key::singleInstance) == 0) return;

  char* name = new char[kTextBufferSize];
  semaphoreNameFor(executablePath(), name, kTextBufferSize);
  // Held open for the process's life: its existence marks the first instance.
  SetLastError(ERROR_SUCCESS);
  UniqueHandle semaphore(CreateSemaphoreA(nullptr, 1, 1, name));
  if (GetLastError() != ERROR_ALREADY_EXISTS) {
    // A failed creation counts as first instance too, but names no semaphore.
    if (semaphore) {
      semaphore.release();  // held until the process ends
      semaphoreName = name;
    } else {
      delete[] name;
    }
    registerProcess();
    return;
  }

  semaphore.reset();
  const wchar_t* arguments = commandLineArguments(GetCommandLineW());
  if (!isHandOverText(arguments)) {
    logError("arguments with a line feed are not handed over");
    fatalError(kArgumentsNotHandedOver);
  }
  DWORD firstInstance = lookUpRunningProcess();
  activateProcessWindows(firstInstance, true);
  // Without the first instance's ID no application would ever read the file.
  if (firstInstance != 0) handOverArguments(firstInstance, arguments);
  exitLauncher(ExitCode::success);
}

const char* singleInstanceSemaphoreName() { return semaphoreName; }

bool semaphoreNameFor(const char* path, char* out, size_t capacity) {
  bool whole = copyText(out, capacity, path);
  for (char* p = out; *p != 0; ++p) {
    if (*p == '\\') *p = '_';
  }
  return whole;
}

void registerProcess() {
  UniqueKey key;
  if (!openProductKey(HKEY_CURRENT_USER, kPidsSubkey, KEY_ALL_ACCESS, true, key.receive())) return;
  DWORD processId = GetCurrentProcessId();
  RegSetValueExA(key.get(), executablePath(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&processId),
                 sizeof processId);
}

DWORD lookUpRunningProcess() {
  UniqueKey key;
  if (!openProductKey(HKEY_CURRENT_USER, kPidsSubkey, KEY_READ, false, key.receive())) return 0;
  DWORD processId = 0;
  DWORD size = sizeof processId;
  LONG result = RegQueryValueExA(key.get(), executablePath(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&processId), &size);
  return result == ERROR_SUCCESS && size == sizeof processId ? processId : 0;
}

const wchar_t* commandLineArguments(const wchar_t* commandLine) {
  const wchar_t* end = commandLine + wcslen(commandLine);
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    p = wcschr(p + 1, L'"');
    if (p == nullptr) return end;
  }
  p = wcschr(p, L' ');
  if (p == nullptr) return end;
  while (*p == L' ') ++p;
  return p;
}

bool isHandOverText(const wchar_t* arguments) { return wcschr(arguments, L'\n') == nullptr; }

bool writeHandOverFile(const char* path, const wchar_t* arguments) {
  // One write of the whole text: the reader takes a file only once it ends
  // with the line feed.
  size_t length = wcslen(arguments);
  std::vector<unsigned char> bytes;
  bytes.reserve(2 * (length + 1));
  for (size_t i = 0; i <= length; ++i) {
    unsigned unit = i < length ? static_cast<unsigned>(arguments[i]) : 0x000Au;
    bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    bytes.push_back(static_cast<unsigned char>(unit >> 8));
  }
  // An earlier file of the name goes first (a link goes, not its target);
  // then the file is made new, so that nothing planted meanwhile is written
  // through.
  DeleteFileA(path);
  UniqueHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}
