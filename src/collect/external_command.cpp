#include "collect/external_command.h"

#include <algorithm>
#include <set>

#include "run/file_names.h"
#include "run/text.h"

ExecuteValue ParseExecuteValue(const std::string& value) {
  ExecuteValue parsed;
  parsed.commandLine = value;
  const size_t blank = value.find(' ');
  if (value.empty() || value[0] != '~' || blank == std::string::npos || blank < 2) return parsed;
  parsed.minutesText = value.substr(1, blank - 1);
  parsed.timeLimitMs = MinutesToMilliseconds(parsed.minutesText);
  const size_t start = value.find_first_not_of(' ', blank);
  parsed.commandLine = start == std::string::npos ? std::string() : value.substr(start);
  return parsed;
}

uint64_t MinutesToMilliseconds(const std::string& minutesText) {
  // Beyond about 8000 years the exact figure no longer matters.
  constexpr uint64_t kMaxMinutes = 0xFFFFFFFFu;
  uint64_t minutes = 0;
  for (char c : minutesText) {
    if (c < '0' || c > '9') break;
    minutes = std::min<uint64_t>(kMaxMinutes, minutes * 10 + static_cast<uint64_t>(c - '0'));
  }
  return minutes * 60 * 1000;
}

std::vector<char> CommandLineBuffer(const std::string& commandLine) {
  std::vector<char> buffer(std::max<size_t>(256, commandLine.size() + 1), '\0');
  std::copy(commandLine.begin(), commandLine.end(), buffer.begin());
  return buffer;
}

CommandEntry ToolExitEntry(uint32_t exitCode) {
  if (exitCode == 0) return {SeverityInformation, "Command executed successfully"};
  if (exitCode >= 0xC0000000u) {
    return {SeverityError, Format("Command ended abnormally with status 0x%08X", exitCode)};
  }
  return {SeverityWarning, Format("Command returned exit code %u", exitCode)};
}

WaitOutcome WaitInSlices(uint64_t limitMs, const WaitSlice& waitSlice, const RunContext& context) {
  uint64_t remaining = limitMs;
  for (;;) {
    const uint32_t slice = static_cast<uint32_t>(std::min<uint64_t>(remaining, kWaitSliceMs));
    const WaitOutcome outcome = waitSlice(slice);
    if (outcome != WaitOutcome::TimedOut) return outcome;
    remaining -= slice;
    if (remaining == 0) return WaitOutcome::TimedOut;
    if (context.StopRequested()) return WaitOutcome::Stopped;
  }
}

OutputCapture::OutputCapture(const std::string& path, const std::string& tempFolder,
                             CaptureFile& file, const RunContext& context)
    : tempFolder_(tempFolder), file_(file), context_(context), path_(path) {}

bool OutputCapture::MakeFile() {
  const std::string folder = FolderOf(path_);
  const std::string wanted = NameOf(path_);
  std::set<std::string> taken;
  std::string name = wanted;
  // Beyond this many names something else is wrong with the folder.
  constexpr int kMaxTries = 100;
  uint32_t error = 0;
  for (int tries = 0; tries < kMaxTries; ++tries) {
    const std::string candidate = JoinPath(folder, name);
    switch (file_.Create(candidate, &error)) {
      case CaptureFile::Made::Created:
        path_ = candidate;
        made_ = true;
        return true;
      case CaptureFile::Made::Taken:
        taken.insert(UpperAscii(name));
        name = FreeFileName(
            wanted, [&taken](const std::string& n) { return taken.count(UpperAscii(n)) != 0; });
        continue;
      case CaptureFile::Made::Failed:
        break;
    }
    break;
  }
  context_.Log(SeverityError, Format("Unable to create %s for the output of the command (%u)",
                                     JoinPath(folder, name).c_str(), static_cast<unsigned>(error)));
  failed_ = true;
  return false;
}

void OutputCapture::Add(const char* data, size_t size) {
  if (size == 0 || failed_) return;
  if (!made_ && !MakeFile()) return;
  uint32_t error = 0;
  if (!file_.Write(data, size, &error)) {
    // What was written stays: the entry says the file lacks the rest.
    context_.Log(SeverityError, Format("Unable to write the output of the command to %s (%u): "
                                       "the rest of it is lost",
                                       path_.c_str(), static_cast<unsigned>(error)));
    failed_ = true;
    return;
  }
  bytes_ += size;
}

void OutputCapture::Finish(WaitOutcome outcome, const std::string& minutesText) {
  if (!made_) {
    if (!failed_) context_.Log(SeverityInformation, "Command printed nothing");
    return;
  }
  file_.Close();
  context_.AddFile(RelativeToFolder(path_, tempFolder_), "");
  context_.Log(SeverityInformation, Format("Command output saved to %s (%llu bytes)", path_.c_str(),
                                           static_cast<unsigned long long>(bytes_)));
  if (outcome == WaitOutcome::Stopped) {
    context_.Log(SeverityWarning, Format("Command output was cut when the run was stopped: %s "
                                         "holds what it printed until then",
                                         path_.c_str()));
  } else if (outcome != WaitOutcome::Ended) {
    context_.Log(SeverityWarning, Format("Command output was cut at the limit of %s minute(s): "
                                         "%s holds what it printed until then",
                                         minutesText.c_str(), path_.c_str()));
  }
}

WaitOutcome WaitAndCapture(uint64_t limitMs, const WaitSlice& waitSlice, OutputPipe& pipe,
                           OutputCapture& capture, const RunContext& context) {
  bool open = true;
  std::string chunk;
  // Moves up to `rounds` chunks; whether any output came.
  const auto drain = [&](int rounds) {
    bool got = false;
    for (int i = 0; i < rounds && open; ++i) {
      chunk.clear();
      open = pipe.ReadAvailable(&chunk, kOutputChunk);
      if (chunk.empty()) break;
      capture.Add(chunk.data(), chunk.size());
      got = true;
    }
    return got;
  };
  // A tool printing fast gets short waits; a quiet one is looked at every
  // kOutputPollMs.
  constexpr int kRoundsPerLook = 16;
  constexpr uint32_t kFlowingStepMs = 5;
  const WaitSlice pumping = [&](uint32_t milliseconds) {
    uint32_t left = milliseconds;
    for (;;) {
      const bool flowing = drain(kRoundsPerLook);
      const uint32_t step = std::min(left, flowing ? kFlowingStepMs : kOutputPollMs);
      const WaitOutcome outcome = waitSlice(step);
      if (outcome != WaitOutcome::TimedOut) return outcome;
      left -= step;
      if (left == 0) return WaitOutcome::TimedOut;
    }
  };
  const WaitOutcome outcome = WaitInSlices(limitMs, pumping, context);
  // An ended tool's last output is all in the pipe, which holds at most a
  // chunk or two: whatever keeps coming is a process it left behind.
  constexpr int kRoundsAfterEnd = 64;
  drain(outcome == WaitOutcome::Ended ? kRoundsAfterEnd : kRoundsPerLook);
  return outcome;
}

ExternalCommand::ExternalCommand(const std::string& actionName, std::string& command,
                                 const RunContext& context, const std::string& exeFolder,
                                 const std::string& scriptFolder, const std::string& outputPath,
                                 const std::string& tempFolder)
    : context_(context),
      command_(command),
      exeFolder_(exeFolder),
      scriptFolder_(scriptFolder),
      actionName_(actionName),
      outputPath_(outputPath),
      tempFolder_(tempFolder) {}
