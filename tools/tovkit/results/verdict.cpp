#include "verdict.h"

namespace tovkit {

namespace {

// The first reason a result is not intact; "" when it is.
std::string FirstReason(const InspectReport& report) {
  if (!report.readable) return "damaged archive (" + report.error + ")";
  if (!report.manifestFound) return "no FileList.csv";
  if (!report.signatureValid) return "FileList.csv signature invalid";
  if (!report.notPacked.empty()) return "not packed: " + report.notPacked.front();
  if (!report.missing.empty()) return "missing: " + report.missing.front();
  if (!report.changed.empty()) return "changed: " + report.changed.front();
  if (!report.extra.empty()) return "extra: " + report.extra.front();
  if (!report.problems.empty()) return report.problems.front();
  return std::string();
}

std::string Plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

Verdict JudgeResult(const InspectReport& report, const LogSummary& log) {
  Verdict verdict;
  if (!report.clean()) {
    verdict.kind = VerdictKind::NotIntact;
    verdict.reason = FirstReason(report);
    std::string& text = verdict.headline;
    text = "NOT INTACT:";
    if (!report.readable) text += " damaged archive (" + report.error + "),";
    if (report.notPackedCount > 0)
      text += " " + std::to_string(report.notPackedCount) + " not packed,";
    if (!report.manifestFound) {
      text += " no FileList.csv,";
    } else if (!report.signatureValid) {
      text += " FileList.csv signature invalid,";
    }
    text += " " + std::to_string(report.missingCount) + " missing, " +
            std::to_string(report.changedCount) + " changed, " + std::to_string(report.extraCount) +
            " extra, " + std::to_string(report.problemCount) + " other problems";
    return verdict;
  }
  const size_t ran = log.scripts > log.refused ? log.scripts - log.refused : 0;
  if (log.refused > 0 && ran == 0) {
    verdict.kind = VerdictKind::NoScriptRan;
    verdict.headline = "intact, but no script ran (" + std::to_string(log.refused) + " refused)";
  } else if (log.errors > 0) {
    verdict.kind = VerdictKind::WithErrors;
    verdict.headline =
        "intact, collected with errors (" + Plural(log.errors, "error", "errors") + ")";
  } else {
    verdict.kind = VerdictKind::Clean;
    verdict.headline = "clean: " + std::to_string(report.files) +
                       " files, every listed file present with its CRC-32, FileList.csv "
                       "signature valid";
  }
  if (log.scrubbed) verdict.headline += "; scrubbed";
  return verdict;
}

int ExitCodeOf(VerdictKind kind) {
  switch (kind) {
    case VerdictKind::Clean:
      return 0;
    case VerdictKind::WithErrors:
    case VerdictKind::NoScriptRan:
      return 4;
    default:
      return 1;
  }
}

const char* VerdictWord(VerdictKind kind) {
  switch (kind) {
    case VerdictKind::Clean:
      return "clean";
    case VerdictKind::WithErrors:
      return "intact with errors";
    case VerdictKind::NoScriptRan:
      return "no script ran";
    default:
      return "NOT INTACT";
  }
}

}  // namespace tovkit
