// The deferred deletion queue in the user's registry.
#include "DeletionQueue.h"
#include "DeletionQueueInternal.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Buffers.h"
#include "Log.h"
#include "Paths.h"
#include "QueueEntries.h"
#include "RegistryKeys.h"
#include "TempFiles.h"
#include "TreeDeletion.h"
#include "UniqueHandle.h"

namespace {

constexpr const char* kFileValue = "delete_file";
constexpr const char* kDirValue = "delete_dir";
// The most a queue value may hold, as a writer checks it.
constexpr size_t kMaxQueueBytes = 32767;

// Room a run keeps in each value for its own entry: one path and its ";".
constexpr size_t kRoomForOneEntry = kTextBufferSize + 1;
// An entry still there and unchanged for this many days is given up:
// something holds it for good, and it must not crowd out later runs' entries.
constexpr ULONGLONG kGiveUpAfterDays = 30;

// Serialises the read-modify-write of the queue between launchers of the user.
constexpr const char* kQueueMutexName = "Local\\tovex_deletion_queue";
constexpr DWORD kQueueLockWait = 10000;

// Process-wide: every exit, however it comes, queues these directories.
std::vector<std::string> registeredDirectories;

// The queue's lock, held while this lives. Not held when it cannot be had in
// time: the change then goes ahead unguarded rather than hang the start.
class QueueLock {
 public:
  QueueLock() : mutex_(CreateMutexA(nullptr, FALSE, kQueueMutexName)) {
    if (!mutex_) return;
    DWORD waited = WaitForSingleObject(mutex_.get(), kQueueLockWait);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~QueueLock() {
    if (held_) ReleaseMutex(mutex_.get());
  }
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;

 private:
  UniqueHandle mutex_;
  bool held_ = false;
};

// The whole value, however long, up to the first terminator or the length the
// registry gives back; empty when absent or unreadable. reportedSize receives
// the data size the registry reports.
std::string readQueueValue(HKEY key, const char* name, DWORD* reportedSize = nullptr) {
  if (reportedSize != nullptr) *reportedSize = 0;
  // Another writer may grow the value between the two queries: ask again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) break;
    std::vector<char> data(size + 1);
    DWORD got = size;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &got);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    if (reportedSize != nullptr) *reportedSize = got;
    data[got < size ? got : size] = 0;
    return std::string(data.data());
  }
  return std::string();
}

// Written without the terminator: the length is the text's.
void writeQueueValue(HKEY key, const char* name, const std::string& text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size()));
}

// Writes the value back only when the sweep changed it.
void rewriteQueueValue(HKEY key, const char* name, const std::string& read, const std::string& kept) {
  if (kept != read) writeQueueValue(key, name, kept);
}

// The entries of list for which stillThere is true, each followed by ";".
template <typename Action>
std::string processEntries(const std::string& list, Action stillThere) {
  std::string remaining;
  forEachListEntry(list, [&](std::string_view entry) {
    std::string path(entry);
    if (stillThere(path.c_str())) remaining += path + ";";
    return false;
  });
  return remaining;
}

// Drops the oldest entries until a run's own entry fits behind the rest.
std::string keepRoomForOneEntry(const std::string& remaining) {
  std::string_view kept = remaining;
  forEachListEntry(remaining, [&](std::string_view entry) {
    if (kept.size() + kRoomForOneEntry <= kMaxQueueBytes) return true;
    logInfo("dropping old entry %s", std::string(entry).c_str());
    kept.remove_prefix(std::min(kept.size(), entry.size() + 1));
    return false;
  });
  return std::string(kept);
}

// Whether path, or a directory on its way below its last `levels` components'
// parent, is a link: the entry would then reach into a folder that is not the
// launcher's. What lies above (the temporary location, whatever links lead to
// it) is the user's own setting and is not looked at.
bool passesThroughLinkBelow(const std::string& path, int levels) {
  size_t end = path.size();
  for (int level = 0; level < levels && end != std::string::npos && end > 0; ++level) {
    if (isReparsePoint(path.substr(0, end).c_str())) return true;
    end = path.rfind('\\', end - 1);
  }
  return false;
}

// Whether the entry names what a launcher queues, and nothing on its way below
// the temporary location is a link.
bool isAcceptedEntry(const char* path, bool isFile, const std::vector<std::string>& locations) {
  bool shaped = isFile ? isQueuedFileAccepted(path, locations) : isQueuedDirectoryAccepted(path, locations);
  if (shaped && !passesThroughLinkBelow(path, isFile ? 2 : 1)) return true;
  logInfo("dropping foreign entry %s", path);
  return false;
}

// Whether an entry that is still there has waited long enough to be given up.
bool isGivenUp(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  // The last change, not the creation: not every file system keeps the latter.
  ULARGE_INTEGER changed{{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
  ULARGE_INTEGER current{{now.dwLowDateTime, now.dwHighDateTime}};
  constexpr ULONGLONG kTicksPerDay = 10000000ULL * 60 * 60 * 24;
  if (current.QuadPart < changed.QuadPart + kGiveUpAfterDays * kTicksPerDay) return false;
  logInfo("giving up %s", path);
  return true;
}

// Whether the entry must be kept: it is still there. Foreign entries are dropped.
bool deleteQueuedFile(const char* path, const std::vector<std::string>& locations) {
  if (!isAcceptedEntry(path, true, locations)) return false;
  deleteUnsharedFile(path);
  if (!fileExists(path)) return false;
  logInfo("didn't delete %s", path);
  return !isGivenUp(path);
}

bool deleteQueuedDirectory(const char* path, const std::vector<std::string>& locations) {
  if (strcmp(path, ".") == 0) return false;
  if (!isAcceptedEntry(path, false, locations)) return false;
  logInfo("delete dir %s", path);
  deleteDirectoryTree(path);
  if (!fileExists(path)) return false;
  logInfo("didn't delete %s", path);
  return !isGivenUp(path);
}

}  // namespace

void registerTempDirectory(const char* path) { registeredDirectories.emplace_back(path); }

void unregisterTempDirectory(const char* path) {
  for (auto it = registeredDirectories.begin(); it != registeredDirectories.end();) {
    it = *it == path ? registeredDirectories.erase(it) : it + 1;
  }
}

void queueRegisteredTemps() {
  for (const std::string& directory : registeredDirectories) scheduleForDeletion(directory.c_str(), kDirValue);
}

void scheduleForDeletion(const char* path, const char* valueName) {
  QueueLock lock;
  UniqueKey key;
  if (!openProductKey(HKEY_CURRENT_USER, kQueueSubkey, KEY_ALL_ACCESS, true, key.receive())) return;
  DWORD reportedSize = 0;
  std::string queue = readQueueValue(key.get(), valueName, &reportedSize);
  // A ";" inside the path would split it into other paths on the next run.
  if (reportedSize + strlen(path) + 2 > kMaxQueueBytes || strchr(path, ';') != nullptr) {
    logInfo("couldn't schedule for deletion in %s: %s", valueName, path);
    return;
  }
  queue += path;
  queue += ";";
  writeQueueValue(key.get(), valueName, queue);
  logInfo("schedule for deletion in %s: %s", valueName, path);
}

void processDeletionQueue() {
  QueueLock lock;
  UniqueKey key;
  if (!openProductKey(HKEY_CURRENT_USER, kQueueSubkey, KEY_READ | KEY_WRITE, false, key.receive())) return;
  // Where the launcher makes its directories: entries anywhere else are not its own.
  std::vector<std::string> locations = tempLocationCandidates();
  auto deleteFile = [&locations](const char* path) { return deleteQueuedFile(path, locations); };
  auto deleteDirectory = [&locations](const char* path) { return deleteQueuedDirectory(path, locations); };
  std::string files = readQueueValue(key.get(), kFileValue);
  rewriteQueueValue(key.get(), kFileValue, files, keepRoomForOneEntry(processEntries(files, deleteFile)));

  std::string directories = readQueueValue(key.get(), kDirValue);
  logInfo("delete queue %s", directories.c_str());
  rewriteQueueValue(key.get(), kDirValue, directories,
                    keepRoomForOneEntry(processEntries(directories, deleteDirectory)));
}
