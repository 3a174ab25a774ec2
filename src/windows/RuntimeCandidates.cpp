// The record of the runtimes a search looked at.
#include "RuntimeCandidates.h"

#include "JavaVersion.h"
#include "Log.h"

namespace {

std::vector<RuntimeCandidate>& records() {
  static std::vector<RuntimeCandidate> list;
  return list;
}

}  // namespace

void recordCandidate(const RuntimeCandidate& candidate) {
  records().push_back(candidate);
  if (!candidate.accepted() && modernRuntimeSearch()) {
    logInfo("Refused %s (version %s): %s", candidate.exePath.c_str(),
            candidate.version.empty() ? "unknown" : candidate.version.c_str(), refusalText(candidate.refusal));
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
  switch (refusal) {
    case Refusal::none:
      return "accepted";
    case Refusal::missing:
      return "no java executable";
    case Refusal::noVersion:
      return "no version";
    case Refusal::prerelease:
      return "a pre-release";
    case Refusal::tooOld:
      return "too old";
    case Refusal::tooNew:
      return "too new";
    case Refusal::otherArchitecture:
      return "other architecture";
    case Refusal::noJavaw:
      return "no javaw.exe";
  }
  return "unknown";
}
