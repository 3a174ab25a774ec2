// The record of the runtimes a search looked at.
#include "RuntimeCandidates.h"

#include "JavaVersion.h"
#include "Log.h"

namespace {

std::vector<CandidateRecord>& records() {
  static std::vector<CandidateRecord> list;
  return list;
}

}  // namespace

void recordCandidate(const char* exePath, const char* version, Refusal refusal, uint16_t machine) {
  records().push_back({exePath, version != nullptr ? version : "", refusal, machine});
  if (refusal != Refusal::none && modernRuntimeSearch()) {
    logInfo("Refused %s (version %s): %s", exePath, version != nullptr && *version != 0 ? version : "unknown",
            refusalText(refusal));
  }
}

const std::vector<CandidateRecord>& candidateRecords() { return records(); }

void clearCandidateRecords() { records().clear(); }

const CandidateRecord* firstArchitectureRefusal() {
  for (const CandidateRecord& record : records()) {
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
