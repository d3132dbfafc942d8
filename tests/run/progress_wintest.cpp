#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "run/progress.h"
#include "run/progress_win.h"
#include "run/run_settings.h"

namespace {

// That the run thread never waits for the dialog's thread (a close during
// the run) is run from outside by tests/e2e/dialog.sh.
TEST(ProgressReports, ReachTheDialogsControls) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  // The dialog's three controls, published as the dialog publishes them.
  HWND host = ::CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 300, 100, 0, 0, 0, 0);
  const auto child = [host](const char* windowClass) {
    return ::CreateWindowA(windowClass, "", WS_CHILD, 0, 0, 100, 10, host, 0, 0, 0);
  };
  HWND bar = child(PROGRESS_CLASSA), status = child("STATIC");
  RunSettings& settings = Settings();
  settings.Reset();
  settings.mainWindow = host;
  settings.progressBar = bar;
  settings.statusLine = status;

  SetProgressRange(bar, 100000);
  ReportProgress("Copying files [x]", 0);
  ReportProgress("", 30000);
  ReportProgress("", 40000);
  // One wake-up for them all: a fast run cannot flood the queue. The
  // dialog's procedure then applies what is pending.
  MSG message;
  int wakes = 0;
  while (::PeekMessageA(&message, nullptr, kProgressUpdateMessage, kProgressUpdateMessage,
                        PM_REMOVE)) {
    ++wakes;
  }
  EXPECT_EQ(wakes, 1);
  ApplyProgressUpdates();
  char text[64] = {};
  ::GetWindowTextA(status, text, sizeof text);
  EXPECT_STREQ(text, "Copying files [x]");
  // 70000 of 100000: a 16-bit range would have wrapped the bar.
  EXPECT_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), 70000);

  settings.Reset();
  ::DestroyWindow(host);
}

}  // namespace
