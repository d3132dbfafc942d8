#pragma once
// The walk over a loaded script and the dispatch of its actions: containers
// are walked, conditions decide whether their content runs, and every
// attribute of a section element becomes one collector call. The counting
// pass only adds up the progress weights.
//
// Collectors plug in through CollectorTable: one function per action kind.
// An empty entry is a collector that has not landed yet: its action is still
// recognised, weighted, logged and shown, and does nothing else.

#include <cstdint>
#include <string>

#include "expr/version_logic.h"
#include "script/log_file.h"
#include "script/script_document.h"

// Everything a collector may need for one action (run pass only, except for
// the EVENT_LOGS element, which is handed over in both passes).
struct ActionRequest {
  int32_t pass = 0;
  ActivityLog* activityLog = nullptr;
  std::string name;          // the attribute name (action name)
  std::string value;         // the attribute value (parameter)
  std::string outputPath;    // the action's output (see CollectorTable)
  std::string scriptFolder;  // the script's result folder
  std::string tempFolder;    // the run's result folder (~BX_TEMP)
  std::string exeFolder;     // the folder of the executable
  ScriptNode element;        // ACTIVE_DIRECTORY and EVENT_LOGS elements
};

// A collector runs once for one action and reports through the activity
// log; its result is not asked for. It may change request.outputPath (the
// registry search mode turns it into its numbered pattern): the manifest
// entry the dispatcher adds afterwards names what is left there.
using ActionCollector = void (*)(ActionRequest& request);

struct CollectorTable {
  // FILES: outputPath = script folder\name, created before the call; copy
  // mode with value as the file specification.
  ActionCollector files = nullptr;
  // FILE_VERSIONS: outputPath = script folder\name.csv; list mode.
  ActionCollector fileVersions = nullptr;
  // REGISTRY: outputPath = script folder\name.txt; dump of value.
  ActionCollector registry = nullptr;
  // EXECUTE: tool `name` with command text `value`; exeFolder, scriptFolder.
  ActionCollector execute = nullptr;
  // MISCELLANEOUS EVENT_LOGS: outputPath = script folder + "\\".
  ActionCollector eventLogs = nullptr;
  // MISCELLANEOUS PROCESS_LIST: outputPath = script folder\name.txt.
  ActionCollector processList = nullptr;
  // ACTIVE_DIRECTORY element: element, scriptFolder, tempFolder.
  ActionCollector activeDirectory = nullptr;
  // EVENT_LOGS element without children: element and pass, in both passes
  // (ReadEventLogSettings). The dispatcher adds its counting weight itself.
  ActionCollector eventLogSettings = nullptr;
};

// The collectors of the product (collector_table_win.cpp).
CollectorTable StandardCollectors();

class ActionDispatcher {
 public:
  // Works on the run driver's fields, which must outlive the dispatcher;
  // scriptFolder is read at every action, so it may change between scripts.
  ActionDispatcher(ActivityLog* activityLog, VersionLogic* versionLogic,
                   const std::string& exeFolder, const std::string& tempFolder,
                   const std::string& scriptFolder, int32_t* stepTotal,
                   const CollectorTable& collectors);

  // Walks `element` and everything below it in document order. The walk
  // keeps its own stack, so nesting depth never becomes C++ recursion.
  void WalkNode(const ScriptNode& element, int32_t pass);

  // One attribute of one section element; true when the action was
  // recognised (whatever its collector then did).
  bool DispatchAction(const std::string& section, const std::string& name, const std::string& value,
                      int32_t pass);

 private:
  // Returns whether the element's children are to be walked.
  bool VisitElement(const ScriptNode& element, int32_t pass);
  void RunElementAction(const ScriptNode& element, int32_t pass, bool activeDirectory);
  void Advance(int32_t pass, int32_t weight);
  ActionRequest Request(int32_t pass) const;
  void Log(int32_t severity, const std::string& message);

  ActivityLog* activityLog_;
  VersionLogic* versionLogic_;
  const std::string& exeFolder_;
  const std::string& tempFolder_;
  const std::string& scriptFolder_;
  int32_t* stepTotal_;
  CollectorTable collectors_;
};

// `text` with its first "%s" replaced by `value`; any other "%" stays as
// written. Localised status texts are outside input and never a format.
std::string FillPlaceholder(const std::string& text, const std::string& value);

// `path` relative to `root` without the separating "\\"; `path` itself when
// it does not lie below `root`.
std::string RelativeToFolder(const std::string& path, const std::string& root);

// Creates the folder of a FILES action (its parent exists). The Windows
// edge and a POSIX stand-in.
bool CreateActionFolder(const std::string& path);
