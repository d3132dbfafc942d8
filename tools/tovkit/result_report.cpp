#include "result_report.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "collect/event_log_collector.h"
#include "collect/file_collector.h"
#include "run/text.h"

namespace tovkit {

namespace {

const char kActivityLog[] = "Activity Log.csv";
const char kRunFiles[] = "(the run itself)";

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
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

bool StartsWith(const std::string& text, const char* head) {
  return text.compare(0, std::char_traits<char>::length(head), head) == 0;
}

std::vector<std::pair<std::string, size_t>> MostFirst(const std::map<std::string, size_t>& counts) {
  std::vector<std::pair<std::string, size_t>> sorted(counts.begin(), counts.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  return sorted;
}

// Columns: Type, Date, Time, Source, Category, Event, User, Computer,
// Description, Data. The export reads forwards, so the newest rows come last.
ResultSummary::EventLog SummariseEventLog(const std::string& member, const std::string& text) {
  constexpr size_t kNewestErrors = 10;
  ResultSummary::EventLog log;
  log.member = member;
  std::map<std::string, size_t> types, sources;
  const std::vector<std::string> lines = Lines(text);
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> cells = SplitCommas(lines[i]);
    if (cells.size() < 9) continue;
    ++log.records;
    ++types[cells[0]];
    ++sources[cells[3]];
  }
  for (size_t i = lines.size(); i > 1 && log.newestErrors.size() < kNewestErrors; --i) {
    const std::vector<std::string> cells = SplitCommas(lines[i - 1]);
    if (cells.size() >= 9 && cells[0] == "Error") {
      log.newestErrors.push_back({cells[1], cells[2], cells[3], cells[5], cells[8]});
    }
  }
  log.byType = MostFirst(types);
  log.bySource = MostFirst(sources);
  return log;
}

// Keeps the few members the report reads whole, each up to the limit.
class Collector : public MemberObserver {
 public:
  explicit Collector(ResultSummary* summary) : summary_(summary), log_(&summary->logSummary) {}

  void Begin(const std::string& name, uint64_t size) override {
    log_.Begin(name, size);
    summary_->members.push_back(ResultMember{name, size});
    kept_ = nullptr;
    const bool wanted = name == kActivityLog || EndsWithNoCase(name, "PROCESS_LIST.txt") ||
                        EndsWithNoCase(name, ".csv");
    if (!wanted) return;
    texts_.emplace_back(name, std::string());
    kept_ = &texts_.back().second;
    listingOnly_ = name != kActivityLog && EndsWithNoCase(name, ".csv");
  }
  void Data(const unsigned char* data, size_t size) override {
    log_.Data(data, size);
    if (kept_ == nullptr) return;
    if (listingOnly_ && kept_->empty() && !Shown(data, size)) {
      texts_.pop_back();
      kept_ = nullptr;
      return;
    }
    const size_t room = kReportMaxMemberText - std::min(kReportMaxMemberText, kept_->size());
    if (size > room) summary_->truncated = true;
    kept_->append(reinterpret_cast<const char*>(data), std::min(size, room));
  }

  const std::vector<std::pair<std::string, std::string>>& texts() const { return texts_; }
  void Finish() { log_.Finish(); }

  // Of the CSV files only the version listings and the event logs are
  // shown; the header in the first piece tells them from the others.
  static bool Shown(const unsigned char* data, size_t size) {
    for (const char* header : {kFileVersionListHeader, kEventCsvHeader}) {
      const size_t n = std::min(size, std::char_traits<char>::length(header));
      if (std::string(reinterpret_cast<const char*>(data), n) == std::string(header, n)) {
        return true;
      }
    }
    return false;
  }

 private:
  ResultSummary* summary_;
  std::string* kept_ = nullptr;  // into the last of texts_
  bool listingOnly_ = false;
  ActivityLogReader log_;
  std::vector<std::pair<std::string, std::string>> texts_;
};

void ReadActivityLog(const std::string& text, ResultSummary* summary) {
  const std::string caseLine = "TOV TOOL CASE ID = ";
  std::vector<std::string> found;
  for (const std::string& line : Lines(text)) {
    if (line.compare(0, caseLine.size(), caseLine) == 0) {
      summary->caseId = line.substr(caseLine.size());
      continue;
    }
    if (line.empty() || line == "Time,Type,Description") continue;
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
    if (m.compare(0, 16, "XML file found: ") == 0) found.push_back(m.substr(16));
    const std::string refused = " will not be processed.";
    if (m.compare(0, 9, "XML file ") == 0 && EndsWithNoCase(m, refused)) {
      for (const std::string& name : found) {
        if (m.compare(9, name.size() + 1, name + " ") == 0) {
          summary->scriptsRefused.push_back(name);
          break;
        }
      }
    }
    const size_t temp = m.find("\\~BX_TEMP");
    if (summary->resultFolder.empty() && temp != std::string::npos) {
      const size_t start = m.rfind(' ', temp);
      summary->resultFolder = m.substr(start == std::string::npos ? 0 : start + 1,
                                       temp - (start == std::string::npos ? 0 : start + 1));
    }
    summary->log.push_back(std::move(entry));
  }
  for (const std::string& name : found) {
    if (std::find(summary->scriptsRefused.begin(), summary->scriptsRefused.end(), name) ==
        summary->scriptsRefused.end()) {
      summary->scriptsRun.push_back(name);
    }
  }
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

// The script folder a member lies in, or the run's own files.
std::string GroupOf(const std::string& name) {
  const size_t slash = name.find('/');
  return slash == std::string::npos ? kRunFiles : name.substr(0, slash);
}

const char kStyle[] = R"(
body{font:14px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;margin:0;color:#1d2330;background:#f4f5f7}
header{background:#1f3a5f;color:#fff;padding:18px 28px}
header h1{margin:0 0 6px;font-size:20px}
header dl{display:grid;grid-template-columns:max-content 1fr;gap:2px 14px;margin:0}
header dt{opacity:.75}header dd{margin:0}
main{padding:8px 28px 40px;max-width:1200px}
section{background:#fff;border:1px solid #dde1e7;border-radius:6px;padding:14px 18px;margin:16px 0}
h2{font-size:16px;margin:0 0 10px}h3{font-size:14px;margin:14px 0 6px}
table{border-collapse:collapse;width:100%;font-size:13px}
th,td{text-align:left;padding:3px 8px;border-bottom:1px solid #eceef1;vertical-align:top}
th{background:#f0f2f5;position:sticky;top:0}
table.sortable th{cursor:pointer;user-select:none}table.sortable th:after{content:" \2195";opacity:.35}
td.num,th.num{text-align:right;white-space:nowrap}
.verdict{padding:8px 12px;border-radius:4px;font-weight:600;margin-bottom:10px}
.clean{background:#e3f4e8;color:#145c2c}.dirty{background:#fde8e8;color:#8a1c1c}
.sev{font-weight:600;white-space:nowrap}
tr.ERROR .sev,tr.CRITICAL .sev{color:#b42318}tr.WARNING .sev{color:#a15c00}
tr.DEBUG{color:#6b7280}
.bars div.row{display:grid;grid-template-columns:minmax(120px,38%) 1fr 80px;gap:8px;align-items:center;margin:2px 0;font-size:13px}
.bars .bar{background:#4f7cc2;height:12px;border-radius:2px;min-width:1px}
.name{overflow:hidden;text-overflow:ellipsis;white-space:nowrap}
td.nowrap{white-space:nowrap}
.filters label{margin-right:14px}.muted{color:#6b7280}
ul{margin:4px 0 4px 18px;padding:0}
)";

// Sorting by a header click and the log's severity filter; nothing else.
const char kScript[] = R"(
document.querySelectorAll('table.sortable').forEach(function(t){
 t.querySelectorAll('th').forEach(function(th,i){th.addEventListener('click',function(){
  var b=t.tBodies[0],rows=Array.prototype.slice.call(b.rows),up=th.dataset.dir!=='up';
  t.querySelectorAll('th').forEach(function(h){delete h.dataset.dir});th.dataset.dir=up?'up':'down';
  rows.sort(function(x,y){var a=x.cells[i],c=y.cells[i];
   var p=a.dataset.v!==undefined?+a.dataset.v-+c.dataset.v:a.textContent.localeCompare(c.textContent);
   return up?p:-p});
  rows.forEach(function(r){b.appendChild(r)})})})});
document.querySelectorAll('.filters input').forEach(function(box){box.addEventListener('change',function(){
 document.querySelectorAll('#log tr.'+box.value).forEach(function(r){r.style.display=box.checked?'':'none'})})});
)";

class Page {
 public:
  Page& operator<<(const std::string& raw) {
    html_ += raw;
    return *this;
  }
  Page& Text(const std::string& text) {
    html_ += HtmlEscape(text);
    return *this;
  }
  const std::string& html() const { return html_; }

 private:
  std::string html_;
};

std::string SeverityClass(const std::string& severity) {
  if (severity == "CRITICAL ERROR") return "CRITICAL";
  if (severity == "ERROR" || severity == "WARNING" || severity == "INFORMATION" ||
      severity == "DEBUG") {
    return severity;
  }
  return "OTHER";
}

void LogRows(Page& page, const std::vector<const LogEntry*>& entries) {
  page << "<tbody>";
  for (const LogEntry* e : entries) {
    page << "<tr class=\"" << SeverityClass(e->severity) << "\"><td class=\"nowrap\">";
    page.Text(e->time) << "</td><td class=\"sev\">";
    page.Text(e->severity) << "</td><td>";
    page.Text(Utf8OfResultText(e->message)) << "</td></tr>\n";
  }
  page << "</tbody>";
}

void NameList(Page& page, const char* label, const std::vector<std::string>& items, size_t count) {
  if (count == 0) return;
  page << "<h3>" << label << " (" << std::to_string(count) << ")</h3><ul>";
  for (const std::string& item : items) {
    page << "<li>";
    page.Text(item.empty() ? "(empty)" : item) << "</li>";
  }
  if (count > items.size()) {
    page << "<li class=\"muted\">and " << std::to_string(count - items.size()) << " more</li>";
  }
  page << "</ul>";
}

void Header(Page& page, const ResultSummary& s, const std::string& title) {
  page << "<header><h1>Brindle result: ";
  page.Text(title) << "</h1><dl><dt>Case</dt><dd>";
  page.Text(s.caseId.empty() ? "(none given)" : s.caseId) << "</dd><dt>When</dt><dd>";
  if (s.log.empty()) {
    page << "(no activity log)";
  } else {
    page.Text(s.log.front().time) << " to ";
    page.Text(s.log.back().time) << " (the customer's local time)";
  }
  page << "</dd><dt>Where</dt><dd>";
  page.Text(s.resultFolder.empty() ? "(not told by the log)" : s.resultFolder);
  page << "</dd><dt>Scripts run</dt><dd>";
  std::string run, refused;
  for (const std::string& name : s.scriptsRun) run += (run.empty() ? "" : ", ") + name;
  for (const std::string& name : s.scriptsRefused) refused += (refused.empty() ? "" : ", ") + name;
  page.Text(run.empty() ? "none" : run) << "</dd><dt>Scripts refused</dt><dd>";
  page.Text(refused.empty() ? "none" : refused) << "</dd></dl></header>\n";
}

void Problems(Page& page, const ResultSummary& s) {
  const InspectReport& r = s.inspect;
  page << "<section id=\"problems\"><h2>Problems</h2><div class=\"verdict "
       << (s.verdict.kind == VerdictKind::Clean ? "clean" : "dirty") << "\">";
  page.Text(s.verdict.headline) << "</div>";
  if (r.manifestFound) {
    page << "<p>FileList.csv signature: " << (r.signatureValid ? "valid" : "<b>INVALID</b>") << "; "
         << std::to_string(r.listed) << " files listed, " << std::to_string(r.files)
         << " in the archive; every listed file's CRC-32 "
         << (r.changedCount == 0 ? "matches" : "checked, some differ") << ".</p>";
  }
  NameList(page, "Not packed", r.notPacked, r.notPackedCount);
  NameList(page, "Missing", r.missing, r.missingCount);
  NameList(page, "Changed", r.changed, r.changedCount);
  NameList(page, "Extra", r.extra, r.extraCount);
  NameList(page, "Other problems", r.problems, r.problemCount);
  if (s.truncated) page << "<p class=\"muted\">A large file was read only in part.</p>";
  std::vector<const LogEntry*> bad;
  for (const LogEntry& e : s.log) {
    if (e.severity == "ERROR" || e.severity == "WARNING" || e.severity == "CRITICAL ERROR") {
      bad.push_back(&e);
    }
  }
  page << "<h3>Errors and warnings of the activity log (" << std::to_string(bad.size()) << ")</h3>";
  if (!bad.empty()) {
    page << "<table><thead><tr><th>Time</th><th>Type</th><th>Description</th></tr></thead>";
    LogRows(page, bad);
    page << "</table>";
  }
  page << "</section>\n";
}

void Collected(Page& page, const ResultSummary& s) {
  page << "<section id=\"collected\"><h2>What was collected</h2>";
  std::vector<const ResultMember*> largest;
  for (const ResultMember& m : s.members) largest.push_back(&m);
  std::stable_sort(largest.begin(), largest.end(),
                   [](const ResultMember* a, const ResultMember* b) { return a->size > b->size; });
  if (largest.size() > 12) largest.resize(12);
  if (!largest.empty() && largest.front()->size > 0) {
    page << "<h3>Largest files</h3><div class=\"bars\">";
    const double top = static_cast<double>(largest.front()->size);
    for (const ResultMember* m : largest) {
      char width[16];
      std::snprintf(width, sizeof width, "%.1f", 100.0 * static_cast<double>(m->size) / top);
      page << "<div class=\"row\"><span class=\"name\" title=\"";
      page.Text(m->name) << "\">";
      page.Text(m->name) << "</span><div class=\"bar\" style=\"width:" << width
                         << "%\"></div><span class=\"num\">" << SizeText(m->size)
                         << "</span></div>";
    }
    page << "</div>";
  }
  std::map<std::string, std::vector<const ResultMember*>> groups;
  for (const ResultMember& m : s.members) groups[GroupOf(m.name)].push_back(&m);
  for (const auto& group : groups) {
    uint64_t total = 0;
    for (const ResultMember* m : group.second) total += m->size;
    page << "<h3>";
    page.Text(group.first) << " <span class=\"muted\">(" << std::to_string(group.second.size())
                           << " files, " << SizeText(total) << ")</span></h3>";
    page << "<table class=\"sortable\"><thead><tr><th>File</th><th class=\"num\">Size</th>"
            "</tr></thead><tbody>";
    for (const ResultMember* m : group.second) {
      page << "<tr><td>";
      page.Text(m->name) << "</td><td class=\"num\" data-v=\"" << std::to_string(m->size) << "\">"
                         << SizeText(m->size) << "</td></tr>\n";
    }
    page << "</tbody></table>";
  }
  page << "</section>\n";
}

void Processes(Page& page, const ResultSummary& s) {
  if (s.processes.empty()) return;
  page << "<section id=\"processes\"><h2>Process list (" << std::to_string(s.processes.size())
       << " names)</h2><table class=\"sortable\"><thead><tr><th>Process</th>"
          "<th class=\"num\">Instances</th></tr></thead><tbody>";
  for (const auto& process : s.processes) {
    page << "<tr><td>";
    page.Text(process.first) << "</td><td class=\"num\" data-v=\"" << std::to_string(process.second)
                             << "\">" << std::to_string(process.second) << "</td></tr>\n";
  }
  page << "</tbody></table></section>\n";
}

void Versions(Page& page, const ResultSummary& s) {
  if (s.versionRows.empty()) return;
  page << "<section id=\"versions\"><h2>File versions (" << std::to_string(s.versionRows.size())
       << (s.versionRows.size() == 1 ? " file" : " files")
       << ")</h2><div style=\"overflow-x:auto\"><table class=\"sortable\"><thead><tr>";
  for (const std::string& cell : s.versionHeader) {
    page << "<th>";
    page.Text(cell) << "</th>";
  }
  page << "</tr></thead><tbody>";
  for (const auto& row : s.versionRows) {
    page << "<tr>";
    for (size_t i = 0; i < row.size(); ++i) {
      const bool size =
          i == 1 && !row[i].empty() && row[i].find_first_not_of("0123456789") == std::string::npos;
      page << (size ? "<td class=\"num\" data-v=\"" + row[i] + "\">" : std::string("<td>"));
      page.Text(Utf8OfResultText(row[i])) << "</td>";
    }
    page << "</tr>\n";
  }
  page << "</tbody></table></div></section>\n";
}

void CountTable(Page& page, const char* what,
                const std::vector<std::pair<std::string, size_t>>& counts, size_t most) {
  page << "<table class=\"sortable\"><thead><tr><th>" << what
       << "</th><th class=\"num\">Records</th></tr></thead><tbody>";
  for (size_t i = 0; i < counts.size() && i < most; ++i) {
    page << "<tr><td>";
    page.Text(counts[i].first) << "</td><td class=\"num\" data-v=\""
                               << std::to_string(counts[i].second) << "\">"
                               << std::to_string(counts[i].second) << "</td></tr>\n";
  }
  page << "</tbody></table>";
}

void EventLogs(Page& page, const ResultSummary& s) {
  if (s.eventLogs.empty()) return;
  page << "<section id=\"eventlogs\"><h2>Event logs</h2>";
  for (const ResultSummary::EventLog& log : s.eventLogs) {
    page << "<h3>";
    page.Text(log.member) << " (" << std::to_string(log.records)
                          << (log.records == 1 ? " record" : " records") << ")</h3>";
    CountTable(page, "Type", log.byType, log.byType.size());
    CountTable(page, "Source (most records first)", log.bySource, 20);
    if (!log.newestErrors.empty()) {
      page << "<table><thead><tr><th>Date</th><th>Time</th><th>Source</th><th>Event</th>"
              "<th>Description (newest errors)</th></tr></thead><tbody>";
      for (const auto& row : log.newestErrors) {
        page << "<tr>";
        for (const std::string& cell : row) {
          page << "<td>";
          page.Text(cell) << "</td>";
        }
        page << "</tr>\n";
      }
      page << "</tbody></table>";
    }
  }
  page << "</section>\n";
}

void ActivityLog(Page& page, const ResultSummary& s) {
  page << "<section><h2>Activity log (" << std::to_string(s.log.size())
       << " entries)</h2><div class=\"filters\">Show: ";
  for (const char* severity : {"CRITICAL", "ERROR", "WARNING", "INFORMATION", "DEBUG"}) {
    page << "<label><input type=\"checkbox\" value=\"" << severity << "\" checked> " << severity
         << "</label>";
  }
  page << "</div><table id=\"log\"><thead><tr><th>Time</th><th>Type</th><th>Description</th>"
          "</tr></thead>";
  std::vector<const LogEntry*> all;
  for (const LogEntry& e : s.log) all.push_back(&e);
  LogRows(page, all);
  page << "</table></section>\n";
}

}  // namespace

ResultSummary ReadResultSummary(const ByteSource& source) {
  ResultSummary summary;
  Collector collector(&summary);
  summary.inspect = InspectResult(source, &collector);
  collector.Finish();
  summary.verdict = JudgeResult(summary.inspect, summary.logSummary);
  std::map<std::string, size_t> processes;
  for (const auto& member : collector.texts()) {
    const std::string& name = member.first;
    const std::string& text = member.second;
    if (name == kActivityLog) {
      ReadActivityLog(text, &summary);
    } else if (EndsWithNoCase(name, "PROCESS_LIST.txt")) {
      for (const std::string& line : Lines(text)) {
        if (!line.empty()) ++processes[line];
      }
    } else if (StartsWith(text, kEventCsvHeader)) {
      summary.eventLogs.push_back(SummariseEventLog(name, text));
    } else if (StartsWith(text, kFileVersionListHeader)) {
      const std::vector<std::string> lines = Lines(text);
      summary.versionHeader = SplitCommas(lines.front());
      for (size_t i = 1; i < lines.size(); ++i) {
        if (!lines[i].empty()) summary.versionRows.push_back(SplitCommas(lines[i]));
      }
    }
  }
  summary.processes.assign(processes.begin(), processes.end());
  return summary;
}

std::string RenderReportHtml(const ResultSummary& summary, const std::string& title) {
  Page page;
  // The policy forbids every load from outside, should anything slip through.
  page << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
          "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">"
          "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"><title>";
  page.Text("Brindle result: " + title) << "</title><style>" << kStyle << "</style></head><body>\n";
  Header(page, summary, title);
  page << "<main>";
  Problems(page, summary);
  Collected(page, summary);
  EventLogs(page, summary);
  Processes(page, summary);
  Versions(page, summary);
  ActivityLog(page, summary);
  page << "</main><script>" << kScript << "</script></body></html>\n";
  return page.html();
}

}  // namespace tovkit
