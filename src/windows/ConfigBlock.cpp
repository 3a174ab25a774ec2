// Reading the configuration block appended to the executable, and the store.
#include "Config.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>

#include "BlockFormat.h"
#include "Buffers.h"
#include "ErrorReport.h"
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

// One record list: a count, then key, length and text per record.
template <typename Text, typename ReadText>
ConfigReadResult readRecords(HANDLE file, std::map<int, Text*>& store, ReadText readText,
                             ConfigReadResult badText) {
  int32_t count = 0;
  if (!readInt32(file, &count)) return ConfigReadResult::badInt;
  for (int32_t i = 0; i < count; ++i) {
    int32_t key = 0;
    int32_t length = 0;
    // A record's key and length are integers like the counts: only its text is a string.
    if (!readInt32(file, &key) || !readInt32(file, &length)) return ConfigReadResult::badInt;
    Text* text = readText(file, length);
    if (text == nullptr) return badText;
    storeText(store, key, text);
  }
  return ConfigReadResult::ok;
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

ConfigReadResult readConfigBlock(HANDLE file) {
  clearStore(narrowStore);
  clearStore(wideStore);
  filesOffset = 0;

  int32_t rawSize = 0;
  int32_t rawOffset = 0;
  if (!seekTo(file, blockformat::kLastSectionRawSizeOffset) || !readInt32(file, &rawSize)) {
    return ConfigReadResult::badInt;
  }
  if (!seekTo(file, blockformat::kLastSectionRawPointerOffset) || !readInt32(file, &rawOffset)) {
    return ConfigReadResult::badInt;
  }
  int32_t magic = 0;
  if (!seekTo(file, static_cast<LONG>(static_cast<uint32_t>(rawOffset) + static_cast<uint32_t>(rawSize))) ||
      !readInt32(file, &magic)) {
    return ConfigReadResult::badInt;
  }
  if (static_cast<uint32_t>(magic) != blockformat::kMagic) return ConfigReadResult::badMagic;

  ConfigReadResult result = readRecords(file, narrowStore, readStringText, ConfigReadResult::badString);
  if (result != ConfigReadResult::ok) return result;
  result = readRecords(file, wideStore, readWideStringText, ConfigReadResult::badWideString);
  if (result != ConfigReadResult::ok) return result;

  filesOffset = SetFilePointer(file, 0, nullptr, FILE_CURRENT);
  return ConfigReadResult::ok;
}

void loadConfigBlock() {
  HANDLE file = openOwnExecutable();
  if (file == nullptr || file == INVALID_HANDLE_VALUE) {
    logError("Could not open %s", executablePath());
    fatalError("Error opening media file. Please move this file to an ascii-only path like c:\\");
  }
  ConfigReadResult result = readConfigBlock(file);
  DWORD systemError = GetLastError();
  CloseHandle(file);
  switch (result) {
    case ConfigReadResult::ok:
      break;
    case ConfigReadResult::badMagic:
      fatalError("Internal Error: magic");
    case ConfigReadResult::badInt:
      printf("error %lu\n", static_cast<unsigned long>(systemError));
      fflush(stdout);
      fatalError("Internal Error: readInt");
    case ConfigReadResult::badString:
      fatalError("Internal Error: readString");
    case ConfigReadResult::badWideString:
      fatalError("Internal Error: readWString");
  }

  int type = configInt(key::executableType);
  if (type != 1 && type != 5) setQuiet();
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

COLORREF configColour(int key) {
  char value[kTextBufferSize];
  configString(key, value, sizeof value);
  return parseConfigColour(value);
}
