#include "app/output_path.h"

#include "run/run_settings.h"
#include "run/text.h"

namespace {
const char kExtension[] = ".tgz";

// The system takes these for devices whatever follows the first dot.
bool IsDeviceName(const std::string& base) {
  for (const char* device : {"con", "prn", "aux", "nul"}) {
    if (EqualsNoCase(base, device)) return true;
  }
  const std::string family = base.substr(0, 3);
  return base.size() == 4 && (EqualsNoCase(family, "com") || EqualsNoCase(family, "lpt")) &&
         base[3] >= '1' && base[3] <= '9';
}
}  // namespace

std::string CaseIdFileName(const std::string& caseId) {
  std::string name = caseId;
  if (name.compare(0, 2, "..") == 0) name.replace(0, 2, "_");
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || std::string("\\/:*?\"<>|").find(c) != std::string::npos) c = '_';
  }
  return IsDeviceName(name.substr(0, name.find('.'))) ? "_" + name : name;
}

std::string NumberedResultPath(const std::string& path, int n) {
  const size_t nameAt = path.rfind('\\') == std::string::npos ? 0 : path.rfind('\\') + 1;
  const size_t extension = LowerAscii(path.substr(nameAt)).rfind(kExtension);
  const size_t at = extension == std::string::npos ? path.size() : nameAt + extension;
  return path.substr(0, at) + " (" + std::to_string(n) + ")" + path.substr(at);
}

std::string OutputPathFromOutFile(const std::string& outFile, bool caseIdGiven,
                                  const std::string& rawCaseId) {
  const std::string caseId = CaseIdFileName(rawCaseId);
  std::string path = outFile;
  if (!path.empty() && path.back() == '\\') {
    return path + (caseIdGiven ? caseId + kExtension : std::string("Results.tgz"));
  }
  if (caseIdGiven) {
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos) {
      path = caseId + " " + path;
    } else {
      path.insert(slash + 1, caseId + " ");
    }
  }
  if (path.find(kExtension) == std::string::npos) path += kExtension;
  return path;
}

bool ExtensionDiffersFromTgz(const std::string& path) {
  const std::string name = NameOf(path);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 == name.size()) return false;
  return !EqualsNoCase(name.substr(dot + 1), "tgz");
}

std::string SaveAsResultPath(const std::string& chosen) {
  if (chosen.empty()) return chosen;
  return ExtensionDiffersFromTgz(chosen) ? chosen + kExtension : chosen;
}

std::string FileDialogFilter(const std::string& text) {
  std::string filter = text;
  for (char& c : filter) {
    if (c == '|') c = '\0';
  }
  // A filter list must end in two NULs; a text without its closing "||"
  // would otherwise run on into whatever memory follows.
  while (filter.size() < 2 || filter[filter.size() - 1] != '\0' ||
         filter[filter.size() - 2] != '\0') {
    filter.push_back('\0');
  }
  return filter;
}

std::string ChooseOutputPath(RunSettings& settings, const std::string& exeFolder,
                             const AskPathFn& askUser) {
  if (settings.outFile.empty()) {
    if (settings.caseIdGiven)
      return exeFolder + "\\" + CaseIdFileName(settings.caseId) + kExtension;
    // A silent run never waits for a person: it has no result path then.
    if (settings.silent) return std::string();
    return SaveAsResultPath(askUser());
  }
  settings.outFile = OutputPathFromOutFile(settings.outFile, settings.caseIdGiven, settings.caseId);
  return settings.outFile;
}
