#pragma once
// One pass over the script files: the counting pass sizes the progress bar,
// the run pass collects everything into the temporary result folder and
// packs it. The order of a pass is portable code; the few calls that only
// the system can answer come through RunSystem (run_driver_win.cpp, and a
// POSIX stand-in that lets the whole pass run natively in tests).

#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "collect/collector.h"
#include "expr/path_resolver.h"
#include "expr/version_logic.h"
#include "pack/file_manifest.h"
#include "pack/tar_writer.h"
#include "run/log_file.h"
#include "sys/file_system.h"
#include "sys/links.h"

class ActionDispatcher;

class RunSystem {
 public:
  virtual ~RunSystem() = default;
  // Folder of the running executable, as read into a 256-character buffer,
  // cut before its last "\\"; "" when the path holds none.
  virtual std::string ExecutableFolder() = 0;
  // Names of the entries matching `pattern` (folders too), in the file
  // system's order; empty when nothing matches.
  virtual std::vector<std::string> FindScripts(const std::string& pattern) = 0;
  // Enters a COM apartment on this thread. True only for a new one: an
  // apartment that was already there counts as failure (and is left as it
  // was). Every true is followed by one LeaveApartment.
  virtual bool EnterApartment() = 0;
  virtual void LeaveApartment() = 0;
  // The whole script file: "" when it was read, else why not ("cannot be
  // read", or why it is no file to read; bytes empty then). A device, a
  // pipe, anything but a regular file is refused before a byte is read.
  virtual std::string ReadScript(const std::string& path, std::string* bytes) = 0;
  // The write-error box, owned by the main window.
  virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
};

// The calls of the system this program runs on.
RunSystem& SystemRun();

// The collectors of the product (none off Windows).
CollectorTable StandardCollectors();

class ScriptRunner {
 public:
  // outputName: the result path; the counting pass passes "*:?*", of which
  // only the (empty) folder part is used. Only one ScriptRunner may be
  // alive at a time: it sets the run's temporary folder in RunSettings.
  ScriptRunner(const std::string& outputName, RunSystem& system = SystemRun(),
               const CollectorTable& collectors = StandardCollectors());
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  // Performs one pass and returns stepTotal.
  int32_t Run(int32_t pass);

  // Takes the temporary folder for this run for as long as the runner
  // lives. Many machines may write their results into one share folder: a
  // folder that a live run holds is left alone, and this run takes the
  // first free "~BX_TEMP.<n>" beside it. False when none is free.
  bool ClaimTempFolder();

  // Holds the result's name for as long as the runner lives, as the
  // temporary folder is held: two live runs never write one file. A run
  // that finds the name held takes "<name> (2).tgz" and so on, and
  // outputPath (and a given outFile) then name that file. False when none
  // is free.
  bool ClaimResultName();

  // Clears what an earlier run left under the claimed names: its result
  // and its temporary folder; links there go as links or stay, named in
  // the log once the run's log exists.
  void ClearLeftovers();

  std::unique_ptr<ActivityLog> activityLog;
  std::string exeFolder;     // without a trailing "\\"
  std::string scriptFolder;  // tempFolder + "\\" + title of the current script
  std::string tempFolder;    // always ...\~BX_TEMP
  int32_t stepTotal = 0;
  std::string outputPath;
  std::string xmlFile;
  std::string outFile;
  std::unique_ptr<VersionLogic> versionLogic;

 private:
  void StartRun();
  void RunScripts(int32_t pass);
  void RunScript(ActionDispatcher& dispatcher, const std::string& source, const std::string& name,
                 int32_t pass);
  void FinishRun();
  void SignFileList();
  void NameWhatWasNotPacked(bool resultWritten, const std::vector<PackGap>& gaps);
  void ShowWriteError(const std::string& writtenResult);
  void UseTempFolder(const std::string& folder);
  bool TakeLock(sys::FileLock* lock, const std::string& path);
  void SetLinksAside();
  void NameLinksLeft();
  bool StillInOwnFolder();
  void HoldOutputFolder();

  RunSystem& system_;
  CollectorTable collectors_;
  std::unique_ptr<PathResolver> resolver_;
  std::unique_ptr<LogFile> fileList_;
  std::unique_ptr<FileManifest> manifest_;
  sys::FileLock tempFolderLock_;
  sys::FileLock resultLock_;
  // Taken when the run made its folder; packing and deleting only in that one.
  sys::FolderIdentity tempIdentity_;
  std::chrono::steady_clock::time_point identityAskedAt_;
  std::vector<std::string> linksLeft_;  // not yet named in the log
  // Below the folder, links that stay there: packing never opens them (under
  // Wine that would open what they point to).
  std::set<std::string> linksStaying_;
  std::string givenOutputPath_;  // before another run's hold moved it
  // The folder the result is moved into, as it was when the run began.
  sys::FolderIdentity outputIdentity_;
};
