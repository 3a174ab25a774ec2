// jvmdep.dll: the library that jvm_needs_dep.dll imports. When loaded it
// appends its own path to jvmdep_loaded.log beside itself, so a test sees
// which copy of it a process took (a decoy copy must never be).
#include <windows.h>

#include <cstring>

extern "C" __declspec(dllexport) int standinDependency() { return 42; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(instance, path, sizeof path);
  if (length == 0 || length >= sizeof path) return TRUE;
  char marker[MAX_PATH + 32];
  lstrcpynA(marker, path, sizeof marker);
  char* name = strrchr(marker, '\\');
  if (name == nullptr) return TRUE;
  lstrcpyA(name + 1, "jvmdep_loaded.log");
  HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  path[length++] = '\n';  // length < sizeof path: room for it
  DWORD written = 0;
  WriteFile(file, path, length, &written, nullptr);
  CloseHandle(file);
  return TRUE;
}
