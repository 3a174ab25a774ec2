// The start-up step that puts the included files in place: extracted into
// this run's temporary directory (Extraction.h) or, with key 3007, reused
// from the per-user cache (ExtractionCache.h). The units below do the work;
// this one chooses and hands on where the files are (ExtractedFiles.h).
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "Extraction.h"

// Extracts every included file of the executable into a new directory, which
// is registered for deletion, or reuses the cache: where the files are (an
// empty directory when the executable includes none); nothing when they could
// not be extracted, with *failure the message the start stops with (internal
// error 16 unless a step had its own).
std::optional<ExtractedFiles> extractIncludedFiles(StartFailure* failure);
