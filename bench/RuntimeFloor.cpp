// The third floor of a start: the same-imports floor that also loads a
// runtime's jvm.dll (the command line names it) and enters its
// JNI_CreateJavaVM, as the launcher does at the end of its start. A start of
// it costs the loader's work and the runtime's own, none of the launcher's.
#include <windows.h>

#include <cstdint>

// The launcher's own import slots: the floor imports nothing it does not.
#ifdef _WIN64
#define TOVEX_SLOT(name) "__imp_" #name
#else
#define TOVEX_SLOT(name) "__imp__" #name
#endif

extern "C" {
extern void* const* const tovex_same_imports[];
extern HMODULE(WINAPI* const tovex_load_library)(LPCSTR, HANDLE, DWORD) __asm__(TOVEX_SLOT(LoadLibraryExA));
extern FARPROC(WINAPI* const tovex_get_proc_address)(HMODULE, LPCSTR) __asm__(TOVEX_SLOT(GetProcAddress));
}

namespace {

// JavaVMInitArgs with no options.
struct InitArgs {
  int32_t version;
  int32_t nOptions;
  void* options;
  unsigned char ignoreUnrecognized;
};

using CreateJavaVm = int32_t(WINAPI*)(void**, void**, void*);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  void* const* const* volatile list = tovex_same_imports;
  if (list[0] == nullptr) return 1;
  HMODULE library = tovex_load_library(commandLine, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (library == nullptr) return 2;
  auto create = reinterpret_cast<CreateJavaVm>(
      reinterpret_cast<void*>(tovex_get_proc_address(library, "JNI_CreateJavaVM")));
  if (create == nullptr) return 3;
  InitArgs arguments{0x00010002, 0, nullptr, 1};
  void* vm = nullptr;
  void* env = nullptr;
  // A runtime that ends the process here ends the floor's start as it ends the launcher's.
  return create(&vm, &env, &arguments) == 0 ? 0 : 4;
}
