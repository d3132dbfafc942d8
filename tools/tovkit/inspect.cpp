#include "inspect.h"

#include <cstdio>
#include <memory>

#include "result_inspector.h"

namespace tovkit {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

void List(std::ostream& out, const char* label, const std::vector<std::string>& items,
          size_t count) {
  for (const std::string& item : items) out << label << ": " << item << "\n";
  if (count > items.size()) out << label << ": ... and " << count - items.size() << " more\n";
}

}  // namespace

int Inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1 || args[0] == "--help" || args[0] == "-h") {
    err << "usage: tovkit inspect RESULT.tgz\n"
           "Checks a result file without unpacking it: the FileList.csv signature, every\n"
           "listed file's CRC-32, missing and extra files. Exit status 0 only when clean.\n";
    return 2;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(args[0].c_str(), "rb"));
  if (!file) {
    err << "tovkit inspect: cannot open " << args[0] << "\n";
    return 2;
  }
  const InspectReport report = InspectResult([&](unsigned char* buffer, size_t size) -> long {
    const size_t got = std::fread(buffer, 1, size, file.get());
    if (got == 0 && std::ferror(file.get())) return -1;
    return static_cast<long>(got);
  });
  List(out, "missing", report.missing, report.missingCount);
  List(out, "changed", report.changed, report.changedCount);
  List(out, "extra", report.extra, report.extraCount);
  List(out, "problem", report.problems, report.problemCount);
  out << args[0] << ": " << InspectVerdict(report) << "\n";
  return report.clean() ? 0 : 1;
}

}  // namespace tovkit
