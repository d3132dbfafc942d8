#include "pack/scrub_pass.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "pack/file_manifest.h"
#include "pack/manifest_format.h"
#include "run/file_names.h"
#include "run/run_settings.h"
#include "run/text.h"
#include "sys/file_system.h"
#include "sys/folder_walk.h"
#include "sys/links.h"

bool MatchesNamePattern(const std::string& pattern, const std::string& name) {
  // Iterative with one backtrack point: no recursion on a long pattern.
  size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  const auto same = [](char a, char b) {
    return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
  };
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++, starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1, n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

struct Outcome {
  std::string newRelative;
  uint32_t crc = 0;
  bool leftOut = false;
};

class ScrubPass {
 public:
  ScrubPass(const ScrubJob& job, std::shared_ptr<Scrubber> scrubber)
      : job_(job), shared_(std::move(scrubber)), scrubber_(*shared_) {}
  std::string Run();

 private:
  enum class Written { Done, Binary, Failed };
  Written WriteScrubbed(const std::string& from, const std::string& to, uint32_t* crc,
                        bool* changed);
  void ScrubFile(const std::string& relative);
  bool PlaceAt(const std::string& working, const std::string& relative);
  std::string FreeRelative(const std::string& wanted, const std::string& original);
  std::string WorkingName();
  std::string Full(const std::string& relative) const { return job_.folder + "\\" + relative; }
  bool RewriteFileList();
  std::string WriteMap();
  void Log(int32_t severity, const std::string& message) {
    if (job_.activityLog != nullptr) job_.activityLog->Write(severity, message);
  }

  const ScrubJob& job_;
  std::shared_ptr<Scrubber> shared_;
  Scrubber& scrubber_;
  std::map<std::string, Outcome> outcomes_;  // by the original relative path
  std::set<std::string> taken_;              // relative paths written, folded
  std::vector<MapRow> fileRows_;
  int filesChanged_ = 0;
  int working_ = 0;
};

std::string ScrubPass::WorkingName() {
  std::string path;
  do {
    path = Full("~scrub" + std::to_string(++working_) + ".tmp");
  } while (sys::PathExists(path));
  return path;
}

ScrubPass::Written ScrubPass::WriteScrubbed(const std::string& from, const std::string& to,
                                            uint32_t* crc, bool* changed) {
  std::FILE* file = sys::CreateOwnFile(to);
  if (file == nullptr) return Written::Failed;
  const uint64_t before = scrubber_.replacements();
  uLong value = crc32(0L, Z_NULL, 0);
  bool first = true, binary = false, writeFailed = false;
  FileKind kind = FileKind::Text8;
  Scrubber::Stream text(&scrubber_);
  Scrubber::Utf16Stream wide(&scrubber_);
  std::string out;
  const auto put = [&]() {
    if (!out.empty() && std::fwrite(out.data(), 1, out.size(), file) != out.size())
      writeFailed = true;
    value = crc32(value, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size()));
    out.clear();
    return !writeFailed;
  };
  const bool read = ReadPieces(from, [&](const char* data, size_t size) {
    if (first) {
      first = false;
      size_t bom = 0;
      kind = JudgeFileKind(data, size, &bom);
      if (kind == FileKind::Binary) return !(binary = true);
      out.assign(data, bom);
      data += bom, size -= bom;
    }
    if (kind == FileKind::Utf16) {
      if (!wide.Feed(data, size, &out)) return !(binary = true);
    } else {
      if (std::memchr(data, 0, size) != nullptr) return !(binary = true);
      text.Feed(data, size, &out);
    }
    return put();
  });
  if (read && !binary) {
    if (kind == FileKind::Utf16) {
      wide.Finish(&out);
    } else {
      text.Finish(&out);
    }
    put();
  }
  const bool closed = std::fclose(file) == 0;
  if (binary || !read || writeFailed || !closed) {
    sys::RemoveFile(to);
    return binary ? Written::Binary : Written::Failed;
  }
  *crc = static_cast<uint32_t>(value);
  *changed = scrubber_.replacements() != before;
  return Written::Done;
}

// A scrubbed name may meet a file of the same name ("jsmith.log" beside
// "user0001.log"): it then takes "(2)", as two outputs of one name do.
std::string ScrubPass::FreeRelative(const std::string& wanted, const std::string& original) {
  const auto taken = [&](const std::string& relative) {
    return taken_.count(LowerAscii(relative)) != 0 ||
           (!EqualsNoCase(relative, original) && sys::PathExists(Full(relative)) &&
            outcomes_.count(relative) == 0);
  };
  if (!taken(wanted)) return wanted;
  const std::string folder = FolderOf(wanted);
  return JoinPath(folder, FreeFileName(NameOf(wanted), [&](const std::string& name) {
                    return taken(JoinPath(folder, name));
                  }));
}

bool ScrubPass::PlaceAt(const std::string& working, const std::string& relative) {
  // The scrubbed name's folders, made one by one.
  for (size_t at = relative.find('\\'); at != std::string::npos; at = relative.find('\\', at + 1)) {
    sys::CreateFolder(Full(relative.substr(0, at)));
  }
  return sys::MoveIntoPlace(working, Full(relative));
}

void ScrubPass::ScrubFile(const std::string& relative) {
  const std::string full = Full(relative);
  Outcome outcome;
  outcome.newRelative = FreeRelative(scrubber_.ScrubText(relative), relative);
  const std::string working = WorkingName();
  bool changed = false;
  const Written written = WriteScrubbed(full, working, &outcome.crc, &changed);
  if (written == Written::Done) {
    if (PlaceAt(working, outcome.newRelative)) {
      if (outcome.newRelative != relative) sys::RemoveFileNotThroughLink(full);
      filesChanged_ += changed;
    } else {
      sys::RemoveFile(working);
      outcome.leftOut = true;
    }
  }
  const bool keep = written == Written::Binary &&
                    std::any_of(job_.keep.begin(), job_.keep.end(), [&](const std::string& p) {
                      return MatchesNamePattern(p, NameOf(relative));
                    });
  if (keep && FileCrc(full, &outcome.crc) &&
      (outcome.newRelative == relative || PlaceAt(full, outcome.newRelative))) {
    Log(SeverityWarning, Format("File %s holds binary data and goes into the result unscrubbed, as "
                                "the script asks",
                                relative.c_str()));
    fileRows_.push_back({"kept unscrubbed", relative, outcome.newRelative});
  } else if (written == Written::Binary) {
    Log(SeverityWarning, Format("File %s holds binary data that cannot be scrubbed and is left "
                                "out of the result",
                                relative.c_str()));
    fileRows_.push_back({"left out", relative, ""});
    outcome.leftOut = true;
  } else if (written == Written::Failed || outcome.leftOut) {
    // Never sent as it was: a file that could not be scrubbed stays out.
    Log(SeverityError,
        Format("File %s could not be scrubbed and is left out of the result", relative.c_str()));
    fileRows_.push_back({"left out", relative, ""});
    outcome.leftOut = true;
  }
  if (outcome.leftOut) {
    sys::RemoveFileNotThroughLink(full);
  } else {
    taken_.insert(LowerAscii(outcome.newRelative));
  }
  outcomes_[relative] = outcome;
}

// Rows keep their order; each names the scrubbed file with its new check
// value, and the source path is scrubbed as text. A relative path may hold
// commas, so the row's path is the one known file whose name it begins with.
bool ScrubPass::RewriteFileList() {
  const std::string& path = job_.fileList->path();
  sys::ReleaseAppendHandle(path);
  std::string text;
  if (!sys::ReadWholeFile(path, &text)) return false;
  std::string rewritten;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 2;
    std::string row = line;
    if (!line.empty() && line[0] != '<' && line.size() > 9) {
      const std::string rest = line.substr(9);
      for (size_t comma = rest.find(','); comma != std::string::npos;
           comma = rest.find(',', comma + 1)) {
        const auto found = outcomes_.find(rest.substr(0, comma));
        if (found == outcomes_.end()) continue;
        row = found->second.leftOut ? std::string()
                                    : ManifestRow(found->second.crc, found->second.newRelative,
                                                  scrubber_.ScrubText(rest.substr(comma + 1)));
        if (job_.relisted) {
          job_.relisted(found->first, found->second.leftOut ? "" : found->second.newRelative,
                        found->second.crc);
        }
        break;
      }
      if (row == line) row = scrubber_.ScrubText(line);  // no file of ours: text as any other
    }
    if (!row.empty() || line.empty()) rewritten += row + "\r\n";
  }
  const std::string working = WorkingName();
  std::FILE* file = sys::CreateOwnFile(working);
  if (file == nullptr) return false;
  const bool written = std::fwrite(rewritten.data(), 1, rewritten.size(), file) == rewritten.size();
  if (std::fclose(file) != 0 || !written || !sys::MoveIntoPlace(working, path)) {
    sys::RemoveFile(working);
    return false;
  }
  return true;
}

std::string ScrubPass::WriteMap() {
  const std::string path = job_.resultPath + ".map.csv";
  std::FILE* file = sys::CreateOwnFile(path);
  if (file == nullptr) return std::string();
  std::string text = "Kind,Original,Pseudonym\r\n";
  std::vector<MapRow> rows = scrubber_.MapRows();
  rows.insert(rows.end(), fileRows_.begin(), fileRows_.end());
  for (const MapRow& row : rows) {
    text +=
        CsvField(row.kind) + "," + CsvField(row.original) + "," + CsvField(row.pseudonym) + "\r\n";
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) {
    sys::RemoveFile(path);
    return std::string();
  }
  return path;
}

std::string ScrubPass::Run() {
  std::vector<std::string> files;
  std::vector<std::string> folders;
  sys::TreeVisitor visitor;
  visitor.file = [&](const std::string&, const std::string& relative) {
    if (!EqualsNoCase(relative, kFileListName) && !EqualsNoCase(relative, kActivityLogName))
      files.push_back(relative);
  };
  visitor.leftFolder = [&](const std::string& path) { folders.push_back(path); };
  sys::WalkTree(job_.folder, "*.*", visitor);
  for (const std::string& relative : files) {
    if (Settings().stopRequested) break;
    ScrubFile(relative);
  }
  // Folders the scrubbed names left empty (innermost first, as walked).
  for (const std::string& folder : folders) sys::RemoveFolder(folder);

  // The log last of the files: it holds the lines written so far, the
  // WARNINGs above among them; every later line is scrubbed as written.
  const std::string logPath = Full(kActivityLogName);
  sys::ReleaseAppendHandle(logPath);
  const std::string working = WorkingName();
  Outcome log;
  log.newRelative = kActivityLogName;
  bool changed = false;
  if (WriteScrubbed(logPath, working, &log.crc, &changed) == Written::Done &&
      sys::MoveIntoPlace(working, logPath)) {
    filesChanged_ += changed;
  } else {
    // Unscrubbed, the log would give away all it holds.
    sys::RemoveFile(working);
    sys::RemoveFileNotThroughLink(logPath);
    RaiseWriteFailure();
  }
  job_.activityLog->SetRewrite(
      [scrubber = shared_](const std::string& line) { return scrubber->ScrubText(line); });
  const std::string mapPath = WriteMap();
  if (mapPath.empty()) {
    Log(SeverityError, Format("The map of pseudonyms could not be written to %s.map.csv",
                              job_.resultPath.c_str()));
  } else {
    Log(SeverityInformation, Format("Map of pseudonyms written to %s; it stays with you and is "
                                    "not part of the result",
                                    mapPath.c_str()));
  }
  Log(SeverityInformation,
      Format("Scrubbed: %llu replacements of %llu names in %d files",
             static_cast<unsigned long long>(scrubber_.replacements()),
             static_cast<unsigned long long>(scrubber_.originalsReplaced()), filesChanged_));
  if (FileCrc(logPath, &log.crc)) outcomes_[kActivityLogName] = log;
  if (!RewriteFileList()) RaiseWriteFailure();
  return mapPath;
}

}  // namespace

std::string ScrubResultFolder(const ScrubJob& job, const std::shared_ptr<Scrubber>& scrubber) {
  return ScrubPass(job, scrubber).Run();
}

void ScrubRunResult(const std::string& folder, const std::string& resultPath, LogFile* activityLog,
                    LogFile* fileList,
                    const std::function<void(const std::string& was, const std::string& now,
                                             uint32_t crc)>& relisted) {
  RunSettings& settings = Settings();
  if (!settings.scrub) return;
  int codePage = 1252;
  std::vector<PrivateName> names = MachineNames(&codePage);
  auto scrubber = std::make_shared<Scrubber>(codePage);
  for (const PrivateName& name : names)
    scrubber->AddName(name.kind, name.display, name.forms, name.sameAs);
  for (const std::string& word : settings.scrubWords) scrubber->AddName(NameKind::Word, word, {});
  ScrubJob job;
  job.folder = folder;
  job.resultPath = resultPath;
  job.activityLog = activityLog;
  job.fileList = fileList;
  job.keep = settings.scrubKeep;
  job.relisted = relisted;
  settings.scrubMap = ScrubResultFolder(job, scrubber);
}
