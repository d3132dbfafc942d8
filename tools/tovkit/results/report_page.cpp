#include <algorithm>
#include <cstdio>

#include "result_report.h"

namespace tovkit {

namespace {

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

std::vector<std::pair<std::string, size_t>> MostFirst(const BoundedCounts& counts) {
  std::vector<std::pair<std::string, size_t>> sorted(counts.counts.begin(), counts.counts.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  return sorted;
}

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
  for (const std::string& item : items)
    page += "<li>" + Cell(item.empty() ? "(empty)" : item) + "</li>";
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
    page +=
        "<p>FileList.csv signature: " + std::string(r.signatureValid ? "valid" : "<b>INVALID</b>") +
        "; " + std::to_string(r.listed) + " files listed, " + std::to_string(r.files) +
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
    NameList(page, "Cells a spreadsheet would run as a formula (the files are as collected)", cells,
             s.formulaCount);
  }
  const size_t count = s.log.errors + s.log.warnings;
  page += "<h3>Errors and warnings of the activity log (" + std::to_string(count) + ")</h3>";
  if (!s.problemRows.empty()) {
    page +=
        "<table><thead><tr><th>Time</th><th>Type</th><th>Script and action</th>"
        "<th>Description</th></tr></thead><tbody>" +
        Rows(s.problemRows) + "</tbody></table>" +
        More(s.problemRows.more(), "errors and warnings");
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
  const size_t left =
      (sorted.size() > most ? sorted.size() - most : 0) + (counts.other > 0 ? 1 : 0);
  page += More(left, "names");
}

void Processes(std::string& page, const ResultSummary& s) {
  if (s.processes.counts.empty()) return;
  page += "<section id=\"processes\"><h2>Process list (" +
          std::to_string(s.processes.counts.size()) + " names)</h2>";
  CountRows(page, "Process", s.processes, kReportMaxNames);
  page += "</section>\n";
}

void Versions(std::string& page, const ResultSummary& s) {
  if (s.versionRows.empty()) return;
  page +=
      "<section id=\"versions\"><h2>File versions</h2><div style=\"overflow-x:auto\"><table "
      "class=\"sortable\"><thead><tr>" +
      s.versionHeader + "</tr></thead><tbody>" + Rows(s.versionRows) + "</tbody></table></div>" +
      More(s.versionRows.more(), "rows") + "</section>\n";
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
    page +=
        "<table><thead><tr><th>Date</th><th>Time</th><th>Source</th><th>Event</th>"
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
            std::to_string(text.lines + text.moreLines) +
            " lines)</span></summary><pre class=\"text\">" + text.html + "</pre>" +
            More(text.moreLines, "lines") + "</details>";
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
  page +=
      "</div><table id=\"log\"><thead><tr><th>Time</th><th>Type</th><th>Description</th>"
      "</tr></thead><tbody>" +
      Rows(s.logRows) + "</tbody></table>" + More(s.logRows.more(), "entries") + "</section>\n";
}

}  // namespace

std::string RenderReportHtml(const ResultSummary& summary, const std::string& title) {
  std::string page;
  // The policy forbids every load from outside, should anything slip through.
  page +=
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">"
      "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\"><title>" +
      Cell("Brindle result: " + title) + "</title><style>" + kStyle + "</style></head><body>\n";
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
