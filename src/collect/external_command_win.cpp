#include <windows.h>

#include <string>
#include <vector>

#include "collect/external_command.h"
#include "collect/process_wait_win.h"
#include "expr/path_resolver.h"
#include "run/local_text.h"
#include "run/text.h"
#include "sys/handles_win.h"

bool ExternalCommand::Run() {
  const ExecuteValue parsed = ParseExecuteValue(command_);
  command_ = parsed.commandLine;

  // Outside a run there is no resolver, and nothing to expand.
  PathResolver* resolver = context_.resolver;
  if (resolver && !resolver->Resolve(&command_)) {
    // The tool never runs: what it should have collected is missing.
    context_.Log(SeverityError, Format("Unable to parse command \"%s\"", command_.c_str()));
    context_.Detail("...");
    return false;
  }
  context_.Log(SeverityInformation,
               Format("Command must return within %s minute(s)", parsed.minutesText.c_str()));

  // No program name: the system takes it from the command line, the way a
  // user's command line would be read. A console tool gets its own console.
  std::vector<char> commandLine = CommandLineBuffer(command_);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
    context_.Log(SeverityError,
                 Format("Unable to execute command (%i)", static_cast<int>(::GetLastError())));
    context_.Detail("...");
    return false;
  }
  sys::KernelHandle process(started.hProcess);
  sys::KernelHandle thread(started.hThread);

  context_.Detail(FillPlaceholder(
      LocalText("Execute", "WaitMsg", "Waiting for tool... (%s minutes max)"), parsed.minutesText));
  const WaitOutcome outcome = WaitInSlices(
      parsed.timeLimitMs,
      [&process](uint32_t milliseconds) { return WaitForProcess(process.get(), milliseconds); },
      context_);
  // A tool past its limit (or abandoned on a stop request) keeps running.
  switch (outcome) {
    case WaitOutcome::Ended: {
      DWORD exitCode = 0;
      if (!::GetExitCodeProcess(process.get(), &exitCode)) {
        context_.Log(SeverityWarning, Format("Command ended; its exit code is unknown (%i)",
                                             static_cast<int>(::GetLastError())));
        break;
      }
      const CommandEntry entry = ToolExitEntry(exitCode);
      context_.Log(entry.severity, entry.message);
      break;
    }
    case WaitOutcome::Stopped:
      context_.Log(SeverityInformation, "Command abandoned: user requested termination");
      break;
    case WaitOutcome::TimedOut:
    case WaitOutcome::Failed:
      context_.Log(SeverityError, Format("Command has not returned after %s minute(s)",
                                         parsed.minutesText.c_str()));
      break;
  }
  context_.Detail("...");
  return false;
}

void ExternalCommandAction(ActionRequest& request) {
  ExternalCommand command(request.name, request.value, request.context, request.exeFolder,
                          request.scriptFolder);
  command.Run();
}
