// The architecture of a runtime, read from the machine field of its jvm.dll's
// PE header before anything of it is loaded or run. Portable: no <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint16_t kMachineI386 = 0x014c;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;

// The machine this launcher is built for.
constexpr uint16_t launcherMachine() {
#ifdef _WIN64
  return kMachineAmd64;
#else
  return kMachineI386;
#endif
}

// The machine field of a PE image's first bytes; 0 when they are not one.
uint16_t peMachineOfImage(const unsigned char* data, size_t size);

// The machine field of a PE file; 0 when it cannot be read or is not one.
uint16_t peMachineOfFile(const char* path);

// "32-bit", "64-bit" or "ARM64", for messages and the log.
const char* machineText(uint16_t machine);
