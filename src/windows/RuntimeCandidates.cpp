// The record of the runtimes a search looked at.
#include "RuntimeCandidates.h"

#include "Config.h"
#include "ErrorCodes.h"
#include "Log.h"

namespace {

// Process-wide: every vetting step of a search (the version checks, the
// registry's, the search's own refusals) adds to its one record, which the
// no-runtime message then reads.
std::vector<RuntimeCandidate>& records() {
  static std::vector<RuntimeCandidate> list;
  return list;
}

}  // namespace

void recordCandidate(const RuntimeCandidate& candidate) {
  records().push_back(candidate);
  if (!candidate.accepted() && modernRuntimeSearch()) {
    logInfo("Refused %s (version %s): %s", candidate.exePath.c_str(),
            candidate.version.empty() ? kUnknownText : candidate.version.c_str(), refusalDescription(candidate).c_str());
  }
}

const std::vector<RuntimeCandidate>& candidateRecords() { return records(); }

void clearCandidateRecords() { records().clear(); }

const RuntimeCandidate* firstArchitectureRefusal() {
  for (const RuntimeCandidate& record : records()) {
    if (record.refusal == Refusal::otherArchitecture) return &record;
  }
  return nullptr;
}

const char* refusalText(Refusal refusal) {
  constexpr size_t count = sizeof kRefusalTexts / sizeof kRefusalTexts[0];
  static_assert(count == static_cast<size_t>(Refusal::jvmNotLoaded) + 1, "one text each");
  size_t index = static_cast<size_t>(refusal);
  return index < count ? kRefusalTexts[index] : kUnknownText;
}

std::string refusalDescription(const RuntimeCandidate& candidate) {
  std::string text = refusalText(candidate.refusal);
  if (!candidate.detail.empty()) text += ": " + candidate.detail;
  return text;
}
