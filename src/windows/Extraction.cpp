// Extracting the included files into this run's temporary directory.
#include "Extraction.h"
#include "ExtractionInternal.h"

#include <emmintrin.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "BlockFormat.h"
#include "Buffers.h"
#include "BlockReader.h"
#include "Config.h"
#include "DeviceNames.h"
#include "DeletionQueue.h"
#include "Log.h"
#include "Paths.h"
#include "TempFiles.h"
#include "UniqueHandle.h"

namespace {

// Blocks of 256 KB: few read and write calls, and a block the unscrambling
// still finds in the processor's cache (1 MB blocks measured slower).
constexpr DWORD kBlockSize = 256 * 1024;
constexpr DWORD kFallbackBlockSize = 8192;
constexpr uint32_t kScrambleWord = blockformat::kScrambleMask * 0x01010101u;
// The extraction directory's number, as the C library's rand() gives them.
constexpr unsigned kDirectoryNumbers = 32768;
constexpr unsigned kDirectoryAttempts = 100;


// Read handles on the extracted files, never closed: another launcher's
// deletion run cannot remove a file that is open without delete sharing.
std::vector<HANDLE> protectingHandles;

// The mask is the same for every byte, so a block is unscrambled a word at a
// time wherever it starts.
void unscrambleWords(unsigned char* bytes, DWORD size) {
  while (size > 0 && reinterpret_cast<uintptr_t>(bytes) % 4 != 0) {
    *bytes++ ^= blockformat::kScrambleMask;
    --size;
  }
  uint32_t* words = reinterpret_cast<uint32_t*>(bytes);
  DWORD wordCount = size / 4;
  for (DWORD i = 0; i < wordCount; ++i) words[i] ^= kScrambleWord;
  for (DWORD i = wordCount * 4; i < size; ++i) bytes[i] ^= blockformat::kScrambleMask;
}

// Sixteen bytes at a time: the word loop kept extraction well above the copy's time.
__attribute__((target("sse2"))) void unscrambleSse2(unsigned char* bytes, DWORD size) {
  const __m128i mask = _mm_set1_epi8(static_cast<char>(blockformat::kScrambleMask));
  DWORD i = 0;
  for (; i + 16 <= size; i += 16) {
    __m128i* at = reinterpret_cast<__m128i*>(bytes + i);
    _mm_storeu_si128(at, _mm_xor_si128(_mm_loadu_si128(at), mask));
  }
  unscrambleWords(bytes + i, size - i);
}

void unscrambleChunk(unsigned char* bytes, DWORD size) {
  // Asked once a run: the processor does not change.
  static const bool sse2 = IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
  if (sse2) {
    unscrambleSse2(bytes, size);
  } else {
    unscrambleWords(bytes, size);
  }
}

// Writes the whole chunk; false when a write fails.
bool writeChunk(HANDLE out, const unsigned char* bytes, DWORD size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(out, bytes, size, &written, nullptr) || written == 0) {
      logError("WriteFile failed %d", static_cast<int>(size));
      return false;
    }
    bytes += written;
    size -= written;
  }
  return true;
}

void holdFileOpen(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  // A file of size 0 was never created; there is nothing to protect.
  if (file != INVALID_HANDLE_VALUE) protectingHandles.push_back(file);
}

// A held file also keeps a later entry of the same name from replacing it.
bool extractNamedFile(HANDLE source, const char* dir, const char* name, bool hold, StartFailure* failure) {
  char path[kTextBufferSize];
  // A cut path would name another file; an unsafe name would leave the directory.
  bool whole = formatText(path, sizeof path, "%s\\%s", dir, name);
  if (!whole || !isSafeIncludedName(name) || !extractFile(source, path, failure)) {
    if (!*failure) logError("Failed to extract %s", path);
    return false;
  }
  if (hold) holdFileOpen(path);
  return true;
}

// A fresh directory named after a fresh temporary file: "<file>_dir<n>", n
// from 0 to 32767. Launchers started together may get the same file name, so
// n mixes the process id with the time, and a name taken meanwhile is passed
// over for the next. The directory is registered at once: whatever fails from
// here on, it is queued for deletion with the error. False when none could be
// made.
bool makeExtractionDirectory(char* dir, size_t capacity) {
  bool named = createTempFileName(dir, capacity);
  if (named) DeleteFileA(dir);
  size_t stemLength = strlen(dir);
  unsigned number = (GetCurrentProcessId() * 2654435761u + GetTickCount()) % kDirectoryNumbers;
  for (unsigned attempt = 0; named && attempt < kDirectoryAttempts; ++attempt) {
    dir[stemLength] = 0;
    char suffix[32];
    formatText(suffix, sizeof suffix, "_dir%u", (number + attempt) % kDirectoryNumbers);
    if (!appendText(dir, capacity, suffix)) break;
    logInfo("Temp dir: %s", dir);
    if (CreateDirectoryA(dir, nullptr)) {
      registerTempDirectory(dir);
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  return false;
}

// The area's shape with its first count entries named, checked before
// anything is extracted; the file position is put back where it was.
AreaShape includedAreaShape(HANDLE source, int count) {
  DWORD start = SetFilePointer(source, 0, nullptr, FILE_CURRENT);
  DWORD size = GetFileSize(source, nullptr);
  if (start == INVALID_SET_FILE_POINTER || size == INVALID_FILE_SIZE) return AreaShape::whole;
  AreaShape shape = checkIncludedArea(fileByteSource(source, size), start, count);
  SetFilePointer(source, static_cast<LONG>(start), nullptr, FILE_BEGIN);
  return shape;
}

bool extractFilesInto(HANDLE source, int count, char* dir, size_t capacity, bool hold, StartFailure* failure) {
  StartFailure unused;
  if (failure == nullptr) failure = &unused;
  // Sizes that do not lead from entry to entry to the area's end would
  // extract other bytes than were included.
  std::vector<std::string> names = includedFileNames(count);
  AreaShape shape = includedAreaShape(source, static_cast<int>(names.size()));
  if (shape == AreaShape::negativeSize) {
    logError("An included file's size is negative");
    *failure = blockFailure(BlockError::readInt);
    return false;
  }
  if (!makeExtractionDirectory(dir, capacity)) {
    *failure = internalFailure(InternalError::extractionDirectoryNotMade);
    return false;
  }
  for (const std::string& name : names) {
    if (!extractNamedFile(source, dir, name.c_str(), hold, failure)) {
      // Left in place for a look at what was read; not queued. A failure
      // with its own message keeps it queued, as ever.
      if (!*failure) unregisterTempDirectory(dir);
      return false;
    }
  }
  if (shape == AreaShape::overrunsEnd) {
    logError("The included files do not fill their area");
    return false;
  }
  return true;
}

}  // namespace

bool isSafeIncludedName(const char* name) {
  // Without a separator or a drive colon a name cannot reach outside the directory.
  if (strpbrk(name, "\\/:") != nullptr) return false;
  // Dots and blanks alone name the directory itself once the system trims them.
  if (strspn(name, ". ") >= strlen(name)) return false;
  // A device takes the bytes instead of a file.
  return !devicenames::isWindowsDeviceName(name);
}

bool passFileData(HANDLE in, int32_t size, bool unscramble, const DataSink& sink) {
  // On the heap, not in the image: a static buffer would add its size to
  // every application executable. Without it, the data goes through the stack
  // in small blocks.
  static uint32_t* block = new (std::nothrow) uint32_t[kBlockSize / 4];
  uint32_t fallback[kFallbackBlockSize / 4];
  unsigned char* bytes = reinterpret_cast<unsigned char*>(block != nullptr ? block : fallback);
  DWORD capacity = block != nullptr ? kBlockSize : kFallbackBlockSize;
  DWORD left = size > 0 ? static_cast<DWORD>(size) : 0;
  while (left > 0) {
    DWORD wanted = left < capacity ? left : capacity;
    DWORD got = 0;
    if (!ReadFile(in, bytes, wanted, &got, nullptr) || got == 0) {
      logError("ReadFile failed");
      return false;
    }
    if (unscramble) unscrambleChunk(bytes, got);
    if (!sink.take(sink.context, bytes, got)) return false;
    left -= got;
  }
  return true;
}

bool copyFileData(HANDLE in, HANDLE out, int32_t size, bool unscramble, bool* writeFailed) {
  struct Target {
    HANDLE file;
    bool failed;
  } target{out, false};
  auto write = [](void* context, const unsigned char* bytes, DWORD count) {
    Target* to = static_cast<Target*>(context);
    to->failed = !writeChunk(to->file, bytes, count);
    return !to->failed;
  };
  bool copied = passFileData(in, size, unscramble, DataSink{&target, write});
  if (writeFailed != nullptr) *writeFailed = target.failed;
  return copied;
}

bool extractFile(HANDLE source, const char* path, StartFailure* failure) {
  StartFailure unused;
  if (failure == nullptr) failure = &unused;
  int32_t size = 0;
  if (!readInt32(source, &size)) {
    *failure = blockFailure(BlockError::readInt);
    return false;
  }
  logInfo("extracting %s (size: %d)", path, size);
  if (size <= 0) return true;
  UniqueHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    *failure = internalFailure(InternalError::includedFileNotMade);
    return false;
  }
  bool writeFailed = false;
  bool copied = copyFileData(source, file.get(), size, true, &writeFailed);
  if (writeFailed) *failure = internalFailure(InternalError::includedFileNotWritten);
  return copied;
}

std::vector<std::string> includedFileNames(int count) {
  char names[kTextBufferSize];
  configString(key::includedFileNames, names, sizeof names);
  std::vector<std::string> found;
  forEachListEntry(names, [&](std::string_view entry) {
    if (static_cast<int>(found.size()) >= count) return true;
    found.emplace_back(entry);
    return false;
  });
  return found;
}

bool extractFilesFrom(HANDLE source, int count, char* dir, size_t capacity, StartFailure* failure) {
  return extractFilesInto(source, count, dir, capacity, true, failure);
}

bool extractFilesFrom(HANDLE source, int count, ExtractedFiles* files, StartFailure* failure) {
  char dir[kTextBufferSize] = "";
  bool extracted = extractFilesFrom(source, count, dir, sizeof dir, failure);
  files->directory = dir;
  return extracted;
}

bool extractFilesUnheld(HANDLE source, int count, char* dir, size_t capacity, StartFailure* failure) {
  return extractFilesInto(source, count, dir, capacity, false, failure);
}

void holdExtractedFiles(const char* dir, int count) {
  for (const std::string& name : includedFileNames(count)) {
    char path[kTextBufferSize];
    if (formatText(path, sizeof path, "%s\\%s", dir, name.c_str())) holdFileOpen(path);
  }
}

bool isIncludedAreaWhole(HANDLE source, int count) {
  return includedAreaShape(source, static_cast<int>(includedFileNames(count).size())) == AreaShape::whole;
}

void holdUntilExit(HANDLE file) { protectingHandles.push_back(file); }
