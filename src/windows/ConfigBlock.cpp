// Reading the configuration block appended to the executable, and the store.
#include "Config.h"

#include <climits>
#include <cstring>
#include <map>
#include <new>
#include <vector>

#include "BlockFormat.h"
#include "Buffers.h"
#include "Log.h"
#include "Paths.h"

namespace {

std::map<int, char*> narrowStore;
std::map<int, wchar_t*> wideStore;
uint32_t filesOffset = 0;

// Reads exactly `size` bytes; false when the read fails or the file ends early.
bool readExactly(HANDLE file, void* buffer, DWORD size) {
  DWORD done = 0;
  return ReadFile(file, buffer, size, &done, nullptr) && done == size;
}

// Lengths come from the file: a negative one is refused like a short read, and
// an absurd one fails its allocation instead of ending the process.
void* allocateText(int32_t bytes, size_t unitSize) {
  if (bytes < 0) return nullptr;
  size_t units = static_cast<size_t>(bytes) / unitSize + 1;
  return ::operator new(units * unitSize, std::nothrow);
}

template <typename Text>
void storeText(std::map<int, Text*>& store, int key, Text* text) {
  auto found = store.find(key);
  if (found != store.end()) {
    ::operator delete(found->second);
    found->second = text;
  } else {
    store.emplace(key, text);
  }
}

template <typename Text>
void clearStore(std::map<int, Text*>& store) {
  for (auto& entry : store) ::operator delete(entry.second);
  store.clear();
}

bool seekTo(HANDLE file, LONG offset) {
  return SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

}  // namespace

HANDLE openOwnExecutable() {
  return CreateFileA(executablePath(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

uint32_t includedFilesOffset() { return filesOffset; }

bool readInt32(HANDLE file, int32_t* value) {
  unsigned char bytes[4];
  if (!readExactly(file, bytes, 4)) return false;
  *value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 |
                                static_cast<uint32_t>(bytes[3]) << 24);
  return true;
}

namespace {

// The text of a record whose length has been read.
char* readStringText(HANDLE file, int32_t length) {
  char* text = static_cast<char*>(allocateText(length, 1));
  if (text == nullptr) return nullptr;
  if (!readExactly(file, text, static_cast<DWORD>(length))) {
    ::operator delete(text);
    return nullptr;
  }
  text[length] = 0;
  return text;
}

wchar_t* readWideStringText(HANDLE file, int32_t length) {
  // An odd byte count is read whole; its last byte is dropped with the half unit.
  wchar_t* text = static_cast<wchar_t*>(allocateText(length, sizeof(wchar_t)));
  if (text == nullptr) return nullptr;
  if (!readExactly(file, text, static_cast<DWORD>(length))) {
    ::operator delete(text);
    return nullptr;
  }
  text[length / 2] = 0;
  return text;
}

}  // namespace

char* readString(HANDLE file) {
  int32_t length = 0;
  return readInt32(file, &length) ? readStringText(file, length) : nullptr;
}

wchar_t* readWideString(HANDLE file) {
  int32_t length = 0;
  return readInt32(file, &length) ? readWideStringText(file, length) : nullptr;
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

ConfigReadResult readConfigBlock(HANDLE file) {
  clearStore(narrowStore);
  clearStore(wideStore);
  auto storeNarrow = [](void*, int32_t key, char* text) { storeText(narrowStore, key, text); };
  auto storeWide = [](void*, int32_t key, char* text) {
    storeText(wideStore, key, reinterpret_cast<wchar_t*>(text));
  };
  DWORD size = GetFileSize(file, nullptr);
  ReadWindow window{file, size == INVALID_FILE_SIZE ? 0 : size, 0, 0, {}};
  ConfigReadResult result = readBlockRecords(ByteSource{&window, readThroughWindow, window.fileSize},
                                             RecordSink{nullptr, storeNarrow, storeWide}, &filesOffset);
  // Positioned behind what was read, as a reader of the area expects.
  if (result == ConfigReadResult::ok) seekTo(file, static_cast<LONG>(filesOffset));
  return result;
}

ConfigLoad loadConfigBlock() {
  HANDLE file = openOwnExecutable();
  if (file == nullptr || file == INVALID_HANDLE_VALUE) {
    DWORD openError = GetLastError();
    logError("Could not open %s", executablePath());
    return ConfigLoad{false, ConfigReadResult::ok, openError};
  }
  ConfigReadResult result = readConfigBlock(file);
  DWORD systemError = GetLastError();
  CloseHandle(file);
  return ConfigLoad{true, result, systemError};
}

void configString(int key, char* buffer, size_t capacity) {
  auto found = narrowStore.find(key);
  copyText(buffer, capacity, found == narrowStore.end() ? "" : found->second);
}

void configWideString(int key, wchar_t* buffer, size_t capacity) {
  auto found = wideStore.find(key);
  copyWideText(buffer, capacity, found == wideStore.end() ? L"" : found->second);
}

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

int configInt(int key) {
  char value[kTextBufferSize];
  configString(key, value, sizeof value);
  return parseConfigInt(value);
}

bool modernRuntimeSearch() { return configInt(key::modernRuntime) != 0; }

bool isGuiExecutable() { return configInt(key::executableType) == static_cast<int>(ExecutableType::gui); }

bool keepsMessageBoxes() {
  int type = configInt(key::executableType);
  return type == static_cast<int>(ExecutableType::gui) ||
         type == static_cast<int>(ExecutableType::consoleWithMessageBoxes);
}

COLORREF configColour(int key) {
  char value[kTextBufferSize];
  configString(key, value, sizeof value);
  return parseConfigColour(value);
}
