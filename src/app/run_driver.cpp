#include "app/run_driver.h"

#include <algorithm>
#include <set>

#include "app/command_line.h"
#include "app/output_path.h"
#include "collect/event_log_collector.h"
#include "pack/manifest_format.h"
#include "pack/result_packager.h"
#include "pack/scrub_pass.h"
#include "run/brand.h"
#include "run/key_signature.h"
#include "run/local_text.h"
#include "run/progress.h"
#include "run/run_facts.h"
#include "run/run_settings.h"
#include "run/signature.h"
#include "run/text.h"
#include "script/action_dispatcher.h"
#include "script/script_document.h"
#include "sys/file_system.h"
#include "sys/folder_walk.h"
#include "sys/links.h"

ScriptRunner::ScriptRunner(const std::string& outputName, RunSystem& system,
                           const CollectorTable& collectors)
    : system_(system), collectors_(collectors) {
  RunSettings& settings = Settings();
  outputPath = settings.outFile.empty() ? outputName : settings.outFile;
  const std::string baseFolder = FolderOf(outputPath);
  exeFolder = system_.ExecutableFolder();
  resolver_ = std::make_unique<PathResolver>(SystemPathLookups());
  resolver_->SetToolFolder(exeFolder);
  UseTempFolder((baseFolder.empty() ? exeFolder : baseFolder) + "\\~BX_TEMP");
  xmlFile = settings.xmlFile;
  outFile = settings.outFile;
}

void ScriptRunner::UseTempFolder(const std::string& folder) {
  tempFolder = folder;
  activityLog = std::make_unique<ActivityLog>(tempFolder + "\\" + kActivityLogName);
  Settings().tempFolder = tempFolder;
  resolver_->SetActivityLog(activityLog.get());
  fileList_ = std::make_unique<LogFile>(tempFolder + "\\" + kFileListName);
  manifest_ = std::make_unique<FileManifest>(fileList_.get(), tempFolder);
}

// Lines follow the folder's name: a folder swapped in mid-run (while a
// tool runs, say) must not receive them. Asked at most every 100 ms, which
// keeps its cost off the busy stretches of a run.
bool ScriptRunner::StillInOwnFolder() {
  const auto now = std::chrono::steady_clock::now();
  if (now - identityAskedAt_ < std::chrono::milliseconds(100)) return true;
  identityAskedAt_ = now;
  return sys::SameFolder(tempFolder, tempIdentity_);
}

// A link planted under a lock's name goes as a link, or the name is not used.
bool ScriptRunner::TakeLock(sys::FileLock* lock, const std::string& path) {
  if (sys::IsLink(path) && sys::RemoveFileNotThroughLink(path) == sys::RemoveOutcome::LinkLeft) {
    linksLeft_.push_back(path);
    return false;
  }
  return lock->Take(path);
}

bool ScriptRunner::ClaimResultName() {
  givenOutputPath_ = outputPath;
  constexpr int kMaxNames = 1000;
  for (int n = 1; n <= kMaxNames; ++n) {
    const std::string path = n == 1 ? givenOutputPath_ : NumberedResultPath(givenOutputPath_, n);
    if (!TakeLock(&resultLock_, path + ".lock")) continue;
    outputPath = path;
    if (!outFile.empty()) outFile = Settings().outFile = path;
    return true;
  }
  return false;
}

void ScriptRunner::ClearLeftovers() {
  // An older result of this name is gone before the run starts; a link
  // that stays is replaced, as a link, when the result moves into place.
  sys::RemoveFileNotThroughLink(outputPath);
  const std::vector<std::string> left = sys::RemoveFolderTree(tempFolder);
  linksLeft_.insert(linksLeft_.end(), left.begin(), left.end());
  // The run makes its folder new: one that keeps what could not go is set
  // aside whole, what it holds untouched.
  if (left.empty() || !sys::FolderExists(tempFolder) || sys::IsLink(tempFolder)) return;
  for (int n = 1; n < 1000; ++n) {
    const std::string aside = tempFolder + ".left." + std::to_string(n);
    if (sys::MoveAside(tempFolder, aside)) {
      for (std::string& link : linksLeft_) {
        if (link.compare(0, tempFolder.size() + 1, tempFolder + "\\") == 0) {
          link = aside + link.substr(tempFolder.size());
        }
      }
      return;
    }
  }
}

void ScriptRunner::NameLinksLeft() {
  for (const std::string& link : linksLeft_) {
    activityLog->Write(SeverityError,
                       Format("%s is a link that cannot be removed without what it points to; "
                              "it was left as it is",
                              link.c_str()));
  }
  linksLeft_.clear();
}

bool ScriptRunner::ClaimTempFolder() {
  const std::string first = tempFolder;
  constexpr int kMaxFolders = 1000;
  for (int n = 0; n < kMaxFolders; ++n) {
    const std::string folder = n == 0 ? first : first + "." + std::to_string(n);
    if (!TakeLock(&tempFolderLock_, folder + ".lock")) continue;
    if (folder != tempFolder) UseTempFolder(folder);
    return true;
  }
  return false;
}

// The run's folders are let go with the runner.
ScriptRunner::~ScriptRunner() { sys::ReleaseHeldFolders(); }

int32_t ScriptRunner::Run(int32_t pass) {
  if (pass == RunPassRun) {
    StartRun();
  } else {
    activityLog->Disable();
  }
  // Made once the log is where the pass wants it: reading the system's
  // version may already log, and before the run's folder exists that
  // line would count as a failed write.
  versionLogic = std::make_unique<VersionLogic>(activityLog.get());
  versionLogic->SetResolver(resolver_.get());
  RunScripts(pass);
  if (pass == RunPassRun) FinishRun();
  return stepTotal;
}

void ScriptRunner::StartRun() {
  const RunSettings& settings = Settings();
  activityLog->Enable();
  // Made new, private to the running user, SYSTEM and Administrators, and
  // held open for the whole run: nobody else can put anything into it, or
  // move it away and leave a link in its place. A folder or link put under
  // its name since the old one was cleared is not the run's own. The
  // identity keeps a folder swapped in by what share modes cannot stop
  // from being written to, packed or emptied.
  if (sys::CreatePrivateFolder(tempFolder)) tempIdentity_ = sys::IdentifyFolder(tempFolder);
  if (!tempIdentity_.known) {
    activityLog->Disable();
    RaiseWriteFailure();
    return;
  }
  activityLog->SetGuard([this] { return StillInOwnFolder(); });
  fileList_->SetGuard([this] { return StillInOwnFolder(); });
  if (settings.caseIdGiven) {
    activityLog->AppendLine("TOV TOOL CASE ID = " + settings.caseId + "\r\n");
  }
  activityLog->AppendLine("Time,Type,Description");
  WriteRunFacts(*activityLog, GatherRunFacts());
  for (const std::string& argument : settings.ignoredArguments) {
    activityLog->Write(SeverityError, IgnoredArgumentMessage(argument));
  }
  fileList_->AppendLine(kFileListStart);
  if (settings.caseIdGiven && CaseIdFileName(settings.caseId) != settings.caseId) {
    activityLog->Write(SeverityInformation,
                       Format("Case id %s is written as %s in the result's file name",
                              settings.caseId.c_str(), CaseIdFileName(settings.caseId).c_str()));
  }
  if (outputPath != givenOutputPath_ && !givenOutputPath_.empty()) {
    activityLog->Write(SeverityInformation, Format("Another run is writing %s; this run writes %s",
                                                   givenOutputPath_.c_str(), outputPath.c_str()));
  }
  HoldOutputFolder();
  NameLinksLeft();
}

// The result is moved into the folder the temporary folder lies in: held
// like it, so that it cannot be swapped for a link to another folder while
// the run goes on.
void ScriptRunner::HoldOutputFolder() {
  std::string folder = FolderOf(tempFolder);
  if (!folder.empty() && folder.back() == ':') folder += '\\';
  outputIdentity_ = sys::IdentifyFolder(folder);
  if (!sys::HoldFolder(folder)) {
    activityLog->Write(
        SeverityWarning,
        Format("The folder %s could not be held open during the run", folder.c_str()));
  }
}

void ScriptRunner::RunScripts(int32_t pass) {
  const std::string pattern = !xmlFile.empty() ? xmlFile : exeFolder + "\\*.tov";
  const std::vector<std::string> names = system_.FindScripts(pattern);
  if (names.empty() && !xmlFile.empty() && pass == RunPassRun) {
    // Named on the command line, so its absence is worth a word.
    activityLog->Write(SeverityError, Format("No XML file matches %s", xmlFile.c_str()));
  }
  if (names.empty() || !system_.EnterApartment()) return;
  RunContext context;
  context.activityLog = activityLog.get();
  context.resolver = resolver_.get();
  context.manifest = manifest_.get();
  context.progress = &DialogProgress();
  ActionDispatcher dispatcher(context, versionLogic.get(), exeFolder, tempFolder, scriptFolder,
                              &stepTotal, collectors_);
  const std::string patternFolder = FolderOf(pattern);
  for (const std::string& name : names) {
    // After a cancel no further script is copied, checked or walked.
    if (Settings().stopRequested) break;
    RunScript(dispatcher, JoinPath(patternFolder, name), name, pass);
  }
  // After the last script, still inside the apartment: the event logs the
  // scripts' EVENT_LOGS elements and the switches ask for.
  ActionRequest request = ActionRequest::ForRun(pass, context, scriptFolder, tempFolder, exeFolder);
  CollectEventLogs(pass, request, collectors_.eventLogs, &stepTotal);
  system_.LeaveApartment();
}

namespace {
// A branded copy runs only what its organisation signed: why a script is
// refused, or null.
const char* KeyRefusal(const std::string& text) {
  const Brand& brand = ProgramBrand();
  if (brand.state == Brand::State::Unbranded ||
      (brand.state == Brand::State::Branded && !brand.hasTrust))
    return nullptr;
  if (brand.state == Brand::State::Unreadable)
    return "XML file %s will not be processed: the certificates this copy carries cannot be read.";
  switch (CheckKeySignature(text, brand.trust)) {
    case KeyCheck::Valid:
      return nullptr;
    case KeyCheck::Missing:
      return "XML file %s is not signed with the key this copy trusts (no key signature) and will "
             "not be processed.";
    case KeyCheck::OtherKey:
      return "XML file %s is signed with another key than the one this copy trusts and will not "
             "be processed.";
    case KeyCheck::Changed:
      return "XML file %s was changed after it was signed with the trusted key and will not be "
             "processed.";
    default:
      return "XML file %s has a key signature that cannot be checked and will not be processed.";
  }
}
}  // namespace

void ScriptRunner::RunScript(ActionDispatcher& dispatcher, const std::string& source,
                             const std::string& name, int32_t pass) {
  const bool running = pass == RunPassRun;
  // Copied in, such a script would replace the run's own file.
  if (EqualsNoCase(name, kFileListName) || EqualsNoCase(name, kActivityLogName)) {
    if (running) {
      activityLog->Write(SeverityError, Format("XML file %s has the name of a file of the result "
                                               "and will not be processed.",
                                               name.c_str()));
    }
    return;
  }
  // Read once: the copy in the result, the signature check and the walk all
  // take the very same bytes, so the file cannot change in between.
  std::string bytes;
  const std::string unread = system_.ReadScript(source, &bytes);
  const bool read = unread.empty();
  if (running) {
    activityLog->Write(SeverityInformation, Format("XML file found: %s", name.c_str()));
    // A device or pipe would have the run wait on it; it is no script.
    if (!read && unread != sys::kCannotBeRead) {
      activityLog->Write(SeverityError, Format("XML file %s %s and will not be processed.",
                                               name.c_str(), unread.c_str()));
      return;
    }
    const std::string copy = tempFolder + "\\" + name;
    if (sys::PathExists(copy)) {
      activityLog->Write(SeverityError, Format("File %s was in the result folder before the run "
                                               "copied the script there; it was replaced",
                                               name.c_str()));
    }
    // Made new: whatever was at the name goes (a link only as a link).
    if (read) sys::WriteWholeFile(copy, bytes);
    manifest_->AddFile(name, "");
  } else if (!read && unread != sys::kCannotBeRead) {
    return;
  }
  // The text ends at the first zero byte, and so does the reader.
  std::string text = bytes.substr(0, bytes.find('\0'));
  const uint32_t stored = ReadSignature(text);
  StripSignature(&text);
  if (stored != TextCrc(text)) {
    if (running) {
      activityLog->Write(
          SeverityError,
          Format("XML file %s does not have a valid signiture and will not be processed.",
                 name.c_str()));
    }
    return;
  }
  const char* refusal = KeyRefusal(text);
  if (refusal != nullptr) {
    if (running) activityLog->Write(SeverityError, Format(refusal, name.c_str()));
    return;
  }
  // A long script is held once, as its elements, while it is walked.
  std::string().swap(text);
  scriptFolder = tempFolder + "\\" + FileTitle(name);
  resolver_->SetDataFolder(scriptFolder);
  if (running && !sys::MakeOwnFolder(scriptFolder)) {
    // One made by an earlier script of the same title is the run's own.
    activityLog->Write(SeverityError, Format("Folder %s is not one the run made; nothing of %s is "
                                             "written into it",
                                             scriptFolder.c_str(), name.c_str()));
  }
  ScriptDocument document;
  document.LoadFromBytes(bytes);
  std::string().swap(bytes);
  for (const ReadProblem& problem : document.problems()) {
    if (running && !problem.loss.empty()) {
      activityLog->Write(SeverityError,
                         Format("XML file %s: %s", name.c_str(), problem.loss.c_str()));
    }
  }
  if (document.HasRoot()) dispatcher.WalkNode(document.Root(), pass);
}

// The check value covers the whole list up to and including its end marker.
// Signed through the one handle that reads it, and only when it is the very
// file the run's rows went into: never another file moved under its name.
void ScriptRunner::SignFileList() {
  const std::string& path = fileList_->path();
  sys::FileFacts written;
  const auto sign = [](std::string* text) {
    text->resize(std::min(text->size(), text->find('\0')));
    return InsertSignature(text, TextCrc(*text));
  };
  if (!sys::AppendedFileFacts(path, &written) || !sys::RewriteOwnFile(path, written, sign)) {
    RaiseWriteFailure();
  }
}

namespace {
// The user's stop, not the one a failed write raises along with its own flag.
bool UserStopped() {
  const RunSettings& settings = Settings();
  return settings.stopRequested && !settings.writeFailed;
}
}  // namespace

void ScriptRunner::FinishRun() {
  if (UserStopped()) {
    activityLog->Write(SeverityInformation, "User requested termination");
    return;  // the partial results stay for the user
  }
  // After a failed write, too, whatever can still be packed goes into the
  // result: the folder may hold the only copy of what was collected. Never
  // through a link, and never a folder other than the one the run made.
  if (!sys::SameFolder(tempFolder, tempIdentity_)) {
    // Its log would go wherever the folder's name now leads.
    activityLog->Disable();
    RaiseWriteFailure();
    ShowWriteError(std::string());
    return;
  }
  SetLinksAside();
  manifest_->AddFile(kActivityLogName, "");
  manifest_->ListExternalFiles();
  fileList_->AppendLine(kFileListEnd);
  // Before the signature: the list then names the scrubbed files.
  ScrubRunResult(tempFolder, outputPath, activityLog.get(), fileList_.get(),
                 [this](const std::string& was, const std::string& now, uint32_t crc) {
                   manifest_->Relist(was, now, crc);
                 });
  SignFileList();
  bool written = false;
  std::vector<PackGap> gaps;
  PackChecks checks;
  checks.listedCrc = [this](const std::string& relative, uint32_t* crc) {
    return manifest_->ListedCrc(relative, crc);
  };
  checks.leaveOut = [this](const std::string& relative) {
    return linksStaying_.count(relative) != 0;
  };
  checks.destinationIntact = [this] {
    std::string folder = FolderOf(tempFolder);
    if (!folder.empty() && folder.back() == ':') folder += '\\';
    return sys::SameFolder(folder, outputIdentity_);
  };
  checks.gaps = &gaps;
  if (ResultPackager::Compress(tempFolder, outputPath, &written, &checks)) {
    ResultPackager::Report(outputPath);
  } else if (UserStopped()) {
    // Stopped while packing: the partial result keeps what was packed
    // (and removed), and is not announced. The log goes with the files
    // that were not packed.
    activityLog->Write(SeverityInformation, "User requested termination");
    return;
  } else {
    NameWhatWasNotPacked(written, gaps);
    ShowWriteError(written ? outputPath : std::string());
    return;
  }
  // Only an emptied folder goes, and only the run's own.
  if (sys::SameFolder(tempFolder, tempIdentity_)) sys::RemoveFolder(tempFolder);
  if (Settings().writeFailed) ShowWriteError(std::string());
}

// Links in the result folder are not the run's data: not packed, their
// targets untouched.
void ScriptRunner::SetLinksAside() {
  linksStaying_.clear();
  sys::TreeVisitor visitor;
  // A collected file the listing shows as plain is opened by the packer,
  // whose handle tells a link there: no second open by name.
  visitor.passOver = [this](const std::string& relative) {
    uint32_t crc = 0;
    return manifest_->ListedCrc(relative, &crc);
  };
  visitor.fileLink = [this](const std::string& path, const std::string& relative) {
    activityLog->Write(SeverityWarning, Format("File %s in the result folder is a link and is not "
                                               "packed",
                                               relative.c_str()));
    const sys::RemoveOutcome removed = sys::RemoveFileNotThroughLink(path);
    if (removed == sys::RemoveOutcome::LinkLeft) linksLeft_.push_back(path);
    if (removed == sys::RemoveOutcome::Failed) {
      // What it points to is in use, say: the folder cannot go either.
      activityLog->Write(
          SeverityError,
          Format("%s is a link that could not be removed; it was left as it is", path.c_str()));
    }
    if (removed != sys::RemoveOutcome::Removed) linksStaying_.insert(relative);
  };
  sys::WalkTree(tempFolder, "*.*", visitor);
  NameLinksLeft();
}

// Written into the log left beside the unpacked files: the result's own log
// is already packed, and its manifest names what the archive lacks.
void ScriptRunner::NameWhatWasNotPacked(bool resultWritten, const std::vector<PackGap>& gaps) {
  activityLog->Write(SeverityError, Format(resultWritten ? "The result %s is incomplete"
                                                         : "The result %s could not be written",
                                           outputPath.c_str()));
  std::set<std::string> named;
  for (const PackGap& gap : gaps) {
    activityLog->Write(SeverityError, Format("File %s %s; it stays in %s", gap.relative.c_str(),
                                             gap.reason.c_str(), tempFolder.c_str()));
    named.insert(gap.relative);
  }
  sys::TreeVisitor visitor;
  visitor.file = [this, &named](const std::string&, const std::string& relative) {
    if (relative == kActivityLogName || named.count(relative) != 0) return;
    activityLog->Write(SeverityError, Format("File %s was not packed and stays in %s",
                                             relative.c_str(), tempFolder.c_str()));
  };
  sys::WalkTree(tempFolder, "*.*", visitor);
}

// The write-error box, followed by where the result is when it was written.
void ScriptRunner::ShowWriteError(const std::string& writtenResult) {
  if (Settings().silent) return;
  std::string text = LocalText("WriteError", "Message",
                               "Check that destination directory\nis not read-only or full.");
  std::string description;
  if (!writtenResult.empty() && ResultPackager::DescribeResult(writtenResult, &description)) {
    text += "\n\n" + description;
  }
  system_.ShowMessage(text, LocalText("WriteError", "Title", "Brindle Tool Write Error"));
}
