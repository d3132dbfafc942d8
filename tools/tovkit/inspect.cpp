#include "inspect.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "decrypt.h"
#include "fleet_inspect.h"
#include "input_file.h"
#include "result_inspector.h"

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
    "log and its verdict; --json gives the same as a JSON array.\n"
    "Encrypted results (*.tgz.p7m) are read with --key, the recipient's key.\n"
    "Exit status 0 only when every result is clean, 1 otherwise, 2 for a usage\n"
    "error or an unreadable file or folder.\n";

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
  const size_t clean =
      std::count_if(lines.begin(), lines.end(), [](const ResultLine& l) { return l.clean; });
  if (json) {
    out << SummaryJson(lines);
  } else {
    for (const ResultLine& line : lines) out << SummaryText(line) << "\n";
    const size_t withErrors = std::count_if(
        lines.begin(), lines.end(), [](const ResultLine& l) { return l.clean && l.errors > 0; });
    out << lines.size() << " results: " << clean << " clean";
    if (withErrors > 0) out << " (" << withErrors << " collected with errors)";
    out << ", " << lines.size() - clean << " NOT CLEAN\n";
  }
  return clean == lines.size() ? 0 : 1;
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
    if (arg == "--help" || arg == "-h" || (arg.size() > 1 && arg[0] == '-' && arg != "--json")) {
      err << kUsage;
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
    err << "tovkit inspect: "
        << (why == "cannot open" ? "cannot open " + paths[0] : paths[0] + ": " + why) << "\n";
    return 2;
  }
  const InspectReport report = InspectResult(FileSource(file.get()));
  List(out, "not packed", report.notPacked, report.notPackedCount);
  List(out, "missing", report.missing, report.missingCount);
  List(out, "changed", report.changed, report.changedCount);
  List(out, "extra", report.extra, report.extraCount);
  List(out, "problem", report.problems, report.problemCount);
  out << paths[0] << ": " << InspectVerdict(report) << "\n";
  return report.clean() ? 0 : 1;
}

}  // namespace tovkit
