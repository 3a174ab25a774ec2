// The temporary location of the run's files and the names made in it.
//
// The location is a narrow path. When it is the system's temporary path it
// ends with a backslash; the fallback locations have none.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

constexpr size_t kTempLocationSize = 8192;

// What the choice of the location asks of the system, so that every branch of
// it can be driven without the system it runs on.
struct TempLocationSystem {
  const char* systemTempPath;    // GetTempPathA's answer; "" when it has none
  const char* longTempPath;      // its long form; "" when that failed
  const char* windowsDirectory;  // GetWindowsDirectoryA's answer
  std::function<bool(const char* dir)> isWritable;
  std::function<void(const char* dir)> makeDirectory;
};

// Creates a new empty file "tvx*.tmp" in the chosen location and writes its
// path to out; when the system's path cannot take it, in the first writable
// fallback. False, with out empty, when out is shorter than MAX_PATH or no
// name could be made.
bool createTempFileName(char* out, size_t capacity);

// Every location a temporary name may be made in: the system's path (as given,
// in long form and with the links on its way resolved), the Windows
// directory's temp, c:\temp and c:\tmp.
std::vector<std::string> tempLocationCandidates();

// The system temporary path + "tvx_p" + n + ".tmp".
void processTempFileName(char* out, size_t capacity, int n);
