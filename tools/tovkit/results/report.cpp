#include "report.h"

#include <cstdio>
#include <memory>

#include "decrypt.h"
#include "input_file.h"
#include "result_report.h"
#include "sys/file_system.h"

namespace tovkit {

namespace {

const char kReportHelp[] =
    "usage: tovkit report RESULT.tgz [-o REPORT.html] [--key KEY.pem]\n"
    "\n"
    "Reads a result file once, without unpacking it, and writes one HTML page\n"
    "that needs nothing else to open: the case and its scripts, the problems\n"
    "first (every error and warning of the activity log, the manifest check of\n"
    "'tovkit inspect'), what was collected, the process list and file versions,\n"
    "and the whole activity log. Without -o the page goes beside the result, as\n"
    "RESULT.html. An encrypted result (RESULT.tgz.p7m) is read with --key, the\n"
    "recipient's key.\n"
    "\n"
    "Exit status as tovkit inspect's, once the page is written: 0 clean, 4\n"
    "intact but collected with errors or no script ran, 1 not intact (or the\n"
    "page cannot be written), 2 for a usage error or a result that cannot be\n"
    "read.\n";

std::string DefaultOutput(const std::string& result) {
  const size_t slash = result.find_last_of("/\\");
  const size_t dot = result.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? result.substr(0, dot) : result) + ".html";
}

}  // namespace

int Report(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string result, output, keyPath;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      out << kReportHelp;
      return 0;
    }
    if (args[i] == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else if (args[i] == "--key" && i + 1 < args.size()) {
      keyPath = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      err << kReportHelp;
      return 2;
    } else if (result.empty()) {
      result = args[i];
    } else {
      err << kReportHelp;
      return 2;
    }
  }
  if (result.empty()) {
    err << kReportHelp;
    return 2;
  }
  if (output.empty()) output = DefaultOutput(result);
  if (IsOneOfInputs(output, {result})) {
    err << "tovkit report: the page would overwrite its input " << result << "\n";
    return 2;
  }
  std::string error;
  OpenedFile file = OpenResult(result, keyPath, &error);
  if (!file) {
    err << "tovkit report: " << result << ": " << error << "\n";
    return 2;
  }
  const ResultSummary summary = ReadResultSummary(FileSource(file.get()));
  const size_t slash = result.find_last_of("/\\");
  const std::string title = slash == std::string::npos ? result : result.substr(slash + 1);
  std::string why;
  if (!WriteOutputFile(output, RenderReportHtml(summary, title), true, &why)) {
    err << "tovkit report: " << output << ": " << why << "\n";
    return 1;
  }
  out << output << ": " << Printable(summary.verdict.headline) << "\n";
  return ExitCodeOf(summary.verdict.kind);
}

}  // namespace tovkit
