#include "run/run_settings.h"

RunSettings& Settings() {
  static RunSettings settings;
  return settings;
}

void RunSettings::Reset() {
  eventDaysGiven = applicationDaysGiven = securityDaysGiven = systemDaysGiven = false;
  eventDays = applicationDays = securityDays = systemDays = 0;
  caseIdGiven = false;
  caseId.clear();
  xmlFile.clear();
  outFile.clear();
  silent = false;
  ignoredArguments.clear();
  for (int log = 0; log < 3; ++log) {
    eventLogSelected[log] = false;
    eventLogDays[log] = 0;
  }
  scrub = false;
  scrubWords.clear();
  scrubKeep.clear();
  scrubMap.clear();
  stopRequested = false;
  writeFailed = false;
  errorLogged = false;
  mainWindow = progressBar = statusLine = detailLine = workerThread = nullptr;
  tempFolder.clear();
}
