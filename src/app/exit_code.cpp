#include "app/exit_code.h"

ExitCode RunExitCode(bool runPassDone, bool writeFailed, bool stopRequested, bool errorLogged) {
  // A write failure also raises the stop request: it decides first.
  if (writeFailed) return kExitWriteFailed;
  if (stopRequested || !runPassDone) return kExitStopped;
  return errorLogged ? kExitWithErrors : kExitDone;
}

bool SilentRunHasNoResultPath(bool silent, bool outFileGiven, bool caseIdGiven) {
  return silent && !outFileGiven && !caseIdGiven;
}
