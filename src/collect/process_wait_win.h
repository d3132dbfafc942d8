#pragma once
// One bounded wait for a process the run started, as WaitInSlices wants it.

#include <windows.h>

#include "collect/external_command.h"

// Ended, TimedOut (this slice passed) or Failed, with the system's error
// code in *error then (when given).
inline WaitOutcome WaitForProcess(HANDLE process, uint32_t milliseconds, DWORD* error = nullptr) {
  switch (::WaitForSingleObject(process, milliseconds)) {
    case WAIT_OBJECT_0:
      return WaitOutcome::Ended;
    case WAIT_TIMEOUT:
      return WaitOutcome::TimedOut;
    default:
      if (error != nullptr) *error = ::GetLastError();
      return WaitOutcome::Failed;
  }
}
