// A stand-in for a script's external tool. Its arguments are steps, done in
// order:
//   write PATH TEXT   creates PATH holding TEXT
//   line PATH         creates PATH holding this program's command line
//   pid PATH          creates PATH holding this process's id
//   sleep MS          sleeps MS milliseconds
//   exit CODE         ends with CODE
//   crash             ends with an access violation
//   hold PATH MS      creates PATH and keeps it open, unshared, MS milliseconds
//   move PATH REPORT  renames PATH to PATH.moved; appends "PATH moved" or
//                     "PATH refused ERROR" to REPORT
//   await PATH MS     waits until PATH exists, ends with 97 if it has not after MS milliseconds
// It ends with 0 after the last step, and with 99 on a step it does not know.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Put(const char* path, const std::string& text, DWORD holdMs = 0) {
  HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::Sleep(holdMs);
  ::CloseHandle(file);
  return ok && written == text.size();
}

}  // namespace

static LONG WINAPI EndWithTheStatus(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* step = argv[i];
    const bool hasArg = i + 1 < argc;
    if (std::strcmp(step, "write") == 0 && i + 2 < argc) {
      if (!Put(argv[i + 1], argv[i + 2])) return 98;
      i += 2;
    } else if (std::strcmp(step, "line") == 0 && hasArg) {
      if (!Put(argv[++i], ::GetCommandLineA())) return 98;
    } else if (std::strcmp(step, "pid") == 0 && hasArg) {
      if (!Put(argv[++i], std::to_string(::GetCurrentProcessId()))) return 98;
    } else if (std::strcmp(step, "sleep") == 0 && hasArg) {
      ::Sleep(static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10)));
    } else if (std::strcmp(step, "exit") == 0 && hasArg) {
      return std::atoi(argv[++i]);
    } else if (std::strcmp(step, "crash") == 0) {
      // Ended by the system with the exception's status, as an unattended
      // crash ends: no debugger or crash box started for a person to close.
      ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
      ::SetUnhandledExceptionFilter(EndWithTheStatus);
      ::RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
    } else if (std::strcmp(step, "move") == 0 && i + 2 < argc) {
      const std::string from = argv[i + 1];
      const bool moved = ::MoveFileExA(from.c_str(), (from + ".moved").c_str(), 0) != FALSE;
      const std::string line =
          from + (moved ? " moved" : " refused " + std::to_string(::GetLastError())) + "\r\n";
      HANDLE report =
          ::CreateFileA(argv[i + 2], FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
      if (report == INVALID_HANDLE_VALUE) return 98;
      DWORD written = 0;
      ::WriteFile(report, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      ::CloseHandle(report);
      i += 2;
    } else if (std::strcmp(step, "await") == 0 && i + 2 < argc) {
      const DWORD start = ::GetTickCount();
      while (::GetFileAttributesA(argv[i + 1]) == INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount() - start > std::strtoul(argv[i + 2], nullptr, 10)) return 97;
        ::Sleep(20);
      }
      i += 2;
    } else if (std::strcmp(step, "hold") == 0 && i + 2 < argc) {
      if (!Put(argv[i + 1], "held", std::strtoul(argv[i + 2], nullptr, 10))) return 98;
      i += 2;
    } else {
      return 99;
    }
  }
  return 0;
}
