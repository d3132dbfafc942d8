#include "collect/file_collector.h"

#include <climits>
#include <cstring>

#include "expr/path_resolver.h"
#include "run/file_names.h"
#include "run/text.h"

const char kFileVersionListHeader[] =
    "File,Size,Created,Modified,Accessed,Attributes,File Version,Product Version,"
    "File Description,Product Name,Comments,Private Build,Special Build";

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void TrimTrailingSpace(std::string* text) {
  size_t end = text->size();
  while (end > 0 && std::strchr(" \t\r\n\v\f", (*text)[end - 1]) != nullptr) --end;
  text->resize(end);
}

// Position of the lower-case switch, else of the upper-case one.
size_t FindSwitch(const std::string& text, const char* lower, const char* upper) {
  const size_t at = text.find(lower);
  return at != std::string::npos ? at : text.find(upper);
}

}  // namespace

FileSwitches TakeFileSwitches(std::string* spec) {
  FileSwitches switches;
  size_t at = FindSwitch(*spec, "/n", "/N");
  if (at != std::string::npos) {
    switches.includeNetworkDrives = true;
    spec->erase(at, 2);
    TrimTrailingSpace(spec);
  }
  at = FindSwitch(*spec, "/s", "/S");
  if (at != std::string::npos) {
    switches.scanSubfolders = true;
    spec->erase(at, 2);
    TrimTrailingSpace(spec);
  }
  at = FindSwitch(*spec, "/x:", "/X:");
  if (at != std::string::npos) {
    size_t end = at + 3;
    while (end < spec->size() && IsAsciiLetter((*spec)[end])) ++end;
    switches.excludedDrives = spec->substr(at + 3, end - at - 3);
    spec->erase(at, end - at);
    TrimTrailingSpace(spec);
  }
  return switches;
}

std::string ArchivePrefix(const std::string& scriptFolder, const std::string& actionName) {
  if (scriptFolder.empty() || actionName.empty()) return std::string();
  const size_t slash = scriptFolder.rfind('\\');
  std::string prefix = slash == std::string::npos ? scriptFolder : scriptFolder.substr(slash);
  return prefix + "\\" + actionName;
}

std::vector<std::string> SplitDriveStrings(const char* buffer, size_t size) {
  std::vector<std::string> entries;
  size_t pos = 0;
  while (pos < size && buffer[pos] != '\0') {
    const void* end = std::memchr(buffer + pos, '\0', size - pos);
    if (end == nullptr) break;
    const size_t length = static_cast<const char*>(end) - (buffer + pos);
    entries.emplace_back(buffer + pos, length);
    pos += length + 1;
  }
  return entries;
}

std::string DriveText(const std::string& entry) {
  std::string text = entry;
  while (!text.empty() && text.back() == '\\') text.pop_back();
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

bool DriveTypeSearched(uint32_t type, bool includeNetworkDrives) {
  return type == DriveFixed || (includeNetworkDrives && type == DriveRemote);
}

std::string FoundEntryPath(const std::string& folder, const std::string& mask,
                           const std::string& name) {
  const size_t slash = mask.rfind('\\');
  if (slash == std::string::npos) return folder + "\\" + name;
  return folder + "\\" + mask.substr(0, slash) + "\\" + name;
}

bool SplitSourcePath(const std::string& path, std::string* drive, std::string* rest,
                     std::string* name) {
  const size_t at = path.find(":\\");
  if (at == std::string::npos) return false;
  *drive = path.substr(0, at);
  *rest = path.substr(at + 2);
  *name = NameOf(path);
  return true;
}

bool MirroredDestinationFits(size_t mirroredLength, size_t nameLength, size_t rootLength) {
  const size_t total = mirroredLength + 1 + nameLength;
  // Compared as "total - root <= 99" without letting the difference wrap.
  return total <= rootLength + 99 && total <= 256;
}

std::string NumberedName(const std::string& fileName, int number) {
  const size_t dot = fileName.rfind('.');
  if (dot != std::string::npos && dot > 0) {
    return Format("%s(%i)%s", fileName.substr(0, dot).c_str(), number,
                  fileName.substr(dot).c_str());
  }
  return Format("%s(%i)", fileName.c_str(), number);
}

bool ChooseCopyTarget(const std::string& outputPath, const std::string& workingRoot,
                      const std::string& archivePrefix, const std::string& foundPath,
                      const PathExists& exists, CopyTarget* target) {
  // With ".." left in, the mirrored path would climb out of the action's folder.
  const std::string source = NormalisePath(foundPath);
  std::string drive, rest, name;
  if (source.empty() || outputPath.empty() || !SplitSourcePath(source, &drive, &rest, &name) ||
      name.empty()) {
    return false;
  }
  const std::string mirrored = outputPath + "\\" + drive + "\\" + rest;
  std::string archiveName;
  if (MirroredDestinationFits(mirrored.size(), name.size(), workingRoot.size()) &&
      !exists(mirrored)) {
    target->mirrored = true;
    target->destination = mirrored;
    archiveName = archivePrefix.empty() ? mirrored : archivePrefix + "\\" + drive + "\\" + rest;
  } else {
    std::string flatName = name;
    std::string flat = outputPath + "\\" + flatName;
    // Each taken name is a file that exists, so the count ends once past
    // the number of files in the folder.
    for (int number = 1; exists(flat) && number < INT_MAX; ++number) {
      flatName = NumberedName(name, number);
      flat = outputPath + "\\" + flatName;
    }
    target->mirrored = false;
    target->destination = flat;
    archiveName = archivePrefix.empty() ? flat : archivePrefix + "\\" + flatName;
  }
  const size_t first = archiveName.find_first_not_of('\\');
  target->archiveName = first == std::string::npos ? std::string() : archiveName.substr(first);
  return true;
}

bool FolderPathPrefixes(const std::string& path, std::vector<std::string>* prefixes) {
  prefixes->clear();
  size_t start = path.find(':');
  if (start == std::string::npos) start = path.find('$');
  if (start == std::string::npos) return false;
  for (size_t at = path.find('\\', start); at != std::string::npos; at = path.find('\\', at + 1)) {
    prefixes->push_back(path.substr(0, at));
  }
  prefixes->push_back(path);
  return true;
}

FileCollector::FileCollector(std::string outputPath, const RunContext& context,
                             std::string specification, std::string workingRoot,
                             const std::string& scriptFolder, const std::string& actionName)
    : context_(context),
      outputPath_(std::move(outputPath)),
      specification_(std::move(specification)),
      workingRoot_(std::move(workingRoot)) {
  const FileSwitches switches = TakeFileSwitches(&specification_);
  includeNetworkDrives_ = switches.includeNetworkDrives;
  scanSubfolders_ = switches.scanSubfolders;
  excludedDrives_ = switches.excludedDrives;

  if (context_.resolver != nullptr) {
    resolved_ = context_.resolver->Resolve(&specification_);
  } else {
    // Outside a run (tools, tests) a resolver of our own does the same job.
    PathResolver own(SystemPathLookups());
    own.SetActivityLog(context_.activityLog);
    resolved_ = own.Resolve(&specification_);
  }
  specification_ = NormalisePath(specification_);
  scanAllDrives_ = specification_.find(':') == std::string::npos;

  if (scanSubfolders_) context_.Log(SeverityDebug, "Scan Subdirectories");
  if (scanAllDrives_) {
    if (!excludedDrives_.empty()) {
      context_.Log(SeverityDebug, Format("Scan All Drives except %s", excludedDrives_.c_str()));
    } else {
      context_.Log(SeverityDebug, "Scan All Drives");
    }
  }
  archivePrefix_ = ArchivePrefix(scriptFolder, actionName);
}
