#pragma once
// Checking a script before it goes out: it is read with the product's own
// reader and walked as the dispatcher walks it, without collecting, and
// everything the collector would drop or skip in silence is told, with its
// line and column.

#include <ostream>
#include <string>
#include <vector>

#include "script/script_document.h"

namespace tovkit {

struct LintFinding {
  SourcePosition position;
  bool error = true;  // else a warning
  std::string message;
};

struct LintOptions {
  // Off for sources that are signed only when they are handed out.
  bool checkSignature = true;
};

// The findings for a script's raw bytes, ordered by position.
std::vector<LintFinding> LintScript(const std::string& bytes, const LintOptions& options);

// "path:line:column: error: message", as compilers write it.
std::string FormatFinding(const std::string& path, const LintFinding& finding);

// One JSON object per finding in an array:
// {"file":..,"line":..,"column":..,"severity":"error"|"warning","message":..}
void WriteFindingsJson(std::ostream& out,
                       const std::vector<std::pair<std::string, LintFinding>>& findings);

// tovkit lint [--json] [--unsigned] SCRIPT...: exit status 0 clean, 1 any
// finding or an unreadable file, 2 a usage error.
int Lint(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tovkit
