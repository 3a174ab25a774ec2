// A stand-in jvm.dll for the loading tests: it only exports the entry point.
#include <cstdint>

extern "C" __declspec(dllexport) int32_t __stdcall JNI_CreateJavaVM(void**, void**, void*) { return -1; }
