#pragma once
// Checking the results of many machines at once: each file is read once as
// a stream (the manifest check and the activity log's counts in the same
// pass), files are spread over all cores, and the answers come back in the
// order the files were given.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "result_inspector.h"

namespace tovkit {

struct ResultLine {
  std::string file;
  uint64_t size = 0;
  bool hasCase = false;
  std::string caseId;
  size_t scripts = 0;   // "XML file found" entries
  size_t errors = 0;    // ERROR and CRITICAL ERROR entries
  size_t warnings = 0;  // WARNING entries
  bool clean = false;
  std::string reason;  // the first reason when not clean
};

// The activity log's counts, gathered as the member streams by. Lines are
// kept only up to a bounded length: a hostile log cannot take memory.
class ActivityLogTally : public MemberObserver {
 public:
  explicit ActivityLogTally(ResultLine* line) : line_(line) {}
  void Begin(const std::string& name, uint64_t size) override;
  void Data(const unsigned char* data, size_t size) override;
  // The last line of the log when it has no line end.
  void Finish();

 private:
  void Line();

  ResultLine* line_;
  bool active_ = false;
  size_t lines_ = 0;
  std::string pending_;
};

// Untrusted text on a terminal: no byte may move the cursor or start an
// escape sequence (control bytes become '?').
std::string Printable(const std::string& text);

// The first reason that makes a report not clean; "" when it is clean.
std::string FirstReason(const InspectReport& report);

ResultLine InspectOne(const std::string& file, const ByteSource& source);

// Checks every file on up to `threads` threads (0: one per core). Results
// come in the order of `files`; `done` is called after each file, never on
// two threads at once.
std::vector<ResultLine> InspectFiles(const std::vector<std::string>& files, unsigned threads,
                                     const std::function<void(size_t done)>& done,
                                     const std::string& keyPath = std::string());

// "name  case=x  size=n  scripts=n  errors=n  warnings=n  clean" (or
// "clean, collected with errors" when the log holds errors, or "NOT CLEAN:
// reason"), control bytes shown as '?'.
std::string SummaryText(const ResultLine& line);

// An array of objects, one a line; strings escaped, bytes that are not
// UTF-8 as U+FFFD, so any parser takes it.
std::string SummaryJson(const std::vector<ResultLine>& lines);

}  // namespace tovkit
