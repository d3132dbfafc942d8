#include "result_report.h"

#include <algorithm>
#include <cstdio>

#include "collect/event_channel_collector.h"
#include "collect/event_log_collector.h"
#include "collect/file_collector.h"
#include "run/text.h"

namespace tovkit {

namespace {

const char kActivityLog[] = "Activity Log.csv";
const char kRunFiles[] = "(the run itself)";
// Bounds: a line read, a cell shown, the few things counted by name.
constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxCell = 600;
constexpr size_t kMaxGroups = 200;
constexpr size_t kMaxEventLogs = 20;
constexpr size_t kMaxTexts = 40;
constexpr size_t kMaxTextLines = 200;
constexpr size_t kMaxTextBytes = 48u << 10;
constexpr size_t kLargest = 12;
constexpr size_t kNewestErrors = 10;

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

// One line of RFC 4180 text; *quoted carries a field that goes on past the
// line end into the next one.
std::vector<std::string> SplitQuoted(const std::string& line, bool* quoted) {
  std::vector<std::string> cells(1);
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (*quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      cells.back() += line[++i];
    } else if (c == '"') {
      *quoted = !*quoted;
    } else if (!*quoted && c == ',') {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

std::vector<std::string> SplitCommas(const std::string& line) {
  std::vector<std::string> cells;
  size_t start = 0;
  for (;;) {
    const size_t comma = line.find(',', start);
    cells.push_back(line.substr(start, comma - start));
    if (comma == std::string::npos) return cells;
    start = comma + 1;
  }
}

}  // namespace

// An untrusted cell as HTML, cut to a bounded length.
std::string Cell(const std::string& text) {
  if (text.size() <= kMaxCell) return HtmlEscape(text);
  return HtmlEscape(text.substr(0, kMaxCell)) + "&hellip;";
}

std::string SizeText(uint64_t size) {
  char text[32];
  if (size < 1024) {
    std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(size));
  } else if (size < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(size) / 1024);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(size) / (1024 * 1024));
  }
  return text;
}

namespace {

std::string SeverityClass(const std::string& severity) {
  if (severity == "CRITICAL ERROR") return "CRITICAL";
  if (severity == "ERROR" || severity == "WARNING" || severity == "INFORMATION" ||
      severity == "DEBUG") {
    return severity;
  }
  return "OTHER";
}

// UTF-16LE (as regedit exports) turned into UTF-8 a code unit at a time.
void AppendUtf16Unit(uint32_t unit, uint32_t* high, std::string* out) {
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    *high = unit;
    return;
  }
  uint32_t c = unit;
  if (unit >= 0xDC00 && unit <= 0xDFFF) {
    c = *high != 0 ? 0x10000 + ((*high - 0xD800) << 10) + (unit - 0xDC00) : 0xFFFD;
  }
  *high = 0;
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Reads the members the report shows, a line at a time, as they stream by.
class Collector : public MemberObserver {
 public:
  explicit Collector(ResultSummary* s) : s_(s), log_(&s->log) {
    log_.onEntry = [this](const LogEntry& e) { Entry(e); };
  }

  void Begin(const std::string& name, uint64_t size) override {
    Finish();
    log_.Begin(name, size);
    formulas_.Begin(name, size);
    Member(name, size);
    kind_ = name == kActivityLog                       ? Kind::None
            : EndsWithNoCase(name, "PROCESS_LIST.txt") ? Kind::Processes
            : EndsWithNoCase(name, ".csv")             ? Kind::Csv
            : EndsWithNoCase(name, ".txt")             ? Kind::Text
                                                       : Kind::None;
    name_ = name;
    lineNumber_ = 0;
    utf16_ = false;
    high_ = 0;
    odd_.clear();
    event_ = nullptr;
    text_ = nullptr;
    if (kind_ == Kind::Text) {
      if (s_->texts.size() >= kMaxTexts) {
        ++s_->textsMore;
        kind_ = Kind::None;
      } else {
        s_->texts.push_back(ResultSummary::Text{name, std::string(), 0, 0});
        text_ = &s_->texts.back();
      }
    }
  }

  void Data(const unsigned char* data, size_t size) override {
    log_.Data(data, size);
    formulas_.Data(data, size);
    if (kind_ == Kind::None) return;
    size_t i = 0;
    if (lineNumber_ == 0 && pending_.empty() && !utf16_ && size >= 2 && data[0] == 0xFF &&
        data[1] == 0xFE) {
      utf16_ = true;
      i = 2;
    }
    for (; i < size; ++i) {
      if (utf16_) {
        odd_ += static_cast<char>(data[i]);
        if (odd_.size() < 2) continue;
        const uint32_t unit = static_cast<unsigned char>(odd_[0]) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(odd_[1])) << 8);
        odd_.clear();
        if (unit == '\n') {
          Line();
        } else if (pending_.size() < kMaxLine) {
          AppendUtf16Unit(unit, &high_, &pending_);
        }
        continue;
      }
      if (data[i] == '\n') {
        Line();
      } else if (pending_.size() < kMaxLine) {
        pending_ += static_cast<char>(data[i]);
      }
    }
  }

  void Finish() {
    if (!pending_.empty()) Line();
    pending_.clear();
    log_.Finish();
    formulas_.Finish();
  }

  const FormulaCellScanner& formulas() const { return formulas_; }

 private:
  enum class Kind { None, Processes, Csv, Text };

  void Member(const std::string& name, uint64_t size) {
    ++s_->members;
    auto& largest = s_->largest;
    largest.push_back(ResultSummary::Member{name, size});
    std::stable_sort(largest.begin(), largest.end(),
                     [](const auto& a, const auto& b) { return a.size > b.size; });
    if (largest.size() > kLargest) largest.pop_back();
    const size_t slash = name.find('/');
    std::string group = slash == std::string::npos ? kRunFiles : name.substr(0, slash);
    if (s_->groups.size() >= kMaxGroups && s_->groups.count(group) == 0) group = "(other folders)";
    ResultSummary::Group& g = s_->groups[group];
    ++g.files;
    g.bytes += size;
    if (g.rows.Full()) return g.rows.Skip();
    g.rows.Add("<tr><td>" + Cell(name) + "</td><td class=\"num\" data-v=\"" + std::to_string(size) +
               "\">" + SizeText(size) + "</td></tr>\n");
  }

  void Line() {
    std::string line;
    line.swap(pending_);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool first = lineNumber_++ == 0;
    switch (kind_) {
      case Kind::Processes:
        if (!line.empty()) s_->processes.Add(line, kReportMaxNames);
        break;
      case Kind::Csv:
        Csv(line, first);
        break;
      case Kind::Text:
        if (text_->html.size() < kMaxTextBytes && text_->lines < kMaxTextLines) {
          text_->html += Cell(line) + "\n";
          ++text_->lines;
        } else {
          ++text_->moreLines;
        }
        break;
      default:
        break;
    }
  }

  // Of the CSV files the version listings and the event logs are shown;
  // the header tells them from the others.
  void Csv(const std::string& line, bool first) {
    if (first) {
      channel_ = line == kChannelCsvHeader;
      continued_ = false;
      if (line == kEventCsvHeader || channel_) {
        if (s_->eventLogs.size() >= kMaxEventLogs) {
          ++s_->eventLogsMore;
          kind_ = Kind::None;
          return;
        }
        s_->eventLogs.push_back(ResultSummary::EventLog());
        event_ = &s_->eventLogs.back();
        event_->member = name_;
      } else if (line == kFileVersionListHeader) {
        if (s_->versionHeader.empty()) {
          for (const std::string& cell : SplitCommas(line))
            s_->versionHeader += "<th>" + Cell(cell) + "</th>";
        }
      } else {
        kind_ = Kind::None;
      }
      return;
    }
    if (event_ == nullptr) {
      if (line.empty()) return;
      if (s_->versionRows.Full()) return s_->versionRows.Skip();
      const std::vector<std::string> cells = SplitCommas(line);
      std::string row = "<tr>";
      for (size_t i = 0; i < cells.size() && i < 32; ++i) {
        const bool size = i == 1 && !cells[i].empty() &&
                          cells[i].find_first_not_of("0123456789") == std::string::npos;
        row += (size ? "<td class=\"num\" data-v=\"" + cells[i] + "\">" : std::string("<td>")) +
               Cell(Utf8OfResultText(cells[i])) + "</td>";
      }
      s_->versionRows.Add(row + "</tr>\n");
      return;
    }
    if (channel_) return ChannelRow(line);
    // Type, Date, Time, Source, Category, Event, User, Computer,
    // Description, Data; oldest first, so the newest errors come last.
    const std::vector<std::string> cells = SplitCommas(line);
    if (cells.size() < 9) return;
    ++event_->records;
    event_->byType.Add(cells[0], kReportMaxNames);
    event_->bySource.Add(cells[3], kReportMaxNames);
    if (cells[0] == "Error") {
      auto& newest = event_->newestErrors;
      newest.insert(newest.begin(), {cells[1], cells[2], cells[3], cells[5], cells[8]});
      if (newest.size() > kNewestErrors) newest.pop_back();
    }
  }

  // UTC time, record id, event id, level, provider, computer, user SID,
  // message, ...; newest first. A message may go on over several lines.
  void ChannelRow(const std::string& line) {
    if (continued_) {
      bool inside = true;
      SplitQuoted(line, &inside);
      continued_ = inside;
      return;
    }
    const std::vector<std::string> cells = SplitQuoted(line, &continued_);
    if (cells.size() < 8) return;
    ++event_->records;
    const std::string level = cells[3] == "Critical" ? "Error" : cells[3];
    event_->byType.Add(level, kReportMaxNames);
    event_->bySource.Add(cells[4], kReportMaxNames);
    if (level == "Error" && event_->newestErrors.size() < kNewestErrors) {
      const size_t blank = std::min(cells[0].find(' '), cells[0].size());
      event_->newestErrors.push_back({cells[0].substr(0, blank),
                                      blank < cells[0].size() ? cells[0].substr(blank + 1) : "",
                                      cells[4], cells[2], cells[7]});
    }
  }

  void Entry(const LogEntry& e) {
    if (s_->firstTime.empty()) s_->firstTime = e.time;
    if (!e.time.empty()) s_->lastTime = e.time;
    const size_t temp = e.message.find("\\~BX_TEMP");
    if (s_->resultFolder.empty() && temp != std::string::npos) {
      const size_t space = e.message.rfind(' ', temp);
      const size_t start = space == std::string::npos ? 0 : space + 1;
      s_->resultFolder = e.message.substr(start, temp - start);
    }
    const std::string type = SeverityClass(e.severity);
    const bool problem = type == "ERROR" || type == "WARNING" || type == "CRITICAL";
    if (s_->logRows.Full() && (!problem || s_->problemRows.Full())) {
      s_->logRows.Skip();
      if (problem) s_->problemRows.Skip();
      return;
    }
    const std::string time = "<td class=\"nowrap\">" + Cell(e.time) + "</td>";
    const std::string severity = "<td class=\"sev\">" + Cell(e.severity) + "</td>";
    const std::string message = Cell(Utf8OfResultText(e.message));
    s_->logRows.Add("<tr class=\"" + type + "\">" + time + severity + "<td>" + message +
                    "</td></tr>\n");
    if (!problem) return;
    const std::string explained = ExplainErrorCode(e.message);
    std::string where = e.script.empty() ? "(the run)" : Cell(e.script);
    if (!e.action.empty()) where += "<br><span class=\"muted\">" + Cell(e.action) + "</span>";
    s_->problemRows.Add(
        "<tr class=\"" + type + "\">" + time + severity + "<td>" + where + "</td><td>" + message +
        (explained.empty() ? std::string() : "<br><span class=\"muted\">" + explained + "</span>") +
        "</td></tr>\n");
  }

  ResultSummary* s_;
  ActivityLogReader log_;
  FormulaCellScanner formulas_;
  Kind kind_ = Kind::None;
  std::string name_, pending_, odd_;
  size_t lineNumber_ = 0;
  bool utf16_ = false;
  bool channel_ = false, continued_ = false;
  uint32_t high_ = 0;
  ResultSummary::EventLog* event_ = nullptr;  // into s_->eventLogs, never grown past it
  ResultSummary::Text* text_ = nullptr;
};

}  // namespace

bool BoundedRows::Add(std::string html) {
  if (rows_.size() >= maxRows_ || bytes_ + html.size() > maxBytes_) {
    ++more_;
    return false;
  }
  bytes_ += html.size();
  rows_.push_back(std::move(html));
  return true;
}

void BoundedCounts::Add(const std::string& name, size_t maxNames) {
  auto it = counts.find(name);
  if (it != counts.end()) {
    ++it->second;
  } else if (counts.size() < maxNames) {
    counts.emplace(name.substr(0, kMaxCell), 1);
  } else {
    ++other;
  }
}

ResultSummary ReadResultSummary(const ByteSource& source) {
  ResultSummary summary;
  Collector collector(&summary);
  summary.inspect = InspectResult(source, &collector);
  collector.Finish();
  summary.formulas = collector.formulas().cells();
  summary.formulaCount = collector.formulas().count();
  summary.verdict = JudgeResult(summary.inspect, summary.log);
  return summary;
}

}  // namespace tovkit
