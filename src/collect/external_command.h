#pragma once
// The EXECUTE action: starts a tool named by a script (usually one shipped
// beside the scripts, reached through path variables) and waits a limited
// time for it to end. What the tool prints (standard output and standard
// error) goes into "<Action>.txt" in the script's result folder; files the
// tool writes itself are listed by the end-of-run sweep, as before.
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

// The platform's side of the file a tool's output goes to.
class CaptureFile {
 public:
  enum class Made { Created, Taken, Failed };
  virtual ~CaptureFile() = default;
  // Makes a new file at `path`, never opening what is there: Taken when
  // anything (a file, a folder, a link) has the name. *error is the
  // system's code on failure.
  virtual Made Create(const std::string& path, uint32_t* error) = 0;
  virtual bool Write(const char* data, size_t size, uint32_t* error) = 0;
  virtual void Close() = 0;
};

// Where a tool's printed output goes. The file is made on the first byte,
// so a tool that prints nothing leaves none, and under the first free name
// from the action's own on: the tool may have made a file of that very name
// itself (a command with its own redirect). Once a write fails, the rest is
// read and dropped, so the tool never stalls on a full pipe.
class OutputCapture {
 public:
  // `tempFolder` names the result folder, for the manifest's relative path.
  OutputCapture(const std::string& path, const std::string& tempFolder, CaptureFile& file,
                const RunContext& context);
  void Add(const char* data, size_t size);
  // Closes the file, lists it in the manifest and says in the log where
  // the output went, and that it was cut when the wait for the tool ended
  // otherwise than with its end (`minutesText`: its limit as written).
  void Finish(WaitOutcome outcome, const std::string& minutesText);
  // Where the output went; "" while nothing was printed.
  const std::string& path() const { return made_ ? path_ : empty_; }
  uint64_t bytes() const { return bytes_; }

 private:
  bool MakeFile();

  const std::string tempFolder_;
  CaptureFile& file_;
  const RunContext context_;
  std::string path_;
  const std::string empty_;
  bool made_ = false;
  bool failed_ = false;
  uint64_t bytes_ = 0;
};

// The run's end of the pipe the tool prints into.
class OutputPipe {
 public:
  virtual ~OutputPipe() = default;
  // Appends what can be read at once, at most `limit` bytes, without ever
  // waiting; false once no writer is left (the pipe is closed).
  virtual bool ReadAvailable(std::string* chunk, size_t limit) = 0;
};

// Waits for the tool as WaitInSlices does and, between short waits, moves
// what it printed into `capture`, so a tool stalls on a full pipe for at
// most kOutputPollMs. When the tool has ended, what it left in the pipe is
// taken too; a process it started that still holds the pipe does not keep
// the run waiting. Wait time is counted in requested slices: a tool that
// prints without pause may run a little past its limit.
WaitOutcome WaitAndCapture(uint64_t limitMs, const WaitSlice& waitSlice, OutputPipe& pipe,
                           OutputCapture& capture, const RunContext& context);
constexpr uint32_t kOutputPollMs = 20;
constexpr size_t kOutputChunk = 65536;

class ExternalCommand {
 public:
  // `command` is edited in place by Run(); every reference must outlive the
  // object. The two folders are kept for the tool's sake, not used here.
  // The tool's output goes to `outputPath` (no capture when it is empty);
  // `tempFolder` is the result folder the manifest names files below.
  ExternalCommand(const std::string& actionName, std::string& command, const RunContext& context,
                  const std::string& exeFolder, const std::string& scriptFolder,
                  const std::string& outputPath = std::string(),
                  const std::string& tempFolder = std::string());

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
  const std::string outputPath_;
  const std::string tempFolder_;
};

// The EXECUTE action as the dispatcher runs it (CollectorTable::execute):
// tool `request.name` with the command `request.value`, its output into
// `request.outputPath`. Windows only.
void ExternalCommandAction(ActionRequest& request);
