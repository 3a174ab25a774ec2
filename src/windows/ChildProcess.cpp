// Hidden child processes: the version probe and the unpacking tool.
#include "ChildProcess.h"

#include <cstring>
#include <vector>

#include "SystemFunctions.h"
#include "UniqueHandle.h"

namespace {

using InitializeAttributeListFunction = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD, PSIZE_T);
using UpdateAttributeFunction = BOOL(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST, DWORD, DWORD_PTR, PVOID, SIZE_T, PVOID,
                                              PSIZE_T);
using DeleteAttributeListFunction = VOID(WINAPI*)(LPPROC_THREAD_ATTRIBUTE_LIST);

// An attribute list that lets the child inherit one handle only; empty where
// the system has no such lists (the child then inherits every inheritable handle).
class SingleHandleList {
 public:
  explicit SingleHandleList(HANDLE handle) : handle_(handle) {
    auto initialise = kernelFunction<InitializeAttributeListFunction>("InitializeProcThreadAttributeList");
    auto update = kernelFunction<UpdateAttributeFunction>("UpdateProcThreadAttribute");
    remove_ = kernelFunction<DeleteAttributeListFunction>("DeleteProcThreadAttributeList");
    if (initialise == nullptr || update == nullptr || remove_ == nullptr) return;
    SIZE_T size = 0;
    initialise(nullptr, 1, 0, &size);
    if (size == 0) return;
    storage_.resize(size);
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!initialise(list, 1, 0, &size)) return;
    if (!update(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_, sizeof handle_, nullptr, nullptr)) {
      remove_(list);
      return;
    }
    list_ = list;
  }
  ~SingleHandleList() {
    if (list_ != nullptr) remove_(list_);
  }
  SingleHandleList(const SingleHandleList&) = delete;
  SingleHandleList& operator=(const SingleHandleList&) = delete;

  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

 private:
  HANDLE handle_;
  std::vector<unsigned char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  DeleteAttributeListFunction remove_ = nullptr;
};

}  // namespace

HANDLE startHiddenProcess(char* commandLine, bool setStandardHandles, HANDLE errorOutput) {
  STARTUPINFOEXA startup;
  memset(&startup, 0, sizeof startup);
  startup.StartupInfo.cb = sizeof startup.StartupInfo;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  DWORD flags = NORMAL_PRIORITY_CLASS;
  BOOL inherit = TRUE;
  // The error stream is all the child gets: any other handle it inherited
  // (and its console host with it) would keep the launcher's files open.
  SingleHandleList handles(errorOutput);
  if (setStandardHandles) {
    startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdError = errorOutput;
    inherit = errorOutput != nullptr;
    if (inherit && handles.list() != nullptr) {
      startup.StartupInfo.cb = sizeof startup;
      startup.lpAttributeList = handles.list();
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
  }
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, inherit, flags, nullptr, nullptr,
                      &startup.StartupInfo, &process)) {
    return nullptr;
  }
  UniqueHandle thread(process.hThread);  // not needed: closed here
  return process.hProcess;
}

bool finishChildProcess(HANDLE process, DWORD timeoutMs, DWORD* exitCode) {
  UniqueHandle owned(process);
  WaitForSingleObject(process, timeoutMs);
  *exitCode = STILL_ACTIVE;
  GetExitCodeProcess(process, exitCode);
  bool ended = *exitCode != STILL_ACTIVE;
  if (!ended) {
    TerminateProcess(process, 1);
    // Its files are closed once it is gone.
    WaitForSingleObject(process, kChildTimeoutMs);
  }
  return ended;
}
