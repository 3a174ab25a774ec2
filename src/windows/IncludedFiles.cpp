// The start-up step that puts the included files in place.
#include "IncludedFiles.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "Extraction.h"
#include "ExtractionCache.h"
#include "Log.h"
#include "Paths.h"

namespace {

RunText directory;

}  // namespace

const char* extractionDirectory() { return directory.text(); }

std::vector<std::vector<std::string>> extractedArchives(const char* dir) {
  const char* separator = strrchr(dir, '\\');
  if (separator == nullptr || !isCacheFolderName(separator + 1)) return entriesWithExtensions(dir, {"jar", "zip"});
  // A reused folder goes by the names checked in it: a file put there
  // afterwards must not reach the class path.
  std::vector<std::vector<std::string>> lists(2);
  for (const std::string& name : reusedFileNames()) {
    if (hasExtension(name.c_str(), "jar")) lists[0].push_back(name);
    else if (hasExtension(name.c_str(), "zip")) lists[1].push_back(name);
  }
  return lists;
}

bool extractIncludedFiles() {
  logInfo("extracting files");
  int count = configInt(key::includedFileCount);
  logInfo("Included files: %d", count);
  directory.text()[0] = 0;
  if (count <= 0) return true;

  HANDLE source = openOwnExecutable();
  if (source == INVALID_HANDLE_VALUE) {
    logError("Could not open %s", executablePath());
    return false;
  }
  bool extracted = SetFilePointer(source, static_cast<LONG>(includedFilesOffset()), nullptr, FILE_BEGIN) !=
                       INVALID_SET_FILE_POINTER &&
                   (configInt(key::reuseExtraction) != 0
                        ? reuseOrExtractFrom(source, count, directory.text(), RunText::capacity)
                        : extractFilesFrom(source, count, directory.text(), RunText::capacity));
  CloseHandle(source);
  if (extracted) logInfo("extracting files done");
  return extracted;
}
