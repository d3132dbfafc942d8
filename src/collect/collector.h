#pragma once
// What the dispatcher hands a collector: the pass codes, the run's context
// (activity log, path resolver, manifest, progress, stop flag), one action's
// request, and the table through which collectors plug in. Collectors see
// nothing of the script engine above them.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "run/log_file.h"
#include "run/progress.h"
#include "run/run_settings.h"

class PathResolver;

// Handed unchanged from the run driver through the walk to the collectors.
enum RunPass : int32_t {
  RunPassRun = 4,    // collect everything; the activity log is written
  RunPassCount = 5,  // only add progress weights to stepTotal
};

// Every part that leaves a file in the result folder names it here once
// (the run's FileList.csv).
class ManifestRecorder {
 public:
  virtual ~ManifestRecorder() = default;
  // `relativePath` below the result folder, no leading "\\"; `sourcePath`
  // the file a copy was taken from, "" for a file the run made itself.
  virtual void AddFile(const std::string& relativePath, const std::string& sourcePath) = 0;
  // The same for a file whose CRC-32 the caller took while writing it (a
  // copy made by our own loop), so that it need not be read once more.
  virtual void AddFileWithCrc(const std::string& relativePath, const std::string& sourcePath,
                              uint32_t crc) {
    (void)crc;
    AddFile(relativePath, sourcePath);
  }
};

// The run's services, owned by the run driver and lent to each collector.
// Any of the pointers may be null outside a run (tools, tests): the
// helpers then do nothing.
struct RunContext {
  ActivityLog* activityLog = nullptr;
  PathResolver* resolver = nullptr;
  ManifestRecorder* manifest = nullptr;
  ProgressReporter* progress = nullptr;
  // The run's stop request: set by the user closing the dialog or by a
  // write failure; every long loop polls it.
  const std::atomic<bool>* stop = &Settings().stopRequested;

  bool StopRequested() const { return stop != nullptr && stop->load(); }
  void Log(int32_t severity, const std::string& message) const {
    if (activityLog != nullptr) activityLog->Write(severity, message);
  }
  void Status(const std::string& text, int32_t step) const {
    if (progress != nullptr) progress->Status(text, step);
  }
  void Detail(const std::string& text) const {
    if (progress != nullptr) progress->Detail(text);
  }
  void AddFile(const std::string& relativePath, const std::string& sourcePath) const {
    if (manifest != nullptr) manifest->AddFile(relativePath, sourcePath);
  }
  void AddFileWithCrc(const std::string& relativePath, const std::string& sourcePath,
                      uint32_t crc) const {
    if (manifest != nullptr) manifest->AddFileWithCrc(relativePath, sourcePath, crc);
  }
};

// A script element as a collector reads it (ACTIVE_DIRECTORY, EVENT_LOGS):
// a copy of the element and everything below it, held flat with the
// element itself at index 0, so that nesting never becomes recursion.
struct ActionElement {
  struct Node {
    std::string name;
    // In ascending order of their names, as the script reader keeps them.
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<size_t> children;  // indexes into nodes, document order
  };
  std::vector<Node> nodes;

  bool empty() const { return nodes.empty(); }
  // The element's own name; "" for an empty element.
  std::string name() const { return nodes.empty() ? std::string() : nodes[0].name; }
  // The attribute of exactly this name (case-sensitive); false when absent.
  bool Attribute(size_t node, const std::string& name, std::string* value) const;
};

// Which event logs one collection exports, and from how many days back
// (negative: no lower bound). Indexed Application 0, System 1, Security 2.
struct EventLogChoice {
  bool selected[3] = {true, true, true};
  int32_t days[3] = {-1, -1, -1};
};

// Everything a collector needs for one action (run pass only, except for
// the EVENT_LOGS element, which is handed over in both passes).
struct ActionRequest {
  int32_t pass = 0;
  RunContext context;
  std::string name;          // the attribute name (action name)
  std::string value;         // the attribute value (parameter)
  std::string outputPath;    // the action's output (see CollectorTable)
  std::string scriptFolder;  // the script's result folder
  std::string tempFolder;    // the run's result folder (~BX_TEMP)
  std::string exeFolder;     // the folder of the executable
  ActionElement element;     // ACTIVE_DIRECTORY and EVENT_LOGS elements

  // A request of the run's: the pass, the context and the three folders;
  // the action's own fields start empty.
  static ActionRequest ForRun(int32_t pass, const RunContext& context,
                              const std::string& scriptFolder, const std::string& tempFolder,
                              const std::string& exeFolder) {
    ActionRequest request;
    request.pass = pass;
    request.context = context;
    request.scriptFolder = scriptFolder;
    request.tempFolder = tempFolder;
    request.exeFolder = exeFolder;
    return request;
  }
  // MISCELLANEOUS EVENT_LOGS takes all three logs without a date limit; the
  // end-of-run collection narrows it.
  EventLogChoice eventLogs;
};

// A collector runs once for one action and reports through the activity
// log; its result is not asked for. It may change request.outputPath (the
// registry search mode turns it into its numbered pattern): the manifest
// entry the dispatcher adds afterwards names what is left there.
using ActionCollector = void (*)(ActionRequest& request);

// One function per action kind. An empty entry is a collector that has not
// landed yet: its action is still recognised, weighted, logged and shown,
// and does nothing else.
struct CollectorTable {
  // FILES: outputPath = script folder\name, which the collector makes when
  // it has a file to copy; copy mode with value as the file specification.
  ActionCollector files = nullptr;
  // FILE_VERSIONS: outputPath = script folder\name.csv; list mode.
  ActionCollector fileVersions = nullptr;
  // REGISTRY: outputPath = script folder\name.txt; dump of value.
  ActionCollector registry = nullptr;
  // EXECUTE: tool `name` with command text `value`; exeFolder, scriptFolder;
  // outputPath = script folder\name.txt for what the tool prints.
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
  // EVENT_CHANNELS: channel `value` into files named after `name` in
  // scriptFolder; the collector lists its own files.
  ActionCollector eventChannels = nullptr;
};
