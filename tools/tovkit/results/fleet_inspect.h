#pragma once
// Checking the results of many machines at once: each file is read once as
// a stream (the manifest check and the activity log in the same pass),
// files are spread over all cores, and the answers come back in the order
// the files were given.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "activity_log_reader.h"
#include "formula_cells.h"
#include "result_inspector.h"
#include "verdict.h"

namespace tovkit {

// The log's errors and warnings each result keeps for --json, at most.
constexpr size_t kMaxProblemsKept = 50;

struct ResultLine {
  std::string file;
  uint64_t size = 0;
  LogSummary log;
  // The log's first errors and warnings, each with its script and action.
  std::vector<LogEntry> problems;
  InspectReport report;
  // Cells of its CSV files a spreadsheet would run: the first few, and all
  // counted.
  std::vector<FormulaCell> formulas;
  size_t formulaCount = 0;
  Verdict verdict;  // for a file that cannot be opened: not intact, reason why
};

// Reads one result from `source`.
ResultLine InspectOne(const std::string& file, const ByteSource& source);

// Checks every file on up to `threads` threads (0: one per core). Results
// come in the order of `files`; `done` is called after each file, never on
// two threads at once.
std::vector<ResultLine> InspectFiles(const std::vector<std::string>& files, unsigned threads,
                                     const std::function<void(size_t done)>& done,
                                     const std::string& keyPath = std::string());

// "name  case=x  host=...  windows=...  tool=...  size=n  scripts=n
// errors=n  warnings=n  verdict", every text escaped for a terminal.
std::string SummaryText(const ResultLine& line);

// An array of objects, one a line; every text escaped as JSON does.
std::string SummaryJson(const std::vector<ResultLine>& lines);

}  // namespace tovkit
