#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/progress.h"
#include "app/progress_win.h"
#include "app/run_settings.h"
#include "collect/external_command.h"
#include "expr/path_resolver.h"
#include "script/action_dispatcher.h"
#include "support/test_support.h"
#include "sys/handles_win.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;
using Entries = std::vector<std::string>;

// The probe tool (tests/e2e/exec_probe_win.cpp) is built beside this
// program. A program started from outside every drive gets a module path
// that Wine opens only with \\?\ in front.
std::string ProbeBesideThisProgram() {
  char path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string probe(path, length);
  probe = probe.substr(0, probe.rfind('\\') + 1) + "exec_probe.exe";
  if (::GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES) return probe;
  return "\\\\?\\" + probe;
}

class ExternalCommandWin : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().Reset();
    probe_ = folder_ / "exec_probe.exe";
    ASSERT_TRUE(::CopyFileA(ProbeBesideThisProgram().c_str(), probe_.c_str(), TRUE))
        << ::GetLastError();
  }
  void TearDown() override {
    if (!pidFile_.empty()) EndProbe();
    DestroyResolver();
    Settings().Reset();
  }

  // Runs one EXECUTE action; `value` comes back as the run left it.
  void Execute(std::string& value) {
    ExternalCommand command("tool", value, log_, "C:\\exe", folder_.path());
    EXPECT_FALSE(command.Run());
  }

  // The log's entries without their time stamps ("05/03/2024 09:07:03,").
  Entries LogEntries() const {
    Entries entries;
    std::istringstream lines(ReadFile(log_.path()));
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      entries.push_back(line.size() > 20 ? line.substr(20) : line);
    }
    return entries;
  }

  // The probe's steps "pid FILE" first, so that a test can end a probe it
  // left running.
  std::string LingeringProbe(const std::string& steps) {
    pidFile_ = folder_ / "probe.pid";
    return probe_ + " pid " + pidFile_ + " " + steps;
  }

  void EndProbe() {
    std::string pid;
    for (int i = 0; i < 200 && pid.empty(); ++i) {
      pid = ReadFile(pidFile_);
      if (pid.empty()) ::Sleep(25);
    }
    ASSERT_FALSE(pid.empty()) << "the probe never started";
    sys::KernelHandle process(
        ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                      static_cast<DWORD>(std::strtoul(pid.c_str(), nullptr, 10))));
    if (!process) return;  // ended already
    EXPECT_EQ(::WaitForSingleObject(process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the probe should still be running: the run leaves it alone";
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 10000);
  }

  ScratchFolder folder_{"exec"};
  ActivityLog log_{folder_ / "Activity Log.csv"};
  std::string probe_;
  std::string pidFile_;
};

TEST_F(ExternalCommandWin, WaitsForTheToolWhateverItsExitCode) {
  const std::string out = folder_ / "out.txt";
  const std::string line = folder_ / "line.txt";
  struct Case {
    std::string value;
    std::string minutes;
    std::string commandLine;  // what the tool receives
  } cases[] = {
      {"~1 " + probe_ + " line " + line + " exit 7", "1", probe_ + " line " + line + " exit 7"},
      {probe_ + " line " + line + " sleep 300 write " + out + " late", "5",
       probe_ + " line " + line + " sleep 300 write " + out + " late"},
      {"~10    \"" + probe_ + "\"  line " + line + " exit 1", "10",
       "\"" + probe_ + "\"  line " + line + " exit 1"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.value);
    ::DeleteFileA(log_.path().c_str());
    Execute(c.value);
    EXPECT_EQ(c.value, c.commandLine) << "the prefix is taken off the action's value";
    EXPECT_EQ(ReadFile(line), c.commandLine);
    EXPECT_EQ(LogEntries(),
              (Entries{"INFORMATION,Command must return within " + c.minutes + " minute(s)",
                       "INFORMATION,Command executed successfully"}));
  }
  EXPECT_EQ(ReadFile(out), "late") << "the run went on before the tool had ended";
}

TEST_F(ExternalCommandWin, StartFailureLogsTheSystemCode) {
  WriteFile(folder_ / "notes.exe", "not a program");
  const struct {
    std::string value;
    int code;
  } cases[] = {
      {folder_ / "missing.exe", ERROR_FILE_NOT_FOUND},
      // The program is searched for, not opened by name: Wine calls a missing
      // folder a missing file here (given as the program name it answers 3).
      {"\"" + (folder_ / "no folder\\missing.exe") + "\" /a", ERROR_FILE_NOT_FOUND},
      {folder_ / "notes.exe", ERROR_BAD_EXE_FORMAT},
      // "~" followed at once by a blank is no prefix: "~" is the program.
      {"~ " + probe_, ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    ::DeleteFileA(log_.path().c_str());
    std::string value = c.value;
    Execute(value);
    EXPECT_EQ(LogEntries(),
              (Entries{"INFORMATION,Command must return within 5 minute(s)",
                       "ERROR,Unable to execute command (" + std::to_string(c.code) + ")"}));
  }
}

TEST_F(ExternalCommandWin, LimitOfNoMinutesDoesNotWait) {
  std::string value = "~x " + LingeringProbe("sleep 20000");
  Execute(value);
  EXPECT_EQ(LogEntries(), (Entries{"INFORMATION,Command must return within x minute(s)",
                                   "ERROR,Command has not returned after x minute(s)"}));
}

TEST_F(ExternalCommandWin, StopRequestEndsTheWaitAndLeavesTheToolRunning) {
  std::string value = "~5 " + LingeringProbe("sleep 20000");
  std::thread cancel([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Settings().stopRequested = true;
  });
  Execute(value);
  cancel.join();
  EXPECT_EQ(LogEntries(), (Entries{"INFORMATION,Command must return within 5 minute(s)",
                                   "ERROR,Command has not returned after 5 minute(s)"}));
}

TEST_F(ExternalCommandWin, PathVariablesAreResolvedBeforeTheStart) {
  PathResolver* resolver = CreateResolver();
  resolver->SetActivityLog(&log_);
  resolver->SetToolFolder(folder_.path());
  resolver->SetDataFolder(folder_ / "data");
  ASSERT_TRUE(::CreateDirectoryA((folder_ / "data").c_str(), nullptr));

  std::string value = "~1 $TOOLDIR$\\exec_probe.exe write $DATADIR$\\out.txt done";
  Execute(value);
  EXPECT_EQ(value, probe_ + " write " + (folder_ / "data") + "\\out.txt done");
  EXPECT_EQ(ReadFile(folder_ / "data\\out.txt"), "done");
  EXPECT_EQ(LogEntries(), (Entries{"INFORMATION,Path resolved to " + value,
                                   "INFORMATION,Command must return within 1 minute(s)",
                                   "INFORMATION,Command executed successfully"}));

  // An unresolvable reference: the tool is not started at all.
  ::DeleteFileA(log_.path().c_str());
  value = "%BRINDLE_NO_SUCH_VARIABLE%\\exec_probe.exe write " + (folder_ / "never.txt") + " x";
  Execute(value);
  const Entries entries = LogEntries();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back(), "INFORMATION,Unable to parse command \"" + value + "\"");
  for (const std::string& entry : entries) EXPECT_EQ(entry.find("Command must"), std::string::npos);
  EXPECT_FALSE(FileExists(folder_ / "never.txt"));
}

TEST_F(ExternalCommandWin, DispatcherEntryRunsTheRequest) {
  ActionRequest request;
  request.activityLog = &log_;
  request.name = "probe";
  request.value = "~2 " + probe_ + " write " + (folder_ / "out.txt") + " ok";
  request.exeFolder = "C:\\exe";
  request.scriptFolder = folder_.path();
  ExternalCommandAction(request);
  EXPECT_EQ(ReadFile(folder_ / "out.txt"), "ok");
  EXPECT_EQ(LogEntries().back(), "INFORMATION,Command executed successfully");
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProgressUpdateMessage) {
    ApplyProgressUpdates();
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

// The dialog's detail line, on this thread, while the action runs on another
// one as it does in a real run.
TEST_F(ExternalCommandWin, DetailLineShowsTheWaitThenDots) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = HostProc;
  windowClass.hInstance = ::GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "ExternalCommandHost";
  ::RegisterClassA(&windowClass);
  HWND host = ::CreateWindowA("ExternalCommandHost", "host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100,
                              nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(host, nullptr);
  HWND detail = ::CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 280, 20, host, nullptr,
                                windowClass.hInstance, nullptr);
  Settings().mainWindow = host;
  Settings().detailLine = detail;

  std::string value = "~3 " + probe_ + " sleep 1000";
  std::atomic<bool> done{false};
  std::thread run([&] {
    Execute(value);
    done = true;
  });
  std::vector<std::string> shown;
  auto pump = [&] {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    char text[256] = {};
    ::GetWindowTextA(detail, text, sizeof text);
    if (shown.empty() || shown.back() != text) shown.push_back(text);
  };
  while (!done) {
    pump();
    ::Sleep(10);
  }
  run.join();
  pump();
  Settings().mainWindow = nullptr;
  Settings().detailLine = nullptr;
  ::DestroyWindow(host);

  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[shown.size() - 2], "Waiting for tool... (3 minutes max)");
  EXPECT_EQ(shown.back(), "...");
}

}  // namespace
