// The deferred deletion queue in the user's registry.
#include "DeletionQueue.h"
#include "DeletionQueueInternal.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Buffers.h"
#include "CommandLine.h"
#include "Log.h"
#include "Paths.h"
#include "QueueEntries.h"
#include "RegistryKeys.h"
#include "SystemFunctions.h"
#include "TempFiles.h"

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
// Deeper trees are not the launcher's: it extracts into one flat directory.
constexpr int kMaxTreeDepth = 32;

// Serialises the read-modify-write of the queue between launchers of the user.
constexpr const char* kQueueMutexName = "Local\\tovex_deletion_queue";
constexpr DWORD kQueueLockWait = 10000;

std::vector<std::string> registeredDirectories;
// Opened on the first change and kept: a start changes the queue twice.
HANDLE queueMutex = nullptr;

// The queue's lock, or nullptr when it cannot be had in time: the change then
// goes ahead unguarded rather than hang the start.
HANDLE lockQueue() {
  if (queueMutex == nullptr) queueMutex = CreateMutexA(nullptr, FALSE, kQueueMutexName);
  if (queueMutex == nullptr) return nullptr;
  DWORD waited = WaitForSingleObject(queueMutex, kQueueLockWait);
  return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED ? queueMutex : nullptr;
}

void unlockQueue(HANDLE mutex) {
  if (mutex != nullptr) ReleaseMutex(mutex);
}

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

bool isReparsePoint(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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

// ---- deletion through handles
//
// A path is looked up again at every use, and what it names can change in
// between: a queued directory swapped for a link to another folder would
// have that folder emptied. So each directory is opened once, as itself
// (never a link's target), without delete sharing, its entries are read
// through that handle, and each entry opened by name is checked to be the
// one read (volume and file number) before it is deleted through its own
// handle.

using FileInfoByHandleFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

struct HandleFunctions {
  FileInfoByHandleFunction read;   // GetFileInformationByHandleEx
  FileInfoByHandleFunction write;  // SetFileInformationByHandle
  bool present() const { return read != nullptr && write != nullptr; }
};

const HandleFunctions& handleFunctions() {
  static const HandleFunctions functions{kernelFunction<FileInfoByHandleFunction>("GetFileInformationByHandleEx"),
                                         kernelFunction<FileInfoByHandleFunction>("SetFileInformationByHandle")};
  return functions;
}

struct DirectoryEntry {
  std::wstring name;
  uint64_t fileId;
  DWORD attributes;
};

// The object itself, a link as the link; shared for reading and writing only,
// so that no one renames or deletes it while it is held.
HANDLE openUnfollowed(const std::wstring& path, DWORD access) {
  return CreateFileW(path.c_str(), access | DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Marks the object the handle holds for deletion when the handle closes.
bool deleteThroughHandle(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return handleFunctions().write(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// The entries of the directory the handle holds, "." and ".." left out.
std::vector<DirectoryEntry> entriesOf(HANDLE directory) {
  std::vector<DirectoryEntry> entries;
  // On the heap: the walk goes up to kMaxTreeDepth directories deep.
  std::vector<uint64_t> words(2048);
  auto* buffer = reinterpret_cast<unsigned char*>(words.data());
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (handleFunctions().read(directory, kind, buffer, static_cast<DWORD>(words.size() * sizeof words[0]))) {
    kind = FileIdBothDirectoryInfo;
    for (size_t offset = 0;;) {
      auto* info = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
      std::wstring name(info->FileName, info->FileNameLength / sizeof(WCHAR));
      if (name != L"." && name != L"..") {
        entries.push_back({name, static_cast<uint64_t>(info->FileId.QuadPart), info->FileAttributes});
      }
      if (info->NextEntryOffset == 0) break;
      offset += info->NextEntryOffset;
    }
  }
  return entries;
}

uint64_t fileIdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
}

void emptyHeldDirectory(HANDLE directory, const std::wstring& path, DWORD volume, int depth);

// Deletes one entry read through its directory's handle: opened by name, it
// must be the entry read; a link goes as the link.
void deleteEntry(const DirectoryEntry& entry, const std::wstring& directoryPath, DWORD volume, int depth) {
  std::wstring path = directoryPath + L"\\" + entry.name;
  std::string shown = narrowFromWide(path.c_str(), CP_ACP);
  bool directory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  HANDLE handle = openUnfollowed(path, directory ? FILE_LIST_DIRECTORY : 0);
  if (handle == INVALID_HANDLE_VALUE) {
    logInfo("could not open %s", shown.c_str());
    return;
  }
  // A file system without file numbers (FAT) gives 0, and has no links either.
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info) || info.dwVolumeSerialNumber != volume ||
      (entry.fileId != 0 && fileIdOf(info) != entry.fileId)) {
    logInfo("leaving %s: it changed while it was being deleted", shown.c_str());
    CloseHandle(handle);
    return;
  }
  EmptyingAction action = emptyingAction(info.dwFileAttributes);
  if (emptyingAction(entry.attributes) == EmptyingAction::removeLink && action != EmptyingAction::removeLink) {
    // Listed as a link but opened as something else: the system followed it.
    logInfo("leaving link %s", shown.c_str());
  } else if (action == EmptyingAction::removeLink) {
    logInfo("removing link %s", shown.c_str());
    deleteThroughHandle(handle);
  } else if (action == EmptyingAction::removeDirectory) {
    if (depth > 0) emptyHeldDirectory(handle, path, volume, depth - 1);
    logInfo("attempting to remove %s", shown.c_str());
    deleteThroughHandle(handle);
  } else {
    logInfo("attempting to delete %s", shown.c_str());
    deleteThroughHandle(handle);
  }
  CloseHandle(handle);
}

// Tests change the directory's path here, as another process could.
void (*beforeEntryOpened)(const char* directory) = nullptr;

void emptyHeldDirectory(HANDLE directory, const std::wstring& path, DWORD volume, int depth) {
  for (const DirectoryEntry& entry : entriesOf(directory)) {
    if (beforeEntryOpened != nullptr) beforeEntryOpened(narrowFromWide(path.c_str(), CP_ACP).c_str());
    deleteEntry(entry, path, volume, depth);
  }
}

// The directory at path, held: false when it cannot be opened, is a link or
// no directory.
bool holdDirectory(const char* path, HANDLE* handle, std::wstring* widePath, BY_HANDLE_FILE_INFORMATION* info) {
  *widePath = wideFromNarrow(path, fileCodePage());
  *handle = openUnfollowed(*widePath, FILE_LIST_DIRECTORY);
  if (*handle == INVALID_HANDLE_VALUE) return false;
  if (GetFileInformationByHandle(*handle, info) && (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
      (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return true;
  }
  CloseHandle(*handle);
  *handle = INVALID_HANDLE_VALUE;
  return false;
}

// Empties the directory at path and, with removeItself, deletes it; a link
// there is left. Without the handle functions (older systems) by path.
void deleteTree(const char* path, bool removeItself);

// Whether the entry must be kept: it is still there. Foreign entries are dropped.
bool deleteQueuedFile(const char* path, const std::vector<std::string>& locations) {
  if (!isAcceptedEntry(path, true, locations)) return false;
  if (!handleFunctions().present()) {
    if (canOpenExclusively(path)) {
      logInfo("delete file %s", path);
      DeleteFileA(path);
    }
  } else {
    // The file, found through its held directory, and open by no one else.
    char parent[kTextBufferSize] = "";
    HANDLE directory = INVALID_HANDLE_VALUE;
    std::wstring directoryPath;
    BY_HANDLE_FILE_INFORMATION directoryInfo;
    if (!directoryOf(parent, sizeof parent, path, false)) parent[0] = 0;
    if (parent[0] != 0) parent[strlen(parent) - 1] = 0;
    if (parent[0] != 0 && holdDirectory(parent, &directory, &directoryPath, &directoryInfo)) {
      std::wstring name = wideFromNarrow(path + strlen(parent) + 1, fileCodePage());
      for (const DirectoryEntry& entry : entriesOf(directory)) {
        if (_wcsicmp(entry.name.c_str(), name.c_str()) != 0) continue;
        if (canOpenExclusively(path)) {
          logInfo("delete file %s", path);
          deleteEntry(entry, directoryPath, directoryInfo.dwVolumeSerialNumber, 0);
        }
        break;
      }
      CloseHandle(directory);
    }
  }
  if (!fileExists(path)) return false;
  logInfo("didn't delete %s", path);
  return !isGivenUp(path);
}

bool deleteQueuedDirectory(const char* path, const std::vector<std::string>& locations) {
  if (strcmp(path, ".") == 0) return false;
  if (!isAcceptedEntry(path, false, locations)) return false;
  logInfo("delete dir %s", path);
  deleteTree(path, true);
  if (!fileExists(path)) return false;
  logInfo("didn't delete %s", path);
  return !isGivenUp(path);
}

// Deletes what is inside path, subdirectories with all they hold, by path;
// links are left, and so is whatever lies deeper than depth levels. For
// systems without the handle functions.
void emptyTreeByPath(const std::string& path, int depth) {
  std::string base = path;
  if (base.back() != '\\') base += '\\';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((base + "*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
    std::string full = base + found.cFileName;
    // A link is left: by path it cannot be told from what it leads to.
    EmptyingAction action = emptyingAction(found.dwFileAttributes);
    if (action == EmptyingAction::removeLink) {
      logInfo("leaving link %s", full.c_str());
    } else if (action == EmptyingAction::removeDirectory) {
      if (depth > 0) emptyTreeByPath(full, depth - 1);
      logInfo("attempting to remove %s", full.c_str());
      RemoveDirectoryA(full.c_str());
    } else {
      logInfo("attempting to delete %s", full.c_str());
      DeleteFileA(full.c_str());
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

void deleteTree(const char* path, bool removeItself) {
  if (isUnsafeQueueEntry(path)) return;
  if (!handleFunctions().present()) {
    // A link's target belongs to someone else.
    if (isReparsePoint(path)) {
      logInfo("leaving link %s", path);
      return;
    }
    logInfo("emptying %s", path);
    emptyTreeByPath(path, kMaxTreeDepth);
    if (removeItself) RemoveDirectoryA(path);
    return;
  }
  HANDLE directory = INVALID_HANDLE_VALUE;
  std::wstring widePath;
  BY_HANDLE_FILE_INFORMATION info;
  if (!holdDirectory(path, &directory, &widePath, &info)) {
    if (isReparsePoint(path)) logInfo("leaving link %s", path);
    return;
  }
  logInfo("emptying %s", path);
  emptyHeldDirectory(directory, widePath, info.dwVolumeSerialNumber, kMaxTreeDepth);
  if (removeItself) deleteThroughHandle(directory);
  CloseHandle(directory);
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isDriveLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The length of "X:\" or "\\server\share"; 0 for a relative path, a device
// path ("\\?\", "\\.\") or an incomplete share.
size_t rootLength(const char* path) {
  if (isDriveLetter(path[0]) && path[1] == ':' && isSeparator(path[2])) return 3;
  if (!isSeparator(path[0]) || !isSeparator(path[1])) return 0;
  const char* server = path + 2;
  size_t serverLength = strcspn(server, "\\/");
  if (serverLength == 0 || server[serverLength] == 0) return 0;
  if (strncmp(server, "?", serverLength) == 0 || strncmp(server, ".", serverLength) == 0) return 0;
  const char* share = server + serverLength + 1;
  size_t shareLength = strcspn(share, "\\/");
  if (shareLength == 0) return 0;
  return static_cast<size_t>(share + shareLength - path);
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
  HANDLE lock = lockQueue();
  HKEY key = nullptr;
  if (!openProductKey(HKEY_CURRENT_USER, kQueueSubkey, KEY_ALL_ACCESS, true, &key)) {
    unlockQueue(lock);
    return;
  }
  DWORD reportedSize = 0;
  std::string queue = readQueueValue(key, valueName, &reportedSize);
  // A ";" inside the path would split it into other paths on the next run.
  if (reportedSize + strlen(path) + 2 > kMaxQueueBytes || strchr(path, ';') != nullptr) {
    logInfo("couldn't schedule for deletion in %s: %s", valueName, path);
  } else {
    queue += path;
    queue += ";";
    writeQueueValue(key, valueName, queue);
    logInfo("schedule for deletion in %s: %s", valueName, path);
  }
  RegCloseKey(key);
  unlockQueue(lock);
}

void processDeletionQueue() {
  HANDLE lock = lockQueue();
  HKEY key = nullptr;
  if (!openProductKey(HKEY_CURRENT_USER, kQueueSubkey, KEY_READ | KEY_WRITE, false, &key)) {
    unlockQueue(lock);
    return;
  }
  // Where the launcher makes its directories: entries anywhere else are not its own.
  std::vector<std::string> locations = tempLocationCandidates();
  auto deleteFile = [&locations](const char* path) { return deleteQueuedFile(path, locations); };
  auto deleteDirectory = [&locations](const char* path) { return deleteQueuedDirectory(path, locations); };
  std::string files = readQueueValue(key, kFileValue);
  rewriteQueueValue(key, kFileValue, files, keepRoomForOneEntry(processEntries(files, deleteFile)));

  std::string directories = readQueueValue(key, kDirValue);
  logInfo("delete queue %s", directories.c_str());
  rewriteQueueValue(key, kDirValue, directories, keepRoomForOneEntry(processEntries(directories, deleteDirectory)));
  RegCloseKey(key);
  unlockQueue(lock);
}

bool canOpenExclusively(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

void emptyDirectory(const char* path) { deleteTree(path, false); }

void setBeforeEntryOpenedForTests(void (*hook)(const char* directory)) { beforeEntryOpened = hook; }

EmptyingAction emptyingAction(DWORD attributes) {
  // A link's target belongs to someone else: the link goes, never what it leads to.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EmptyingAction::removeLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EmptyingAction::removeDirectory;
  return EmptyingAction::deleteFile;
}

bool isUnsafeQueueEntry(const char* path) {
  size_t root = rootLength(path);
  if (root == 0) return true;
  if (strpbrk(path, "*?") != nullptr) return true;
  // Below the root: at least one real component, none that climbs or stays.
  int components = 0;
  const char* part = path + root;
  while (*part != 0) {
    size_t length = strcspn(part, "\\/");
    if (length > 0) {
      if (strspn(part, ". ") >= length) return true;
      ++components;
    }
    part += length;
    if (*part != 0) ++part;
  }
  return components == 0;
}
