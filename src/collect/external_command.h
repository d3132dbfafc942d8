#pragma once
// The EXECUTE action: starts a tool named by a script (usually one shipped
// beside the scripts, reached through path variables) and waits a limited
// time for it to end. The tool's output is not captured; a tool that
// contributes files writes them itself, and the end-of-run sweep lists them.
//
// Value syntax: a command line, or "~" + minutes + " " + command line.
// Without the prefix the tool gets 5 minutes.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "collect/collector.h"

// What the "~minutes " prefix of a value leaves to the run.
struct ExecuteValue {
  std::string minutesText = "5";  // as written; it goes into the log entries
  uint64_t timeLimitMs = 300000;  // minutes text as a number, in milliseconds
  std::string commandLine;        // the value without its prefix
};

// Splits off the prefix when the value starts with "~" and its first blank
// comes at least two characters in; the command line then starts after
// that blank and the blanks following it. Anything else is kept whole,
// "~" included, with the 5-minute limit.
ExecuteValue ParseExecuteValue(const std::string& value);

// Leading decimal digits of `minutesText` as milliseconds; 0 without any.
// A huge number saturates instead of wrapping into a short or endless wait.
uint64_t MinutesToMilliseconds(const std::string& minutesText);

// The writable, zero-terminated command-line buffer CreateProcessA wants,
// never shorter than 256 characters.
std::vector<char> CommandLineBuffer(const std::string& commandLine);

// The entry an ended tool's exit code earns. Exit codes mean different
// things to different tools, so any but 0 is only a WARNING (in decimal);
// from 0xC0000000 on it is an exception status, the tool crashed: an
// ERROR, in hex.
struct CommandEntry {
  int32_t severity;
  std::string message;
};
CommandEntry ToolExitEntry(uint32_t exitCode);

enum class WaitOutcome { Ended, TimedOut, Stopped, Failed };

// One bounded wait for the tool: Ended, TimedOut (this slice passed) or Failed.
using WaitSlice = std::function<WaitOutcome(uint32_t milliseconds)>;

// Waits up to `limitMs` in slices of at most kWaitSliceMs, so that a stop
// request ends the wait within one slice. The first slice always runs (a
// limit of 0 still asks once whether the tool has ended); Stopped when the
// context's stop request was seen after a slice that did not end the wait.
WaitOutcome WaitInSlices(uint64_t limitMs, const WaitSlice& waitSlice, const RunContext& context);
constexpr uint32_t kWaitSliceMs = 200;

class ExternalCommand {
 public:
  // `command` is edited in place by Run(); every reference must outlive the
  // object. The two folders are kept for the tool's sake, not used here.
  ExternalCommand(const std::string& actionName, std::string& command, const RunContext& context,
                  const std::string& exeFolder, const std::string& scriptFolder);

  // Starts the tool and waits for it; the activity log tells the outcome.
  // A tool that outlives its limit is left running. Always false.
  bool Run();

  const std::string& actionName() const { return actionName_; }
  const std::string& exeFolder() const { return exeFolder_; }
  const std::string& scriptFolder() const { return scriptFolder_; }

 private:
  const RunContext& context_;
  std::string& command_;
  const std::string& exeFolder_;
  const std::string& scriptFolder_;
  const std::string& actionName_;
};

// The EXECUTE action as the dispatcher runs it (CollectorTable::execute):
// tool `request.name` with the command `request.value`. Windows only.
void ExternalCommandAction(ActionRequest& request);
