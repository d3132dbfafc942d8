#include "fleet_inspect.h"

#include "decrypt.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "input_file.h"

namespace tovkit {

namespace {

const char kActivityLog[] = "Activity Log.csv";
const char kCaseLine[] = "TOV TOOL CASE ID = ";
const char kScriptFound[] = "XML file found: ";
// Long enough for any case id and severity worth showing.
constexpr size_t kMaxLineKept = 4096;

bool StartsWith(const std::string& text, const char* head) {
  return text.compare(0, std::char_traits<char>::length(head), head) == 0;
}

// Length of the well-formed UTF-8 sequence at `at`, 0 if there is none
// (overlong forms and surrogates included).
size_t Utf8Sequence(const std::string& text, size_t at) {
  const unsigned char c = static_cast<unsigned char>(text[at]);
  if (c < 0x80) return 1;
  size_t length = 0;
  uint32_t code = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, code = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    length = 3, code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, code = c & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return 0;
  if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return 0;
  return length;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = Utf8Sequence(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out + "\"";
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

void ActivityLogTally::Begin(const std::string& name, uint64_t) {
  Finish();
  active_ = name == kActivityLog;
  if (!active_) return;
  // A second log in one archive (itself a finding) replaces the first.
  line_->hasCase = false;
  line_->caseId.clear();
  line_->scripts = line_->errors = line_->warnings = 0;
  lines_ = 0;
}

void ActivityLogTally::Data(const unsigned char* data, size_t size) {
  if (!active_) return;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      Line();
    } else if (pending_.size() < kMaxLineKept) {
      pending_ += static_cast<char>(data[i]);
    }
  }
}

void ActivityLogTally::Finish() {
  if (active_ && !pending_.empty()) Line();
  pending_.clear();
}

void ActivityLogTally::Line() {
  std::string line;
  line.swap(pending_);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (lines_++ == 0 && StartsWith(line, kCaseLine)) {
    line_->hasCase = true;
    line_->caseId = line.substr(std::char_traits<char>::length(kCaseLine));
    return;
  }
  // "time,severity,message"; a message may hold commas of its own.
  const size_t first = line.find(',');
  const size_t second = first == std::string::npos ? first : line.find(',', first + 1);
  if (second == std::string::npos) return;
  const std::string severity = line.substr(first + 1, second - first - 1);
  if (severity == "ERROR" || severity == "CRITICAL ERROR") ++line_->errors;
  if (severity == "WARNING") ++line_->warnings;
  if (line.compare(second + 1, std::char_traits<char>::length(kScriptFound), kScriptFound) == 0) {
    ++line_->scripts;
  }
}

std::string FirstReason(const InspectReport& report) {
  if (!report.readable) return "damaged archive (" + report.error + ")";
  if (!report.manifestFound) return "no FileList.csv";
  if (!report.signatureValid) return "FileList.csv signature invalid";
  if (!report.notPacked.empty()) return "not packed: " + report.notPacked.front();
  if (!report.missing.empty()) return "missing: " + report.missing.front();
  if (!report.changed.empty()) return "changed: " + report.changed.front();
  if (!report.extra.empty()) return "extra: " + report.extra.front();
  if (!report.problems.empty()) return report.problems.front();
  return std::string();
}

ResultLine InspectOne(const std::string& file, const ByteSource& source) {
  ResultLine line;
  line.file = file;
  ActivityLogTally tally(&line);
  const InspectReport report = InspectResult(source, &tally);
  tally.Finish();
  line.clean = report.clean();
  line.reason = FirstReason(report);
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
        lines[i].reason = error;
      } else {
        lines[i] = InspectOne(files[i], FileSource(file.get()));
        std::error_code error;
        const uintmax_t size = std::filesystem::file_size(files[i], error);
        if (!error) lines[i].size = size;
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
  std::string text = Printable(line.file) +
                     "  case=" + (line.hasCase ? Printable(line.caseId) : std::string("-")) +
                     "  size=" + std::to_string(line.size) +
                     "  scripts=" + std::to_string(line.scripts) +
                     "  errors=" + std::to_string(line.errors) +
                     "  warnings=" + std::to_string(line.warnings) + "  ";
  // As the collector's exit code 4 says it: the result is whole, but
  // something asked for is not in it.
  if (line.clean) return text + (line.errors > 0 ? "clean, collected with errors" : "clean");
  return text + "NOT CLEAN: " + Printable(line.reason);
}

std::string SummaryJson(const std::vector<ResultLine>& lines) {
  std::string json = "[";
  for (size_t i = 0; i < lines.size(); ++i) {
    const ResultLine& line = lines[i];
    json += i == 0 ? "\n  " : ",\n  ";
    json += "{\"file\": " + JsonString(line.file) +
            ", \"case\": " + (line.hasCase ? JsonString(line.caseId) : std::string("null")) +
            ", \"size\": " + std::to_string(line.size) +
            ", \"scripts\": " + std::to_string(line.scripts) +
            ", \"errors\": " + std::to_string(line.errors) +
            ", \"warnings\": " + std::to_string(line.warnings) +
            ", \"clean\": " + (line.clean ? "true" : "false") +
            ", \"verdict\": " + (line.clean ? "\"clean\"" : "\"NOT CLEAN\"") +
            ", \"reason\": " + JsonString(line.reason) + "}";
  }
  return json + (lines.empty() ? "]\n" : "\n]\n");
}

}  // namespace tovkit
