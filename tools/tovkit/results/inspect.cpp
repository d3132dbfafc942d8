#include "inspect.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "decrypt.h"
#include "fleet_inspect.h"
#include "input_file.h"
#include "result_inspector.h"
#include "untrusted_text.h"

namespace tovkit {

namespace {

void List(std::ostream& out, const char* label, const std::vector<std::string>& items,
          size_t count) {
  for (const std::string& item : items) out << label << ": " << Printable(item) << "\n";
  if (count > items.size()) out << label << ": ... and " << count - items.size() << " more\n";
}

const char kUsage[] =
    "usage: tovkit inspect [--json] [--key KEY.pem] RESULT.tgz|FOLDER...\n"
    "Checks result files without unpacking them: the FileList.csv signature, every\n"
    "listed file's CRC-32, missing and extra files. One file: every finding. Several\n"
    "files or a folder (every *.tgz in it), checked on all cores: one line per\n"
    "result with its case, size, scripts run, errors and warnings in its activity\n"
    "log and its verdict; --json gives the same as a JSON array, with the log's\n"
    "errors and warnings, each with its script and action.\n"
    "Encrypted results (*.tgz.p7m) are read with --key, the recipient's key.\n"
    "\n"
    "clean: intact and complete, no ERROR in the activity log. Exit status 0\n"
    "when every result is clean, 4 when each is intact but one was collected\n"
    "with errors or ran no script, 1 when one is not intact (damaged, changed,\n"
    "missing or extra files, files not packed), 2 for a usage error or an\n"
    "unreadable file or folder.\n";

bool IsTgz(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return extension == ".tgz" || extension == ".p7m";
}

// Files as given, folders as their *.tgz files sorted by name. False, with
// the message written, for a folder that cannot be listed.
bool ExpandArguments(const std::vector<std::string>& args, std::vector<std::string>* files,
                     std::ostream& err) {
  for (const std::string& arg : args) {
    std::error_code error;
    if (!std::filesystem::is_directory(arg, error)) {
      files->push_back(arg);
      continue;
    }
    std::vector<std::string> found;
    for (std::filesystem::directory_iterator it(arg, error), end; !error && it != end;
         it.increment(error)) {
      std::error_code kindError;
      if (IsTgz(it->path()) && it->is_regular_file(kindError)) found.push_back(it->path().string());
    }
    if (error) {
      err << "tovkit inspect: cannot list " << arg << ": " << error.message() << "\n";
      return false;
    }
    std::sort(found.begin(), found.end());
    files->insert(files->end(), found.begin(), found.end());
  }
  return true;
}

int InspectMany(const std::vector<std::string>& args, bool json, const std::string& keyPath,
                std::ostream& out, std::ostream& err, bool progress) {
  std::vector<std::string> files;
  if (!ExpandArguments(args, &files, err)) return 2;
  if (files.empty()) {
    err << "tovkit inspect: no .tgz files found\n";
    return 2;
  }
  const std::string total = "/" + std::to_string(files.size());
  const std::vector<ResultLine> lines = InspectFiles(
      files, 0,
      [&](size_t done) {
        if (progress) err << "\r" << done << total << std::flush;
      },
      keyPath);
  if (progress) err << "\r" << std::string(2 * total.size() + 1, ' ') << "\r" << std::flush;
  size_t count[4] = {0, 0, 0, 0};
  int status = 0;
  for (const ResultLine& line : lines) {
    ++count[static_cast<int>(line.verdict.kind)];
    const int code = ExitCodeOf(line.verdict.kind);
    if (code == 1 || status == 0) status = code;
  }
  if (json) {
    out << SummaryJson(lines);
  } else {
    for (const ResultLine& line : lines) out << SummaryText(line) << "\n";
    out << lines.size() << " results: " << count[0] << " clean, " << count[1] + count[2]
        << " intact with errors, " << count[3] << " NOT INTACT\n";
  }
  return status;
}

}  // namespace

int Inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progress) {
  std::vector<std::string> paths;
  bool json = false;
  std::string keyPath;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--key" && i + 1 < args.size()) {
      keyPath = args[++i];
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      out << kUsage;
      return 0;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg != "--json") {
      err << "tovkit inspect: unknown option '" << arg << "'\n" << kUsage;
      return 2;
    }
    if (arg == "--json") {
      json = true;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    err << kUsage;
    return 2;
  }
  std::error_code error;
  if (json || paths.size() > 1 || std::filesystem::is_directory(paths[0], error)) {
    return InspectMany(paths, json, keyPath, out, err, progress);
  }
  std::string why;
  OpenedFile file = OpenResult(paths[0], keyPath, &why);
  if (!file) {
    err << "tovkit inspect: " << Printable(paths[0]) << ": " << why << "\n";
    return 2;
  }
  const ResultLine line = InspectOne(paths[0], FileSource(file.get()));
  const InspectReport& report = line.report;
  out << Printable(paths[0]) << ": " << Printable(FactsText(line.log.facts)) << "\n";
  List(out, "not packed", report.notPacked, report.notPackedCount);
  List(out, "missing", report.missing, report.missingCount);
  List(out, "changed", report.changed, report.changedCount);
  List(out, "extra", report.extra, report.extraCount);
  List(out, "problem", report.problems, report.problemCount);
  std::vector<std::string> formulas;
  for (const FormulaCell& cell : line.formulas) formulas.push_back(FormulaCellText(cell));
  List(out, "warning: a spreadsheet would run this as a formula", formulas, line.formulaCount);
  out << Printable(paths[0]) << ": " << Printable(line.verdict.headline) << "\n";
  return ExitCodeOf(line.verdict.kind);
}

}  // namespace tovkit
