// The handle-list attribute of CreateProcess is declared from Vista on; it
// is looked up at run time, so the program still starts on XP.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

#include "collect/external_command.h"
#include "collect/process_wait_win.h"
#include "expr/path_resolver.h"
#include "run/local_text.h"
#include "run/text.h"
#include "sys/code_page_win.h"
#include "sys/handles_win.h"

namespace {

class CaptureFileWin : public CaptureFile {
 public:
  Made Create(const std::string& path, uint32_t* error) override {
    // CREATE_NEW fails on whatever has the name, a link included, so the
    // output never lands in a file the run did not make.
    file_.Attach(::CreateFileW(sys::WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_.valid()) return Made::Created;
    *error = ::GetLastError();
    if (*error == ERROR_FILE_EXISTS || *error == ERROR_ALREADY_EXISTS) return Made::Taken;
    // A folder of that name answers "access denied" on Windows.
    if (*error == ERROR_ACCESS_DENIED && sys::PathExists(path)) return Made::Taken;
    return Made::Failed;
  }
  bool Write(const char* data, size_t size, uint32_t* error) override {
    DWORD written = 0;
    if (::WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) &&
        written == size) {
      return true;
    }
    *error = ::GetLastError();
    return false;
  }
  void Close() override { file_.Close(); }

 private:
  sys::FileHandle file_;
};

class PipeWin : public OutputPipe {
 public:
  explicit PipeWin(HANDLE read) : read_(read) {}
  bool ReadAvailable(std::string* chunk, size_t limit) override {
    DWORD available = 0;
    if (!::PeekNamedPipe(read_.get(), nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    const size_t want = available < limit ? available : limit;
    const size_t at = chunk->size();
    chunk->resize(at + want);
    DWORD got = 0;
    // No wait: the bytes are already in the pipe, and the run is its only reader.
    const BOOL ok = ::ReadFile(read_.get(), &(*chunk)[at], static_cast<DWORD>(want), &got, nullptr);
    chunk->resize(at + got);
    return ok != FALSE;
  }
  // The tool's writes fail from here on; they never reach the run's file.
  void Close() { read_.Close(); }

 private:
  sys::KernelHandle read_;
};

// InitializeProcThreadAttributeList and its two companions, present from
// Vista on. Without them the output handle is still the only inheritable
// one the run holds.
struct AttributeCalls {
  decltype(&::InitializeProcThreadAttributeList) initialize = nullptr;
  decltype(&::UpdateProcThreadAttribute) update = nullptr;
  decltype(&::DeleteProcThreadAttributeList) remove = nullptr;
};

const AttributeCalls& Attributes() {
  static const AttributeCalls calls = [] {
    AttributeCalls found;
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return found;
    const auto load = [kernel](auto* target, const char* name) {
      *target = reinterpret_cast<std::remove_pointer_t<decltype(target)>>(
          reinterpret_cast<void*>(::GetProcAddress(kernel, name)));
    };
    load(&found.initialize, "InitializeProcThreadAttributeList");
    load(&found.update, "UpdateProcThreadAttribute");
    load(&found.remove, "DeleteProcThreadAttributeList");
    if (!found.initialize || !found.update || !found.remove) found = AttributeCalls();
    return found;
  }();
  return calls;
}

// An attribute list naming the one handle the tool may inherit; empty
// where the system has no such list.
class InheritOnly {
 public:
  explicit InheritOnly(HANDLE handle) : handle_(handle) {
    const AttributeCalls& calls = Attributes();
    if (handle == nullptr || calls.initialize == nullptr) return;
    SIZE_T size = 0;
    calls.initialize(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (size == 0 || !calls.initialize(list, 1, 0, &size)) return;
    if (!calls.update(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle_, sizeof handle_, nullptr,
                      nullptr)) {
      calls.remove(list);
      return;
    }
    list_ = list;
  }
  ~InheritOnly() {
    if (list_ != nullptr) Attributes().remove(list_);
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

 private:
  HANDLE handle_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// A pipe whose write end, and only that, the tool inherits.
bool MakeOutputPipe(sys::KernelHandle* read, sys::KernelHandle* write) {
  HANDLE r = nullptr, w = nullptr;
  if (!::CreatePipe(&r, &w, nullptr, static_cast<DWORD>(kOutputChunk))) return false;
  read->Attach(r);
  write->Attach(w);
  return ::SetHandleInformation(w, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) != FALSE;
}

}  // namespace

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

  sys::KernelHandle readEnd, writeEnd;
  bool capturing = !outputPath_.empty();
  if (capturing && !MakeOutputPipe(&readEnd, &writeEnd)) {
    // The tool still runs: the files it writes itself are worth having.
    context_.Log(SeverityError, Format("Unable to capture the output of the command (%i)",
                                       static_cast<int>(::GetLastError())));
    readEnd.Close();
    writeEnd.Close();
    capturing = false;
  }
  // No program name: the system takes it from the command line, the way a
  // user's command line would be read. A console tool gets a console no
  // one sees: nothing flashes on the customer's screen. Its input is none,
  // so a tool that asks a question reads an end instead of waiting.
  std::vector<char> commandLine = CommandLineBuffer(command_);
  STARTUPINFOEXA startup = {};
  startup.StartupInfo.cb = sizeof startup.StartupInfo;
  DWORD flags = CREATE_NO_WINDOW;
  InheritOnly inheritOnly(writeEnd.get());
  if (capturing) {
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdOutput = writeEnd.get();
    startup.StartupInfo.hStdError = writeEnd.get();
    if (inheritOnly.list() != nullptr) {
      startup.StartupInfo.cb = sizeof startup;
      startup.lpAttributeList = inheritOnly.list();
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
  }
  PROCESS_INFORMATION started = {};
  const BOOL ok = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, capturing, flags,
                                   nullptr, nullptr, &startup.StartupInfo, &started);
  const DWORD startError = ::GetLastError();
  // The tool holds its own copy now: the pipe closes when the tool (and
  // whatever it started with that copy) is gone.
  writeEnd.Close();
  if (!ok) {
    context_.Log(SeverityError,
                 Format("Unable to execute command (%i)", static_cast<int>(startError)));
    context_.Detail("...");
    return false;
  }
  sys::KernelHandle process(started.hProcess);
  sys::KernelHandle thread(started.hThread);

  context_.Detail(FillPlaceholder(
      LocalText("Execute", "WaitMsg", "Waiting for tool... (%s minutes max)"), parsed.minutesText));
  const WaitSlice waitSlice = [&process](uint32_t milliseconds) {
    return WaitForProcess(process.get(), milliseconds);
  };
  CaptureFileWin file;
  PipeWin pipe(readEnd.Detach());
  OutputCapture capture(outputPath_, tempFolder_, file, context_);
  const WaitOutcome outcome =
      capturing ? WaitAndCapture(parsed.timeLimitMs, waitSlice, pipe, capture, context_)
                : WaitInSlices(parsed.timeLimitMs, waitSlice, context_);
  pipe.Close();
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
  if (capturing) capture.Finish(outcome, parsed.minutesText);
  context_.Detail("...");
  return false;
}

void ExternalCommandAction(ActionRequest& request) {
  ExternalCommand command(request.name, request.value, request.context, request.exeFolder,
                          request.scriptFolder, request.outputPath, request.tempFolder);
  command.Run();
}
