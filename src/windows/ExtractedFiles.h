// Where this run's included files are: the extraction step's result, handed
// on to the class path and the variables.
#pragma once
#include <string>
#include <vector>

struct ExtractedFiles {
  // Without a trailing backslash; empty when the executable includes no files.
  std::string directory;
  // A cache folder checked for this run (ExtractionCache.h): its class path
  // goes by reusedNames, the included names but the empty files', in the
  // area's order, whatever else the folder holds by now. A fresh directory's
  // goes by its listing.
  bool reused = false;
  std::vector<std::string> reusedNames;
};
