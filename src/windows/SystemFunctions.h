// Functions of kernel32 that older systems lack, looked up by name when
// needed, so that the import table names only what every system has.
#pragma once
#include <windows.h>

// The kernel32 function of this name as Function; null where the system lacks it.
template <typename Function>
Function kernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  FARPROC function = kernel != nullptr ? GetProcAddress(kernel, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(function));
}
