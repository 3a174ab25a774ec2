// The software key and the product's keys below it.
#include "RegistryKeys.h"
#include "RegistryKeysInternal.h"

#include "Buffers.h"

namespace {

char keyBase[256] = "SOFTWARE\\";

}  // namespace

const char* softwareKeyBase() { return keyBase; }

void setSoftwareKeyBaseForTests(const char* base) { copyText(keyBase, sizeof keyBase, base); }

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
