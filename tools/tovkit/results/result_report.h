#pragma once
// What an engineer wants to see of a result file, read in one pass over the
// stream, and the HTML page that shows it. Everything taken from the result
// is untrusted text: the page escapes all of it and loads nothing from
// anywhere, so it opens offline from a mail attachment.
//
// The cost is bounded by design, not by the result: every table keeps at
// most a fixed number of rows and bytes and says how many more the file
// holds, so memory and the page stay small however large the result is.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "activity_log_reader.h"
#include "formula_cells.h"
#include "result_inspector.h"
#include "untrusted_text.h"
#include "verdict.h"

namespace tovkit {

// Rows of a table, each already HTML ("<tr>...</tr>"), kept while they fit.
class BoundedRows {
 public:
  BoundedRows(size_t maxRows, size_t maxBytes) : maxRows_(maxRows), maxBytes_(maxBytes) {}
  // False (the row counted, not kept) once the table is full.
  bool Add(std::string html);
  // Whether a row would only be counted: the caller need not build it.
  bool Full() const { return rows_.size() >= maxRows_ || bytes_ >= maxBytes_; }
  void Skip() { ++more_; }
  const std::vector<std::string>& rows() const { return rows_; }
  size_t more() const { return more_; }
  bool empty() const { return rows_.empty() && more_ == 0; }

 private:
  size_t maxRows_, maxBytes_, bytes_ = 0, more_ = 0;
  std::vector<std::string> rows_;
};

// Counts by name with a bounded number of names; the rest are "other".
struct BoundedCounts {
  std::map<std::string, size_t> counts;
  size_t other = 0;
  void Add(const std::string& name, size_t maxNames);
};

struct ResultSummary {
  InspectReport inspect;
  LogSummary log;
  Verdict verdict;
  std::string resultFolder;  // on the customer's machine, as the log names it
  std::string firstTime, lastTime;
  BoundedRows logRows{4000, 3u << 20};
  BoundedRows problemRows{500, 1u << 20};
  struct Member {
    std::string name;
    uint64_t size = 0;
  };
  std::vector<Member> largest;  // the largest few, largest first
  struct Group {
    size_t files = 0;
    uint64_t bytes = 0;
    BoundedRows rows{500, 256u << 10};
  };
  std::map<std::string, Group> groups;  // by script folder, bounded in number
  size_t members = 0;
  BoundedCounts processes;
  std::string versionHeader;  // HTML of the header row
  BoundedRows versionRows{2000, 2u << 20};
  struct EventLog {
    std::string member;
    size_t records = 0;
    BoundedCounts byType, bySource;
    std::vector<std::vector<std::string>> newestErrors;  // newest first
  };
  std::vector<EventLog> eventLogs;
  size_t eventLogsMore = 0;
  struct Text {
    std::string member, html;
    size_t lines = 0, moreLines = 0;
  };
  std::vector<Text> texts;  // collected text files, each cut short
  size_t textsMore = 0;
  std::vector<FormulaCell> formulas;
  size_t formulaCount = 0;
};

// The distinct names a count keeps (process names, event sources).
constexpr size_t kReportMaxNames = 2000;

ResultSummary ReadResultSummary(const ByteSource& source);

// An untrusted text as a cell of the page: escaped, cut to a bounded length.
std::string Cell(const std::string& text);
// "512 B", "1.5 KB", "3.0 MB".
std::string SizeText(uint64_t size);

// The whole page; `title` names the result file.
std::string RenderReportHtml(const ResultSummary& summary, const std::string& title);

}  // namespace tovkit
