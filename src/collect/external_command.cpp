#include "collect/external_command.h"

#include <algorithm>

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

ExternalCommand::ExternalCommand(const std::string& actionName, std::string& command,
                                 const RunContext& context, const std::string& exeFolder,
                                 const std::string& scriptFolder)
    : context_(context),
      command_(command),
      exeFolder_(exeFolder),
      scriptFolder_(scriptFolder),
      actionName_(actionName) {}
