#pragma once
// The process exit code, for deployment tools that run the collector
// unattended and must tell a good result from a bad one.

enum ExitCode : int {
  kExitDone = 0,            // the result was written with nothing failed
  kExitWriteFailed = 1,     // something could not be written: the result is missing or incomplete
  kExitStopped = 2,         // the user stopped the run or declined to choose a result file
  kExitBadCommandLine = 3,  // the command line could not be used
  kExitWithErrors = 4,      // the result was written, but its activity log holds errors
};

// runPassDone: a result path was chosen and the run pass ran to its end.
// errorLogged: the activity log holds an ERROR.
ExitCode RunExitCode(bool runPassDone, bool writeFailed, bool stopRequested, bool errorLogged);

// A silent run must never ask: without "/outfile=" and without "/case=" it
// has nowhere to put its result.
bool SilentRunHasNoResultPath(bool silent, bool outFileGiven, bool caseIdGiven);
