#pragma once
// The activity log of a result, read as it streams by: the case id, the run
// facts the log opens with, how many scripts were found and refused, the
// errors and warnings with the script and action each belongs to. Lines are
// kept only up to a bounded length, so a hostile log cannot take memory.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "result_inspector.h"

namespace tovkit {

// Where a result comes from, as its log says; empty when the log (of an
// older version) does not say.
struct RunFacts {
  std::string toolVersion, computer, domain, windows, user, timeZone, codePage, started;
};

// "host PC1 (domain CORP), Windows 10 Pro; version 10.0.19045; x64, tool 1.1.0",
// "unknown" for each fact the log does not give.
std::string FactsText(const RunFacts& facts);

struct LogEntry {
  std::string time;      // as written: "dd/mm/yyyy hh:mm:ss"
  std::string severity;  // "ERROR", ...; "" for a line without one
  std::string message;
  // The script and action the walker had last named before this entry;
  // empty before the first script, and for the script's own lines.
  std::string script, action;
};

struct LogSummary {
  bool found = false;  // the result holds an activity log
  bool hasCase = false;
  std::string caseId;
  RunFacts facts;
  size_t scripts = 0;  // "XML file found" entries
  size_t refused = 0;  // scripts that "will not be processed"
  size_t errors = 0;   // ERROR and CRITICAL ERROR entries
  size_t warnings = 0;
  bool scrubbed = false;  // names were replaced before the result was packed
  // The first few script names, for the report's header.
  std::vector<std::string> scriptNames, refusedNames;
};

// What a system error code in a message means, in words ("" for a code
// not explained): "(2)", "(error 5)" and "error 32" are looked for at the
// message's end.
std::string ExplainErrorCode(const std::string& message);

class ActivityLogReader : public MemberObserver {
 public:
  explicit ActivityLogReader(LogSummary* summary) : summary_(summary) {}
  // Called for every entry after the header, in order.
  std::function<void(const LogEntry&)> onEntry;

  void Begin(const std::string& name, uint64_t size) override;
  void Data(const unsigned char* data, size_t size) override;
  // The last line of the log when it has no line end.
  void Finish();

 private:
  void Line();

  LogSummary* summary_;
  bool active_ = false;
  size_t lines_ = 0;
  bool scriptSeen_ = false;
  std::string pending_;
  std::string script_, section_, action_;
};

}  // namespace tovkit
