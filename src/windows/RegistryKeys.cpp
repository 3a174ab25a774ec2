// The software key and the product's keys below it.
#include "RegistryKeys.h"
#include "RegistryKeysInternal.h"

#include "Buffers.h"

namespace {

// Process-wide: every registry reader of the run starts here; unit tests move
// it below a key of their own for the whole test program (and the queue
// writers they start), through every unit that reads the registry.
char keyBase[256] = "SOFTWARE\\";

}  // namespace

const char* softwareKeyBase() { return keyBase; }

void setSoftwareKeyBaseForTests(const char* base) { copyText(keyBase, sizeof keyBase, base); }

bool softwareKeyPath(char* out, size_t capacity, const char* below) {
  return formatText(out, capacity, "%s%s", keyBase, below);
}

bool productKeyPath(char* out, size_t capacity, const char* subkey) {
  return formatText(out, capacity, "%s%s%s\\", keyBase, kProductKey, subkey);
}

bool openProductKey(HKEY root, const char* subkey, REGSAM access, bool create, HKEY* key) {
  char path[kTextBufferSize];
  if (!productKeyPath(path, sizeof path, subkey)) return false;
  LONG result = create ? RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key,
                                         nullptr)
                       : RegOpenKeyExA(root, path, 0, access, key);
  return result == ERROR_SUCCESS;
}

bool readStringValue(HKEY key, const char* name, char* out, size_t capacity) {
  if (capacity < 2) return false;
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(capacity - 1);
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  out[size] = 0;
  return true;
}
