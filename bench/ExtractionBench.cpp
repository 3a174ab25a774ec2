// Extracting included files against the floor of copying the same bytes with
// the system's CopyFile, in the same run and on the same file system.
//
//   extraction_bench [total-megabytes ...]   (default: 1 100)
//
// For each total, four files share the bytes. Each round extracts them as the
// launcher does (size, scrambled data, extractFile) and copies the plain
// files with CopyFileA, alternating which goes first. The ratio is the median
// of the rounds' ratios: both halves of a round see the same load of a busy
// machine.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BlockFormat.h"
#include "Extraction.h"

namespace {

constexpr int kFiles = 4;
constexpr int kRounds = 15;
constexpr double kGoal = 1.10;

double now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool writeAll(HANDLE file, const void* data, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

std::string benchDirectory() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string dir = std::string(temp) + "tovex_extraction_bench";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

// The included-files area of kFiles files and the same bytes as plain files.
bool writeInputs(const std::string& dir, size_t total) {
  size_t each = total / kFiles;
  std::vector<unsigned char> data(each);
  HANDLE area = CreateFileA((dir + "\\area.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (area == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (int i = 0; i < kFiles && ok; ++i) {
    for (size_t b = 0; b < each; ++b) data[b] = static_cast<unsigned char>(rand());
    HANDLE plain = CreateFileA((dir + "\\plain" + std::to_string(i)).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ok = plain != INVALID_HANDLE_VALUE && writeAll(plain, data.data(), static_cast<DWORD>(each));
    if (plain != INVALID_HANDLE_VALUE) CloseHandle(plain);
    int32_t size = static_cast<int32_t>(each);
    for (auto& b : data) b ^= blockformat::kScrambleMask;
    ok = ok && writeAll(area, &size, 4) && writeAll(area, data.data(), static_cast<DWORD>(each));
  }
  CloseHandle(area);
  return ok;
}

double timeExtraction(const std::string& dir) {
  double start = now();
  HANDLE area = CreateFileA((dir + "\\area.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  for (int i = 0; i < kFiles; ++i) extractFile(area, (dir + "\\extracted" + std::to_string(i)).c_str());
  CloseHandle(area);
  return now() - start;
}

double timeCopy(const std::string& dir) {
  double start = now();
  for (int i = 0; i < kFiles; ++i) {
    std::string n = std::to_string(i);
    CopyFileA((dir + "\\plain" + n).c_str(), (dir + "\\copied" + n).c_str(), FALSE);
  }
  return now() - start;
}

void removeOutputs(const std::string& dir) {
  for (int i = 0; i < kFiles; ++i) {
    std::string n = std::to_string(i);
    DeleteFileA((dir + "\\extracted" + n).c_str());
    DeleteFileA((dir + "\\copied" + n).c_str());
  }
}

void removeInputs(const std::string& dir) {
  DeleteFileA((dir + "\\area.bin").c_str());
  for (int i = 0; i < kFiles; ++i) DeleteFileA((dir + "\\plain" + std::to_string(i)).c_str());
  RemoveDirectoryA(dir.c_str());
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> totals;
  for (int i = 1; i < argc; ++i) totals.push_back(atoi(argv[i]));
  if (totals.empty()) totals = {1, 100};

  std::string dir = benchDirectory();
  for (int megabytes : totals) {
    size_t total = static_cast<size_t>(megabytes) * 1024 * 1024;
    if (!writeInputs(dir, total)) {
      fprintf(stderr, "cannot write the inputs in %s\n", dir.c_str());
      return 1;
    }
    std::vector<double> extraction, copy, ratios;
    for (int round = 0; round < kRounds; ++round) {
      if (round % 2 == 0) {
        extraction.push_back(timeExtraction(dir));
        copy.push_back(timeCopy(dir));
      } else {
        copy.push_back(timeCopy(dir));
        extraction.push_back(timeExtraction(dir));
      }
      removeOutputs(dir);
      ratios.push_back(extraction.back() / copy.back());
    }
    double ratio = median(ratios);
    printf("extraction %d MB: %.2fx CopyFile (%.1f ms against %.1f ms)", megabytes, ratio,
           median(extraction) * 1000, median(copy) * 1000);
    if (megabytes >= 100) printf(" (goal <= %.2f%s)", kGoal, ratio <= kGoal ? "" : ", missed");
    printf("\n");
    removeInputs(dir);
    dir = benchDirectory();
  }
  removeInputs(dir);
  return 0;
}
