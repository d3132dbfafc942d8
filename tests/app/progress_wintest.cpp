#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/progress.h"
#include "app/progress_win.h"
#include "app/run_settings.h"

namespace {

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProgressUpdateMessage) {
    ApplyProgressUpdates();
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// A window with the dialog's three controls, published in RunSettings as
// the dialog publishes its own.
class ProgressHost : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ProgressHostTest";
    ::RegisterClassA(&windowClass);
    host_ = ::CreateWindowA("ProgressHostTest", "host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100,
                            nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(host_, nullptr);
    bar_ = Child(PROGRESS_CLASSA);
    status_ = Child("STATIC");
    detail_ = Child("STATIC");
    RunSettings& settings = Settings();
    settings.Reset();
    settings.mainWindow = host_;
    settings.progressBar = bar_;
    settings.statusLine = status_;
    settings.detailLine = detail_;
  }
  void TearDown() override {
    Settings().Reset();
    if (host_) ::DestroyWindow(host_);
  }

  HWND Child(const char* windowClass) {
    return ::CreateWindowA(windowClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 10, host_, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
  }
  static void Pump() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
  }
  static std::string Text(HWND window) {
    char text[256] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
  }
  int Position() const { return static_cast<int>(::SendMessageA(bar_, PBM_GETPOS, 0, 0)); }

  HWND host_ = nullptr;
  HWND bar_ = nullptr;
  HWND status_ = nullptr;
  HWND detail_ = nullptr;
};

DWORD WINAPI ReportLikeARun(LPVOID) {
  ReportProgress("Copying files [x]", 0);
  for (int i = 0; i < 7000; ++i) {
    ReportProgress("", 10);
    ReportDetail("file " + std::to_string(i));
  }
  return 0;
}

TEST_F(ProgressHost, TheRunThreadNeverWaitsForTheWindowsThread) {
  SetProgressRange(bar_, 100000);
  // This thread does not pump, as the dialog's does not while it waits
  // for the run thread after a close: the reports must still get through.
  HANDLE run = ::CreateThread(nullptr, 0, ReportLikeARun, nullptr, 0, nullptr);
  EXPECT_EQ(::WaitForSingleObject(run, 20000), WAIT_OBJECT_0);
  ::CloseHandle(run);

  Pump();
  EXPECT_EQ(Text(status_), "Copying files [x]");
  EXPECT_EQ(Text(detail_), "file 6999");
  // 70000 of 100000: a 16-bit range would have wrapped the bar.
  EXPECT_EQ(Position(), 70000);
  EXPECT_EQ(::SendMessageA(bar_, PBM_GETRANGE, FALSE, 0), 100000);
}

TEST_F(ProgressHost, AStopSilencesBothAndAnEmptyDetailClearsTheLine) {
  SetProgressRange(bar_, 0);  // no work at all still gives a range of 0..1
  EXPECT_EQ(::SendMessageA(bar_, PBM_GETRANGE, FALSE, 0), 1);
  SetProgressRange(bar_, 100);
  ReportDetail("something");
  Pump();
  ReportDetail("");
  Pump();
  EXPECT_EQ(Text(detail_), "");

  Settings().stopRequested = true;
  ReportProgress("late", 5);
  ReportDetail("late");
  Pump();
  EXPECT_EQ(Text(status_), "");
  EXPECT_EQ(Text(detail_), "");
  EXPECT_EQ(Position(), 0);
}

TEST_F(ProgressHost, WithoutAWindowReportsAreDroppedNotHeld) {
  Settings().mainWindow = nullptr;
  ReportProgress("lost", 0);
  Settings().mainWindow = host_;
  ReportProgress("shown", 0);
  Pump();
  EXPECT_EQ(Text(status_), "shown");
}

}  // namespace
