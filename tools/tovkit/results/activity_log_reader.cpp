#include "activity_log_reader.h"

#include <cstring>

namespace tovkit {

namespace {

const char kActivityLog[] = "Activity Log.csv";
const char kCaseLine[] = "TOV TOOL CASE ID = ";
const char kHeader[] = "Time,Type,Description";
const char kScriptFound[] = "XML file found: ";
const char kRefused[] = " will not be processed.";
// Long enough for any message worth showing.
constexpr size_t kMaxLineKept = 4096;
constexpr size_t kMaxNamesKept = 100;

bool StartsWith(const std::string& text, const char* head) {
  return text.compare(0, std::strlen(head), head) == 0;
}

bool EndsWith(const std::string& text, const char* tail) {
  const size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// The run writes these first, before any script; a value's own commas
// became ';' there.
bool TakeFact(const std::string& message, RunFacts* facts) {
  static const struct {
    const char* prefix;
    std::string RunFacts::*field;
  } kFacts[] = {{"Tool version: ", &RunFacts::toolVersion},
                {"Computer: ", &RunFacts::computer},
                {"Domain: ", &RunFacts::domain},
                {"Workgroup: ", &RunFacts::domain},
                {"Windows: ", &RunFacts::windows},
                {"User: ", &RunFacts::user},
                {"Time zone: ", &RunFacts::timeZone},
                {"Code page: ", &RunFacts::codePage},
                {"Started: ", &RunFacts::started}};
  for (const auto& fact : kFacts) {
    if (!StartsWith(message, fact.prefix)) continue;
    const std::string value = message.substr(std::strlen(fact.prefix));
    facts->*fact.field = fact.field == &RunFacts::domain
                             ? (fact.prefix[0] == 'D' ? "domain " : "workgroup ") + value
                             : value;
    return true;
  }
  return false;
}

}  // namespace

std::string FactsText(const RunFacts& facts) {
  const auto known = [](const std::string& text) { return text.empty() ? "unknown" : text; };
  std::string host = "host " + known(facts.computer);
  if (!facts.domain.empty()) host += " (" + facts.domain + ")";
  return host + ", Windows " + known(facts.windows) + ", tool " + known(facts.toolVersion);
}

std::string ExplainErrorCode(const std::string& message) {
  static const struct {
    unsigned long code;
    const char* words;
  } kCodes[] = {{2, "the file was not found"},
                {3, "the path was not found"},
                {5, "access is denied"},
                {6, "the handle is invalid"},
                {15, "the drive was not found"},
                {21, "the device is not ready"},
                {32, "the file is in use by another process"},
                {33, "part of the file is locked by another process"},
                {53, "the network path was not found"},
                {64, "the network name is no longer available"},
                {67, "the network name cannot be found"},
                {87, "a parameter is incorrect"},
                {112, "the disk is full"},
                {123, "the file name or path is not valid"},
                {183, "the file exists already"},
                {206, "the file name or path is too long"},
                {1058, "the service is disabled"},
                {1060, "the service does not exist"},
                {1223, "the operation was cancelled by the user"},
                {1314, "a required privilege is not held"},
                {1326, "the user name or password is wrong"},
                {1355, "the domain cannot be contacted"},
                {1722, "the RPC server is unavailable"},
                {1753, "no endpoint is available from the endpoint mapper"}};
  const size_t open = message.rfind('(');
  if (open == std::string::npos) return std::string();
  size_t at = open + 1;
  if (message.compare(at, 6, "error ") == 0) at += 6;
  unsigned long code = 0;
  size_t digits = 0;
  for (; at < message.size() && message[at] >= '0' && message[at] <= '9' && digits < 9;
       ++at, ++digits) {
    code = code * 10 + static_cast<unsigned long>(message[at] - '0');
  }
  if (digits == 0 || at >= message.size() || message[at] != ')') return std::string();
  for (const auto& known : kCodes) {
    if (known.code == code) return known.words;
  }
  return std::string();
}

void ActivityLogReader::Begin(const std::string& name, uint64_t) {
  Finish();
  active_ = name == kActivityLog;
  if (!active_) return;
  // A second log in one archive (itself a finding) replaces the first.
  *summary_ = LogSummary();
  summary_->found = true;
  lines_ = 0;
  scriptSeen_ = false;
  script_.clear();
  section_.clear();
  action_.clear();
}

void ActivityLogReader::Data(const unsigned char* data, size_t size) {
  if (!active_) return;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      Line();
    } else if (pending_.size() < kMaxLineKept) {
      pending_ += static_cast<char>(data[i]);
    }
  }
}

void ActivityLogReader::Finish() {
  if (active_ && !pending_.empty()) Line();
  pending_.clear();
}

void ActivityLogReader::Line() {
  std::string line;
  line.swap(pending_);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (lines_++ == 0 && StartsWith(line, kCaseLine)) {
    summary_->hasCase = true;
    summary_->caseId = line.substr(std::strlen(kCaseLine));
    return;
  }
  if (line.empty() || line == kHeader) return;
  // "time,severity,message"; a message may hold commas of its own.
  LogEntry entry;
  const size_t first = line.find(',');
  const size_t second = first == std::string::npos ? first : line.find(',', first + 1);
  if (second == std::string::npos) {
    entry.message = line;
  } else {
    entry.time = line.substr(0, first);
    entry.severity = line.substr(first + 1, second - first - 1);
    entry.message = line.substr(second + 1);
  }
  const std::string& m = entry.message;
  LogSummary& s = *summary_;
  if (entry.severity == "ERROR" || entry.severity == "CRITICAL ERROR") ++s.errors;
  if (entry.severity == "WARNING") ++s.warnings;
  if (StartsWith(m, kScriptFound)) {
    ++s.scripts;
    scriptSeen_ = true;
    script_ = m.substr(std::strlen(kScriptFound));
    section_.clear();
    action_.clear();
    if (s.scriptNames.size() < kMaxNamesKept) s.scriptNames.push_back(script_);
  } else if (StartsWith(m, "XML file ") && EndsWith(m, kRefused)) {
    ++s.refused;
    if (s.refusedNames.size() < kMaxNamesKept) {
      // "XML file NAME does not ..."; the name is the one found just before.
      const std::string name =
          !script_.empty() && m.compare(9, script_.size() + 1, script_ + " ") == 0
              ? script_
              : m.substr(9, m.find(' ', 9) - 9);
      s.refusedNames.push_back(name);
    }
  } else if (!scriptSeen_ && entry.severity == "INFORMATION") {
    TakeFact(m, &s.facts);
  }
  if (entry.severity == "INFORMATION" && StartsWith(m, "Scrubbed: ")) s.scrubbed = true;
  if (entry.severity == "DEBUG") {
    // The walker names each action before its collector runs.
    if (StartsWith(m, "XML Section: ")) {
      section_ = m.substr(13);
      action_.clear();
    } else if (StartsWith(m, "XML Name: ")) {
      action_ = section_ + " " + m.substr(10);
    }
  }
  entry.script = script_;
  entry.action = action_;
  if (onEntry) onEntry(entry);
}

}  // namespace tovkit
