// Deletion through handles, never through a link.
//
// A path is looked up again at every use, and what it names can change in
// between: a queued directory swapped for a link to another folder would
// have that folder emptied. So each directory is opened once, as itself
// (never a link's target), without delete sharing, its entries are read
// through that handle, and each entry opened by name is checked to be the
// one read (volume and file number) before it is deleted through its own
// handle.
#include "TreeDeletion.h"
#include "TreeDeletionInternal.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Buffers.h"
#include "CommandLine.h"
#include "Log.h"
#include "Paths.h"
#include "SystemFunctions.h"
#include "UniqueHandle.h"

namespace {

// Deeper trees are not the launcher's: it extracts into one flat directory.
constexpr int kMaxTreeDepth = 32;

using FileInfoByHandleFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

struct HandleFunctions {
  FileInfoByHandleFunction read;   // GetFileInformationByHandleEx
  FileInfoByHandleFunction write;  // SetFileInformationByHandle
  bool present() const { return read != nullptr && write != nullptr; }
};

const HandleFunctions& handleFunctions() {
  // Looked up once a run: the system does not change.
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
UniqueHandle openUnfollowed(const std::wstring& path, DWORD access) {
  return UniqueHandle(CreateFileW(path.c_str(), access | DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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

void emptyHeldDirectory(HANDLE directory, const std::wstring& path, DWORD volume, int depth,
                        BeforeEntryOpened beforeEntryOpened);

// Deletes one entry read through its directory's handle: opened by name, it
// must be the entry read (on the directory's volume); a link goes as the link.
void deleteEntry(const DirectoryEntry& entry, const std::wstring& directoryPath, DWORD volume, int depth,
                 BeforeEntryOpened beforeEntryOpened) {
  std::wstring path = directoryPath + L"\\" + entry.name;
  std::string shown = narrowFromWide(path.c_str(), CP_ACP);
  bool directory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  UniqueHandle handle = openUnfollowed(path, directory ? FILE_LIST_DIRECTORY : 0);
  if (!handle) {
    logInfo("could not open %s", shown.c_str());
    return;
  }
  // A file system without file numbers (FAT) gives 0, and has no links either.
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle.get(), &info) || info.dwVolumeSerialNumber != volume ||
      (entry.fileId != 0 && fileIdOf(info) != entry.fileId)) {
    logInfo("leaving %s: it changed while it was being deleted", shown.c_str());
    return;
  }
  EmptyingAction action = emptyingAction(info.dwFileAttributes);
  if (emptyingAction(entry.attributes) == EmptyingAction::removeLink && action != EmptyingAction::removeLink) {
    // Listed as a link but opened as something else: the system followed it.
    logInfo("leaving link %s", shown.c_str());
  } else if (action == EmptyingAction::removeLink) {
    logInfo("removing link %s", shown.c_str());
    deleteThroughHandle(handle.get());
  } else if (action == EmptyingAction::removeDirectory) {
    if (depth > 0) emptyHeldDirectory(handle.get(), path, volume, depth - 1, beforeEntryOpened);
    logInfo("attempting to remove %s", shown.c_str());
    deleteThroughHandle(handle.get());
  } else {
    logInfo("attempting to delete %s", shown.c_str());
    deleteThroughHandle(handle.get());
  }
}

void emptyHeldDirectory(HANDLE directory, const std::wstring& path, DWORD volume, int depth,
                        BeforeEntryOpened beforeEntryOpened) {
  for (const DirectoryEntry& entry : entriesOf(directory)) {
    if (beforeEntryOpened != nullptr) beforeEntryOpened(narrowFromWide(path.c_str(), CP_ACP).c_str());
    deleteEntry(entry, path, volume, depth, beforeEntryOpened);
  }
}

// The directory at path, held: empty when it cannot be opened, is a link or
// no directory. Its wide path and its information go to widePath and info.
UniqueHandle holdDirectory(const char* path, std::wstring* widePath, BY_HANDLE_FILE_INFORMATION* info) {
  *widePath = wideFromNarrow(path, fileCodePage());
  UniqueHandle handle = openUnfollowed(*widePath, FILE_LIST_DIRECTORY);
  if (!handle || !GetFileInformationByHandle(handle.get(), info) ||
      (info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return UniqueHandle();
  }
  return handle;
}

// Deletes what is inside path, subdirectories with all they hold, by path;
// links are left, and so is whatever lies deeper than depth levels. For
// systems without the handle functions.
void emptyTreeByPath(const std::string& path, int depth) {
  std::string base = path;
  if (base.back() != '\\') base += '\\';
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA((base + "*.*").c_str(), &found));
  if (!search) return;
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
  } while (FindNextFileA(search.get(), &found));
}

// Empties the directory at path and, with removeItself, deletes it; a link
// there is left. Without the handle functions (older systems) by path.
void deleteTree(const char* path, bool removeItself, BeforeEntryOpened beforeEntryOpened) {
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
  std::wstring widePath;
  BY_HANDLE_FILE_INFORMATION info;
  UniqueHandle directory = holdDirectory(path, &widePath, &info);
  if (!directory) {
    if (isReparsePoint(path)) logInfo("leaving link %s", path);
    return;
  }
  logInfo("emptying %s", path);
  emptyHeldDirectory(directory.get(), widePath, info.dwVolumeSerialNumber, kMaxTreeDepth, beforeEntryOpened);
  if (removeItself) deleteThroughHandle(directory.get());
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

bool canOpenExclusively(const char* path) {
  UniqueHandle file(
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

bool isReparsePoint(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void emptyDirectory(const char* path) { deleteTree(path, false, nullptr); }

void emptyDirectory(const char* path, BeforeEntryOpened beforeEntryOpened) {
  deleteTree(path, false, beforeEntryOpened);
}

void deleteDirectoryTree(const char* path) { deleteTree(path, true, nullptr); }

void deleteUnsharedFile(const char* path) {
  if (!handleFunctions().present()) {
    if (canOpenExclusively(path)) {
      logInfo("delete file %s", path);
      DeleteFileA(path);
    }
    return;
  }
  // The file, found through its held directory, and open by no one else.
  char parent[kTextBufferSize] = "";
  if (!directoryOf(parent, sizeof parent, path, false)) return;
  parent[strlen(parent) - 1] = 0;  // without its backslash
  if (parent[0] == 0) return;
  std::wstring directoryPath;
  BY_HANDLE_FILE_INFORMATION directoryInfo;
  UniqueHandle directory = holdDirectory(parent, &directoryPath, &directoryInfo);
  if (!directory) return;
  std::wstring name = wideFromNarrow(path + strlen(parent) + 1, fileCodePage());
  for (const DirectoryEntry& entry : entriesOf(directory.get())) {
    if (_wcsicmp(entry.name.c_str(), name.c_str()) != 0) continue;
    if (canOpenExclusively(path)) {
      logInfo("delete file %s", path);
      deleteEntry(entry, directoryPath, directoryInfo.dwVolumeSerialNumber, 0, nullptr);
    }
    break;
  }
}

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
