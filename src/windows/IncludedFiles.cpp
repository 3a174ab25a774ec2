// The start-up step that puts the included files in place.
#include "IncludedFiles.h"

#include <windows.h>

#include "Config.h"
#include "ExtractionCache.h"
#include "Log.h"
#include "Paths.h"
#include "UniqueHandle.h"

std::optional<ExtractedFiles> extractIncludedFiles(StartFailure* failure) {
  logInfo("extracting files");
  int count = configInt(key::includedFileCount);
  logInfo("Included files: %d", count);
  ExtractedFiles files;
  if (count <= 0) return files;

  UniqueHandle source(openOwnExecutable());
  if (!source) {
    logError("Could not open %s", executablePath());
    *failure = internalFailure(InternalError::extractionFailed);
    return std::nullopt;
  }
  bool extracted = SetFilePointer(source.get(), static_cast<LONG>(includedFilesOffset()), nullptr, FILE_BEGIN) !=
                       INVALID_SET_FILE_POINTER &&
                   (configInt(key::reuseExtraction) != 0 ? reuseOrExtractFrom(source.get(), count, &files, failure)
                                                         : extractFilesFrom(source.get(), count, &files, failure));
  if (!extracted) {
    if (!*failure) *failure = internalFailure(InternalError::extractionFailed);
    return std::nullopt;
  }
  logInfo("extracting files done");
  return files;
}
