#pragma once
// The one process-wide record of command-line settings and shared run state.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct RunSettings {
  // Command line. Values are lower case: the parser lower-cases the line.
  bool eventDaysGiven = false;
  int32_t eventDays = 0;
  bool applicationDaysGiven = false;
  int32_t applicationDays = 0;
  bool securityDaysGiven = false;
  int32_t securityDays = 0;
  bool systemDaysGiven = false;
  int32_t systemDays = 0;
  bool caseIdGiven = false;
  std::string caseId;
  std::string xmlFile;
  std::string outFile;
  bool silent = false;
  // Arguments no switch took, as left after parsing; the run's log names
  // each as an ERROR.
  std::vector<std::string> ignoredArguments;

  // What the last EVENT_LOGS element asked for, kept for the end-of-run
  // collection; indexed Application 0, System 1, Security 2. None selected
  // until an element is read.
  bool eventLogSelected[3] = {false, false, false};
  int32_t eventLogDays[3] = {0, 0, 0};

  // Privacy: asked for by "/scrub" or a script's PRIVACY element, which
  // adds its words to replace and the binary files to keep unscrubbed
  // (name patterns). scrubMap is where the map went, once written.
  bool scrub = false;
  std::vector<std::string> scrubWords;
  std::vector<std::string> scrubKeep;
  std::string scrubMap;

  // Shared run state. The two flags only ever go from false to true during a
  // run, so the two threads need no lock around them.
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> writeFailed{false};
  // An ERROR (or worse) went into the activity log: the result, once
  // written, lacks something that was asked for.
  std::atomic<bool> errorLogged{false};
  // Window and thread handles, kept as void* so that portable code can carry
  // the record; only Windows files look inside.
  void* mainWindow = nullptr;
  void* progressBar = nullptr;
  void* statusLine = nullptr;
  void* detailLine = nullptr;
  void* workerThread = nullptr;
  std::string tempFolder;

  // Back to the initial state; tests use it between cases.
  void Reset();
};

RunSettings& Settings();

// A write could not be done: the run must stop and the user must be told.
inline void RaiseWriteFailure() {
  Settings().writeFailed = true;
  Settings().stopRequested = true;
}
