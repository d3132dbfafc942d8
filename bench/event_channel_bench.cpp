// Records per second of the EVENT_CHANNELS action through the real loading
// and calling code, against the test wevtapi.dll in the system folder
// (bench/run_bench.sh puts it there with 20,000 events of its own).
// Windows (Wine) only. The time covers the export, its check and the rows.
//   event_channel_bench.exe [ROWS]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "collect/event_channel_collector.h"

int main(int argc, char** argv) {
  const std::string rows = argc > 1 ? argv[1] : "20000";
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  const std::string folder =
      std::string(temp) + "brindle_channel_bench_" + std::to_string(::GetCurrentProcessId());
  ::CreateDirectoryA(folder.c_str(), nullptr);
  RunContext context;
  context.stop = nullptr;
  ActionRequest request = ActionRequest::ForRun(RunPassRun, context, folder, folder, folder);
  request.name = "Bench";
  request.value = "Brindle-Test/Operational /rows:" + rows;
  // CPU time as well: on a shared machine the wall clock measures the others.
  const auto cpu = [] {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto value = [](const FILETIME& t) {
      return (static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
  };
  const double cpuStart = cpu();
  const auto start = std::chrono::steady_clock::now();
  EventChannelsAction(request);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpuSeconds = cpu() - cpuStart;
  const std::string csv = folder + "\\Bench.csv", evtx = folder + "\\Bench.evtx";
  size_t lines = 0;
  if (std::FILE* file = std::fopen(csv.c_str(), "rb")) {
    for (int c; (c = std::fgetc(file)) != EOF;) lines += c == '\n';
    std::fclose(file);
  }
  // Each row's message holds one line break of its own.
  const size_t records = lines > 0 ? (lines - 1) / 2 : 0;
  std::printf(
      "records: %zu in %.2f s: %.0f records/s; %.2f s of CPU: %.0f records/s "
      "(export, check and rows)\n",
      records, seconds, records / seconds, cpuSeconds, records / cpuSeconds);
  ::DeleteFileA(csv.c_str());
  ::DeleteFileA(evtx.c_str());
  ::RemoveDirectoryA(folder.c_str());
  return records > 0 ? 0 : 1;
}
