#pragma once
// What an engineer wants to see of a result file, read in one pass over the
// stream, and the HTML page that shows it. Everything taken from the result
// is untrusted text: the page escapes all of it and loads nothing from
// anywhere, so it opens offline from a mail attachment.

#include <cstdint>
#include <string>
#include <vector>

#include "activity_log_reader.h"
#include "result_inspector.h"
#include "untrusted_text.h"
#include "verdict.h"

namespace tovkit {

struct ResultMember {
  std::string name;
  uint64_t size = 0;
};

struct ResultSummary {
  InspectReport inspect;
  LogSummary logSummary;
  Verdict verdict;
  std::string caseId;
  std::string resultFolder;  // on the customer's machine, as the log names it
  std::vector<std::string> scriptsRun, scriptsRefused;
  std::vector<LogEntry> log;
  std::vector<ResultMember> members;  // regular members, in archive order
  // Process names with how often each runs, from the PROCESS_LIST outputs.
  std::vector<std::pair<std::string, size_t>> processes;
  // The FILE_VERSIONS listings: header, then rows, cells as written.
  std::vector<std::string> versionHeader;
  std::vector<std::vector<std::string>> versionRows;
  // The event-log exports ("<Log> Log.csv"), one summary each.
  struct EventLog {
    std::string member;
    size_t records = 0;
    std::vector<std::pair<std::string, size_t>> byType, bySource;  // most first
    std::vector<std::vector<std::string>> newestErrors;            // rows, newest first
  };
  std::vector<EventLog> eventLogs;
  bool truncated = false;  // a member was larger than the report reads
};

// Members the report reads whole are cut at this size.
constexpr size_t kReportMaxMemberText = 8u << 20;

ResultSummary ReadResultSummary(const ByteSource& source);

// The whole page; `title` names the result file.
std::string RenderReportHtml(const ResultSummary& summary, const std::string& title);

}  // namespace tovkit
