#pragma once
// One pass over the script files: the counting pass sizes the progress bar,
// the run pass collects everything into the temporary result folder and
// packs it. Only one ScriptRunner may be alive at a time: its constructor
// replaces the process-wide path resolver and file list.

#include <cstdint>
#include <memory>
#include <string>

#include "expr/version_logic.h"
#include "script/log_file.h"

enum RunPass : int32_t {
  RunPassRun = 4,    // collect everything; the activity log is written
  RunPassCount = 5,  // only add progress weights to stepTotal
};

class ScriptRunner {
 public:
  // outputName: the result path; the counting pass passes "*:?*", of which
  // only the (empty) folder part is used.
  explicit ScriptRunner(const std::string& outputName);
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  // Performs one pass and returns stepTotal.
  int32_t Run(int32_t pass);

  std::unique_ptr<ActivityLog> activityLog;
  std::string exeFolder;     // without a trailing "\\"
  std::string scriptFolder;  // tempFolder + "\\" + title of the current script
  std::string tempFolder;    // always ...\~BX_TEMP
  int32_t stepTotal = 0;
  std::string outputPath;
  std::string xmlFile;
  std::string outFile;
  std::unique_ptr<VersionLogic> versionLogic;
};

// The file list of the live ScriptRunner ("FileList.csv"), or null.
LogFile* CurrentFileList();

// Folder of the running executable, as read into a buffer of `bufferSize`
// characters, cut before its last "\\"; "" when the path holds none.
std::string ExecutableFolder(size_t bufferSize);

// Text before the last "\\" of a path; "" without one.
std::string FolderOf(const std::string& path);
