// Reading the configuration block appended to the executable, and the store.
#include "Config.h"

#include <climits>
#include <cstring>
#include <vector>

#include "BlockFormat.h"
#include "Buffers.h"
#include "Log.h"
#include "Paths.h"
#include "UniqueHandle.h"

namespace {

// Process-wide: every unit and every exit step reads the settings of the one
// block the executable carries.
ConfigStore loadedStore;

// Reads exactly `size` bytes; false when the read fails or the file ends early.
bool readExactly(HANDLE file, void* buffer, DWORD size) {
  DWORD done = 0;
  return ReadFile(file, buffer, size, &done, nullptr) && done == size;
}

bool seekTo(HANDLE file, LONG offset) {
  return SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

}  // namespace

HANDLE openOwnExecutable() {
  return CreateFileA(executablePath(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

uint32_t includedFilesOffset() { return loadedStore.includedFilesOffset; }

bool readInt32(HANDLE file, int32_t* value) {
  unsigned char bytes[4];
  if (!readExactly(file, bytes, 4)) return false;
  *value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 |
                                static_cast<uint32_t>(bytes[3]) << 24);
  return true;
}

namespace {

bool readAtFrom(HANDLE file, uint32_t offset, void* buffer, uint32_t count) {
  return seekTo(file, static_cast<LONG>(offset)) && readExactly(file, buffer, count);
}

// The block's records are many small reads, each a system call of its own:
// they are served from one window of the file instead. A read the window
// cannot hold goes to the file as it is, and so fails as it would.
struct ReadWindow {
  static constexpr uint32_t kSize = 64 * 1024;
  HANDLE file;
  uint32_t fileSize;
  uint32_t start = 0;
  uint32_t length = 0;
  std::vector<unsigned char> bytes;
};

bool fillWindow(ReadWindow* window, uint32_t offset) {
  uint32_t length = window->fileSize - offset < ReadWindow::kSize ? window->fileSize - offset : ReadWindow::kSize;
  window->bytes.resize(ReadWindow::kSize);
  window->length = 0;
  if (!readAtFrom(window->file, offset, window->bytes.data(), length)) return false;
  window->start = offset;
  window->length = length;
  return true;
}

bool readFromFile(void* context, uint32_t offset, void* buffer, uint32_t count) {
  return readAtFrom(static_cast<HANDLE>(context), offset, buffer, count);
}

bool readThroughWindow(void* context, uint32_t offset, void* buffer, uint32_t count) {
  ReadWindow* window = static_cast<ReadWindow*>(context);
  bool fitsFile = offset <= window->fileSize && count <= window->fileSize - offset;
  bool inWindow = offset >= window->start && offset - window->start <= window->length &&
                  count <= window->length - (offset - window->start);
  if (!inWindow && fitsFile && count <= ReadWindow::kSize) inWindow = fillWindow(window, offset);
  if (!inWindow) return readAtFrom(window->file, offset, buffer, count);
  if (count > 0) memcpy(buffer, window->bytes.data() + (offset - window->start), count);
  return true;
}

}  // namespace

ByteSource fileByteSource(HANDLE file, uint32_t size) { return ByteSource{file, readFromFile, size}; }

ConfigReadResult readConfigBlock(HANDLE file, ConfigStore* store) {
  store->settings.clear();
  auto storeNarrow = [](void* context, int32_t key, char* text) {
    static_cast<ConfigStore*>(context)->settings[key].reset(text);
  };
  auto skipWide = [](void*, int32_t, char* text) { ::operator delete(text); };
  DWORD size = GetFileSize(file, nullptr);
  ReadWindow window{file, size == INVALID_FILE_SIZE ? 0 : size, 0, 0, {}};
  ConfigReadResult result = readBlockRecords(ByteSource{&window, readThroughWindow, window.fileSize},
                                             RecordSink{store, storeNarrow, skipWide}, &store->includedFilesOffset);
  // Positioned behind what was read, as a reader of the area expects.
  if (result == ConfigReadResult::ok) seekTo(file, static_cast<LONG>(store->includedFilesOffset));
  return result;
}

ConfigReadResult readConfigBlock(HANDLE file) { return readConfigBlock(file, &loadedStore); }

ConfigLoad loadConfigBlock() {
  UniqueHandle file(openOwnExecutable());
  if (!file) {
    DWORD openError = GetLastError();
    logError("Could not open %s", executablePath());
    return ConfigLoad{false, ConfigReadResult::ok, openError};
  }
  ConfigReadResult result = readConfigBlock(file.get());
  DWORD systemError = GetLastError();
  return ConfigLoad{true, result, systemError};
}

void configString(const ConfigStore& store, int key, char* buffer, size_t capacity) {
  auto found = store.settings.find(key);
  copyText(buffer, capacity, found == store.settings.end() ? "" : found->second.get());
}

void configString(int key, char* buffer, size_t capacity) { configString(loadedStore, key, buffer, capacity); }

int parseConfigInt(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Saturate instead of overflowing on absurdly long numbers.
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

COLORREF parseConfigColour(const char* text) {
  // Fields split at commas, empty fields skipped; missing components are 0.
  int components[3] = {0, 0, 0};
  int found = 0;
  const char* p = text;
  while (*p != 0 && found < 3) {
    while (*p == ',') ++p;
    if (*p == 0) break;
    int value = parseConfigInt(p);
    components[found++] = value < 0 ? 0 : (value > 255 ? 255 : value);
    while (*p != 0 && *p != ',') ++p;
  }
  return RGB(components[0], components[1], components[2]);
}

int configInt(const ConfigStore& store, int key) {
  char value[kTextBufferSize];
  configString(store, key, value, sizeof value);
  return parseConfigInt(value);
}

int configInt(int key) { return configInt(loadedStore, key); }

bool modernRuntimeSearch() { return configInt(key::modernRuntime) != 0; }

bool isGuiExecutable() { return configInt(key::executableType) == static_cast<int>(ExecutableType::gui); }

bool keepsMessageBoxes() {
  int type = configInt(key::executableType);
  return type == static_cast<int>(ExecutableType::gui) ||
         type == static_cast<int>(ExecutableType::consoleWithMessageBoxes);
}

COLORREF configColour(const ConfigStore& store, int key) {
  char value[kTextBufferSize];
  configString(store, key, value, sizeof value);
  return parseConfigColour(value);
}

COLORREF configColour(int key) { return configColour(loadedStore, key); }
