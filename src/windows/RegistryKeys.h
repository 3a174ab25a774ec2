// Where the launcher's registry keys live, under HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE. Below the software key ("SOFTWARE\") lie the keys that
// Java installers write (JavaSoft, vendors) and the product's own key,
// "SOFTWARE\morrowfield\tovex\", with its subkeys:
//   temp\         the deletion queue (HKCU)
//   pids\         the process IDs of single-instance applications (HKCU)
//   jvms\         the runtime version cache (HKCU)
//   locatedjvms\  runtimes that other tools located (HKCU and HKLM)
// Tests move all of them below a key of their own.
#pragma once
#include <windows.h>

#include <cstddef>

// The software key, with its trailing backslash: "SOFTWARE\" unless a test moved it.
const char* softwareKeyBase();

// The product's key below the software key (with its trailing backslash), and its subkeys.
constexpr const char* kProductKey = "morrowfield\\tovex\\";
constexpr const char* kQueueSubkey = "temp";
constexpr const char* kPidsSubkey = "pids";
constexpr const char* kVersionCacheSubkey = "jvms";
constexpr const char* kLocatedJvmsSubkey = "locatedjvms";

// softwareKeyBase() + below; false when it does not fit.
bool softwareKeyPath(char* out, size_t capacity, const char* below);

// softwareKeyBase() + kProductKey + subkey and a backslash; false when it does not fit.
bool productKeyPath(char* out, size_t capacity, const char* subkey);

// Opens the product's subkey under root, or with create makes it as needed;
// false when that fails.
bool openProductKey(HKEY root, const char* subkey, REGSAM access, bool create, HKEY* key);

// A string value (REG_SZ) of an open key, terminated: the stored text need not
// carry its terminator. False when it is absent, of another type or does not fit.
bool readStringValue(HKEY key, const char* name, char* out, size_t capacity);
