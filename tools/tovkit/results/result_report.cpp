#include "result_report.h"

#include <algorithm>
#include <cstdio>

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
constexpr size_t kMaxNames = 2000;
constexpr size_t kMaxEventLogs = 20;
constexpr size_t kMaxTexts = 40;
constexpr size_t kMaxTextLines = 200;
constexpr size_t kMaxTextBytes = 48u << 10;
constexpr size_t kLargest = 12;
constexpr size_t kNewestErrors = 10;

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
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

std::string SeverityClass(const std::string& severity) {
  if (severity == "CRITICAL ERROR") return "CRITICAL";
  if (severity == "ERROR" || severity == "WARNING" || severity == "INFORMATION" ||
      severity == "DEBUG") {
    return severity;
  }
  return "OTHER";
}

std::vector<std::pair<std::string, size_t>> MostFirst(const BoundedCounts& counts) {
  std::vector<std::pair<std::string, size_t>> sorted(counts.counts.begin(), counts.counts.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  return sorted;
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
    kind_ = name == kActivityLog                     ? Kind::None
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
    g.rows.Add("<tr><td>" + Cell(name) + "</td><td class=\"num\" data-v=\"" +
               std::to_string(size) + "\">" + SizeText(size) + "</td></tr>\n");
  }

  void Line() {
    std::string line;
    line.swap(pending_);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool first = lineNumber_++ == 0;
    switch (kind_) {
      case Kind::Processes:
        if (!line.empty()) s_->processes.Add(line, kMaxNames);
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
      if (line == kEventCsvHeader) {
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
          for (const std::string& cell : SplitCommas(line)) s_->versionHeader += "<th>" + Cell(cell) + "</th>";
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
    // Type, Date, Time, Source, Category, Event, User, Computer,
    // Description, Data; oldest first, so the newest errors come last.
    const std::vector<std::string> cells = SplitCommas(line);
    if (cells.size() < 9) return;
    ++event_->records;
    event_->byType.Add(cells[0], kMaxNames);
    event_->bySource.Add(cells[3], kMaxNames);
    if (cells[0] == "Error") {
      auto& newest = event_->newestErrors;
      newest.insert(newest.begin(), {cells[1], cells[2], cells[3], cells[5], cells[8]});
      if (newest.size() > kNewestErrors) newest.pop_back();
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
    s_->problemRows.Add("<tr class=\"" + type + "\">" + time + severity + "<td>" + where +
                        "</td><td>" + message +
                        (explained.empty() ? std::string()
                                           : "<br><span class=\"muted\">" + explained + "</span>") +
                        "</td></tr>\n");
  }

  ResultSummary* s_;
  ActivityLogReader log_;
  FormulaCellScanner formulas_;
  Kind kind_ = Kind::None;
  std::string name_, pending_, odd_;
  size_t lineNumber_ = 0;
  bool utf16_ = false;
  uint32_t high_ = 0;
  ResultSummary::EventLog* event_ = nullptr;  // into s_->eventLogs, never grown past it
  ResultSummary::Text* text_ = nullptr;
};

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
pre.text{white-space:pre-wrap;font:12px/1.4 ui-monospace,Consolas,monospace;background:#f7f8fa;padding:8px;max-height:420px;overflow:auto}
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

std::string More(size_t more, const char* what) {
  if (more == 0) return std::string();
  return "<p class=\"muted\">" + std::to_string(more) + " more " + what + " in the file</p>";
}

std::string Rows(const BoundedRows& rows) {
  std::string html;
  for (const std::string& row : rows.rows()) html += row;
  return html;
}

void NameList(std::string& page, const char* label, const std::vector<std::string>& items,
              size_t count) {
  if (count == 0) return;
  page += "<h3>" + std::string(label) + " (" + std::to_string(count) + ")</h3><ul>";
  for (const std::string& item : items) page += "<li>" + Cell(item.empty() ? "(empty)" : item) + "</li>";
  if (count > items.size()) {
    page += "<li class=\"muted\">and " + std::to_string(count - items.size()) + " more</li>";
  }
  page += "</ul>";
}

void Header(std::string& page, const ResultSummary& s, const std::string& title) {
  const auto list = [](const std::vector<std::string>& names, size_t count) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    if (count > names.size()) text += ", and " + std::to_string(count - names.size()) + " more";
    return text.empty() ? std::string("none") : text;
  };
  std::vector<std::string> run;
  for (const std::string& name : s.log.scriptNames) {
    if (std::find(s.log.refusedNames.begin(), s.log.refusedNames.end(), name) ==
        s.log.refusedNames.end()) {
      run.push_back(name);
    }
  }
  page += "<header><h1>Brindle result: " + Cell(title) + "</h1><dl><dt>Case</dt><dd>" +
          Cell(s.log.hasCase ? s.log.caseId : "(none given)") + "</dd><dt>Made on</dt><dd>" +
          Cell(FactsText(s.log.facts)) + "</dd><dt>When</dt><dd>";
  if (s.firstTime.empty()) {
    page += "(no activity log)";
  } else {
    page += Cell(s.firstTime) + " to " + Cell(s.lastTime) + " (the customer's local time)";
    if (!s.log.facts.started.empty()) page += "; started " + Cell(s.log.facts.started);
    if (!s.log.facts.timeZone.empty()) page += ", " + Cell(s.log.facts.timeZone);
  }
  page += "</dd><dt>Where</dt><dd>" +
          Cell(s.resultFolder.empty() ? "(not told by the log)" : s.resultFolder) +
          "</dd><dt>Scripts run</dt><dd>" + Cell(list(run, run.size())) +
          "</dd><dt>Scripts refused</dt><dd>" + Cell(list(s.log.refusedNames, s.log.refused)) +
          "</dd></dl></header>\n";
}

void Problems(std::string& page, const ResultSummary& s) {
  const InspectReport& r = s.inspect;
  page += "<section id=\"problems\"><h2>Problems</h2><div class=\"verdict " +
          std::string(s.verdict.kind == VerdictKind::Clean ? "clean" : "dirty") + "\">" +
          Cell(s.verdict.headline) + "</div>";
  if (r.manifestFound) {
    page += "<p>FileList.csv signature: " +
            std::string(r.signatureValid ? "valid" : "<b>INVALID</b>") + "; " +
            std::to_string(r.listed) + " files listed, " + std::to_string(r.files) +
            " in the archive; every listed file's CRC-32 " +
            (r.changedCount == 0 ? "matches" : "checked, some differ") + ".</p>";
  }
  NameList(page, "Not packed", r.notPacked, r.notPackedCount);
  NameList(page, "Missing", r.missing, r.missingCount);
  NameList(page, "Changed", r.changed, r.changedCount);
  NameList(page, "Extra", r.extra, r.extraCount);
  NameList(page, "Other problems", r.problems, r.problemCount);
  if (s.formulaCount > 0) {
    std::vector<std::string> cells;
    for (const FormulaCell& cell : s.formulas) cells.push_back(FormulaCellText(cell));
    NameList(page, "Cells a spreadsheet would run as a formula (the files are as collected)",
             cells, s.formulaCount);
  }
  const size_t count = s.log.errors + s.log.warnings;
  page += "<h3>Errors and warnings of the activity log (" + std::to_string(count) + ")</h3>";
  if (!s.problemRows.empty()) {
    page += "<table><thead><tr><th>Time</th><th>Type</th><th>Script and action</th>"
            "<th>Description</th></tr></thead><tbody>" +
            Rows(s.problemRows) + "</tbody></table>" + More(s.problemRows.more(), "errors and warnings");
  }
  page += "</section>\n";
}

void Collected(std::string& page, const ResultSummary& s) {
  page += "<section id=\"collected\"><h2>What was collected (" + std::to_string(s.members) +
          " files)</h2>";
  if (!s.largest.empty() && s.largest.front().size > 0) {
    page += "<h3>Largest files</h3><div class=\"bars\">";
    const double top = static_cast<double>(s.largest.front().size);
    for (const ResultSummary::Member& m : s.largest) {
      char width[16];
      std::snprintf(width, sizeof width, "%.1f", 100.0 * static_cast<double>(m.size) / top);
      page += "<div class=\"row\"><span class=\"name\" title=\"" + Cell(m.name) + "\">" +
              Cell(m.name) + "</span><div class=\"bar\" style=\"width:" + width +
              "%\"></div><span class=\"num\">" + SizeText(m.size) + "</span></div>";
    }
    page += "</div>";
  }
  for (const auto& group : s.groups) {
    page += "<h3>" + Cell(group.first) + " <span class=\"muted\">(" +
            std::to_string(group.second.files) + " files, " + SizeText(group.second.bytes) +
            ")</span></h3><table class=\"sortable\"><thead><tr><th>File</th><th "
            "class=\"num\">Size</th></tr></thead><tbody>" +
            Rows(group.second.rows) + "</tbody></table>" + More(group.second.rows.more(), "files");
  }
  page += "</section>\n";
}

void CountRows(std::string& page, const char* what, const BoundedCounts& counts, size_t most) {
  const auto sorted = MostFirst(counts);
  page += "<table class=\"sortable\"><thead><tr><th>" + std::string(what) +
          "</th><th class=\"num\">Count</th></tr></thead><tbody>";
  for (size_t i = 0; i < sorted.size() && i < most; ++i) {
    page += "<tr><td>" + Cell(sorted[i].first) + "</td><td class=\"num\" data-v=\"" +
            std::to_string(sorted[i].second) + "\">" + std::to_string(sorted[i].second) +
            "</td></tr>\n";
  }
  page += "</tbody></table>";
  const size_t left = (sorted.size() > most ? sorted.size() - most : 0) + (counts.other > 0 ? 1 : 0);
  page += More(left, "names");
}

void Processes(std::string& page, const ResultSummary& s) {
  if (s.processes.counts.empty()) return;
  page += "<section id=\"processes\"><h2>Process list (" +
          std::to_string(s.processes.counts.size()) + " names)</h2>";
  CountRows(page, "Process", s.processes, kMaxNames);
  page += "</section>\n";
}

void Versions(std::string& page, const ResultSummary& s) {
  if (s.versionRows.empty()) return;
  page += "<section id=\"versions\"><h2>File versions</h2><div style=\"overflow-x:auto\"><table "
          "class=\"sortable\"><thead><tr>" +
          s.versionHeader + "</tr></thead><tbody>" + Rows(s.versionRows) +
          "</tbody></table></div>" + More(s.versionRows.more(), "rows") + "</section>\n";
}

void EventLogs(std::string& page, const ResultSummary& s) {
  if (s.eventLogs.empty()) return;
  page += "<section id=\"eventlogs\"><h2>Event logs</h2>";
  for (const ResultSummary::EventLog& log : s.eventLogs) {
    page += "<h3>" + Cell(log.member) + " (" + std::to_string(log.records) +
            (log.records == 1 ? " record" : " records") + ")</h3>";
    if (log.records == 0) continue;
    CountRows(page, "Type", log.byType, 20);
    CountRows(page, "Source (most records first)", log.bySource, 20);
    if (log.newestErrors.empty()) continue;
    page += "<table><thead><tr><th>Date</th><th>Time</th><th>Source</th><th>Event</th>"
            "<th>Description (newest errors)</th></tr></thead><tbody>";
    for (const auto& row : log.newestErrors) {
      page += "<tr>";
      for (const std::string& cell : row) page += "<td>" + Cell(cell) + "</td>";
      page += "</tr>\n";
    }
    page += "</tbody></table>";
  }
  page += More(s.eventLogsMore, "event logs") + "</section>\n";
}

void Texts(std::string& page, const ResultSummary& s) {
  if (s.texts.empty()) return;
  page += "<section id=\"texts\"><h2>Collected text files</h2>";
  for (const ResultSummary::Text& text : s.texts) {
    page += "<details><summary>" + Cell(text.member) + " <span class=\"muted\">(" +
            std::to_string(text.lines + text.moreLines) + " lines)</span></summary><pre class=\"text\">" +
            text.html + "</pre>" + More(text.moreLines, "lines") + "</details>";
  }
  page += More(s.textsMore, "text files") + "</section>\n";
}

void ActivityLog(std::string& page, const ResultSummary& s) {
  if (s.logRows.empty()) return;
  page += "<section><h2>Activity log</h2><div class=\"filters\">Show: ";
  for (const char* severity : {"CRITICAL", "ERROR", "WARNING", "INFORMATION", "DEBUG"}) {
    page += "<label><input type=\"checkbox\" value=\"" + std::string(severity) + "\" checked> " +
            severity + "</label>";
  }
  page += "</div><table id=\"log\"><thead><tr><th>Time</th><th>Type</th><th>Description</th>"
          "</tr></thead><tbody>" +
          Rows(s.logRows) + "</tbody></table>" + More(s.logRows.more(), "entries") + "</section>\n";
}

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

std::string RenderReportHtml(const ResultSummary& summary, const std::string& title) {
  std::string page;
  // The policy forbids every load from outside, should anything slip through.
  page += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
          "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
          "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">"
          "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"><title>" +
          Cell("Brindle result: " + title) + "</title><style>" + kStyle +
          "</style></head><body>\n";
  Header(page, summary, title);
  page += "<main>";
  Problems(page, summary);
  Collected(page, summary);
  EventLogs(page, summary);
  Processes(page, summary);
  Versions(page, summary);
  Texts(page, summary);
  ActivityLog(page, summary);
  page += "</main><script>" + std::string(kScript) + "</script></body></html>\n";
  return page;
}

}  // namespace tovkit
