#pragma once
// The dialog's side of ReportProgress and ReportDetail (app/progress.h):
// the run thread leaves its updates in a channel and posts one wake-up
// message to RunSettings.mainWindow; the window that receives it applies
// them on its own thread. Posting, never sending, is what lets the dialog
// wait for the run thread without a deadlock.

#include <windows.h>

#include <cstdint>

// The wake-up message; its arguments are unused.
constexpr UINT kProgressUpdateMessage = WM_APP + 1;

// Applies what arrived since the last call to the controls in RunSettings.
// Call on the thread that owns them, on kProgressUpdateMessage.
void ApplyProgressUpdates();

// Range 0 .. max(1, total) and position 0. Uses the 32-bit range message:
// the old one carries a 16-bit upper bound and wraps above 65535.
void SetProgressRange(HWND bar, int32_t total);
