#pragma once
// One verdict on a result, told the same by every mode of inspect, by its
// JSON and by the report's banner. "clean" means intact and complete: the
// archive reads to its end, the signed FileList.csv matches every member,
// nothing is missing, extra or left unpacked, and the activity log holds no
// ERROR.

#include <string>

#include "activity_log_reader.h"
#include "result_inspector.h"

namespace tovkit {

enum class VerdictKind { Clean, WithErrors, NoScriptRan, NotIntact };

struct Verdict {
  VerdictKind kind = VerdictKind::NotIntact;
  // "clean: ...", "intact, collected with errors (N errors)", "intact, but
  // no script ran (N refused)" or "NOT INTACT: ...".
  std::string headline;
  // The first reason it is not intact; "" otherwise.
  std::string reason;
};

Verdict JudgeResult(const InspectReport& report, const LogSummary& log);

// inspect's and report's exit status: 0 clean, 4 intact with errors (or no
// script ran), 1 not intact.
int ExitCodeOf(VerdictKind kind);

// "clean", "intact with errors", "no script ran", "NOT INTACT".
const char* VerdictWord(VerdictKind kind);

}  // namespace tovkit
