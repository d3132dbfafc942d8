#include "fleet_inspect.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "decrypt.h"
#include "untrusted_text.h"

namespace tovkit {

namespace {

std::string JsonOrNull(const std::string& text) {
  return text.empty() ? std::string("null") : JsonString(text);
}

std::string Known(const std::string& text) { return text.empty() ? "-" : Printable(text); }

}  // namespace

ResultLine InspectOne(const std::string& file, const ByteSource& source) {
  ResultLine line;
  line.file = file;
  ActivityLogReader reader(&line.log);
  reader.onEntry = [&line](const LogEntry& entry) {
    const bool problem = entry.severity == "ERROR" || entry.severity == "CRITICAL ERROR" ||
                         entry.severity == "WARNING";
    if (problem && line.problems.size() < kMaxProblemsKept) line.problems.push_back(entry);
  };
  FormulaCellScanner formulas;
  MemberFanOut both({&reader, &formulas});
  line.report = InspectResult(source, &both);
  reader.Finish();
  formulas.Finish();
  line.formulas = formulas.cells();
  line.formulaCount = formulas.count();
  line.verdict = JudgeResult(line.report, line.log);
  return line;
}

std::vector<ResultLine> InspectFiles(const std::vector<std::string>& files, unsigned threads,
                                     const std::function<void(size_t done)>& done,
                                     const std::string& keyPath) {
  std::vector<ResultLine> lines(files.size());
  std::atomic<size_t> next{0};
  std::mutex doneMutex;
  size_t finished = 0;
  const auto work = [&] {
    for (size_t i = next++; i < files.size(); i = next++) {
      std::string error;
      OpenedFile file = OpenResult(files[i], keyPath, &error);
      if (!file) {
        lines[i].file = files[i];
        lines[i].verdict.reason = error;
        lines[i].verdict.headline = "NOT INTACT: " + error;
      } else {
        lines[i] = InspectOne(files[i], FileSource(file.get()));
        std::error_code sizeError;
        const uintmax_t size = std::filesystem::file_size(files[i], sizeError);
        if (!sizeError) lines[i].size = size;
      }
      std::lock_guard<std::mutex> lock(doneMutex);
      ++finished;
      if (done) done(finished);
    }
  };
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<size_t>(threads, files.size()));
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& thread : pool) thread.join();
  return lines;
}

std::string SummaryText(const ResultLine& line) {
  const LogSummary& log = line.log;
  const RunFacts& facts = log.facts;
  std::string text = Printable(line.file) + "  case=" + (log.hasCase ? Known(log.caseId) : "-") +
                     "  host=" + Known(facts.computer) + "  windows=" + Known(facts.windows) +
                     "  tool=" + Known(facts.toolVersion) + "  size=" + std::to_string(line.size) +
                     "  scripts=" + std::to_string(log.scripts) +
                     "  errors=" + std::to_string(log.errors) +
                     "  warnings=" + std::to_string(log.warnings) + "  ";
  if (line.formulaCount > 0) text += "formulas=" + std::to_string(line.formulaCount) + "  ";
  if (line.verdict.kind == VerdictKind::NotIntact) {
    return text + "NOT INTACT: " + Printable(line.verdict.reason);
  }
  return text + Printable(line.verdict.headline.substr(0, line.verdict.headline.find(':')));
}

std::string SummaryJson(const std::vector<ResultLine>& lines) {
  std::string json = "[";
  for (size_t i = 0; i < lines.size(); ++i) {
    const ResultLine& line = lines[i];
    const LogSummary& log = line.log;
    json += i == 0 ? "\n  " : ",\n  ";
    json += "{\"file\": " + JsonString(line.file) +
            ", \"case\": " + (log.hasCase ? JsonString(log.caseId) : std::string("null")) +
            ", \"host\": " + JsonOrNull(log.facts.computer) +
            ", \"windows\": " + JsonOrNull(log.facts.windows) +
            ", \"tool\": " + JsonOrNull(log.facts.toolVersion) +
            ", \"size\": " + std::to_string(line.size) +
            ", \"scripts\": " + std::to_string(log.scripts) +
            ", \"refused\": " + std::to_string(log.refused) +
            ", \"errors\": " + std::to_string(log.errors) +
            ", \"warnings\": " + std::to_string(log.warnings) +
            ", \"clean\": " + (line.verdict.kind == VerdictKind::Clean ? "true" : "false") +
            ", \"verdict\": " + JsonString(VerdictWord(line.verdict.kind)) +
            ", \"headline\": " + JsonString(line.verdict.headline) +
            ", \"reason\": " + JsonString(line.verdict.reason) +
            ", \"formula_cells\": " + std::to_string(line.formulaCount) + ", \"formulas\": [";
    for (size_t f = 0; f < line.formulas.size(); ++f) {
      const FormulaCell& cell = line.formulas[f];
      json += std::string(f == 0 ? "" : ", ") + "{\"file\": " + JsonString(cell.file) +
              ", \"row\": " + std::to_string(cell.row) +
              ", \"column\": " + std::to_string(cell.column) +
              ", \"cell\": " + JsonString(cell.excerpt) + "}";
    }
    json += "], \"problems\": [";
    for (size_t p = 0; p < line.problems.size(); ++p) {
      const LogEntry& e = line.problems[p];
      json += std::string(p == 0 ? "" : ", ") + "{\"severity\": " + JsonString(e.severity) +
              ", \"script\": " + JsonOrNull(e.script) + ", \"action\": " + JsonOrNull(e.action) +
              ", \"message\": " + JsonString(Utf8OfResultText(e.message)) +
              ", \"explained\": " + JsonOrNull(ExplainErrorCode(e.message)) + "}";
    }
    json += "]}";
  }
  return json + (lines.empty() ? "]\n" : "\n]\n");
}

}  // namespace tovkit
