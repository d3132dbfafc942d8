// Records per second of the event-log export, with and without the cache
// of message files, on a generated log fed through the collector's seam.
// Windows (Wine) only: the registry, the message file and FormatMessage are
// the real ones.
//   event_log_bench.exe MESSAGE_DLL [RECORDS] [SOURCES]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/support/event_records.h"
#include "collect/event_log_collector.h"

extern "C" WINADVAPI LONG WINAPI RegDeleteTreeA(HKEY key, LPCSTR subkey);

namespace {

const char kKeys[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

void Register(const std::string& source, const std::string& dll) {
  HKEY key = nullptr;
  if (::RegCreateKeyA(HKEY_LOCAL_MACHINE, (kKeys + source).c_str(), &key) != ERROR_SUCCESS) return;
  for (const char* value : {"EventMessageFile", "CategoryMessageFile"}) {
    ::RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                     static_cast<DWORD>(dll.size() + 1));
  }
  ::RegCloseKey(key);
}

double Seconds(EventLogReader& reader, const std::string& folder, bool cache) {
  ::DeleteFileA((folder + "\\Application Log.csv").c_str());
  ::DeleteFileA((folder + "\\Application Log.evt").c_str());
  RunContext context;
  context.stop = nullptr;
  EventLogCollector collector(folder + "\\", context, reader, SystemEventTextLookups(),
                              SystemPathLookups());
  collector.SelectLogs(true, false, false);
  collector.UseMessageCache(cache);
  const auto start = std::chrono::steady_clock::now();
  collector.Run(folder);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: event_log_bench MESSAGE_DLL [RECORDS] [SOURCES]\n");
    return 2;
  }
  const std::string dll = argv[1];
  const int records = argc > 2 ? std::atoi(argv[2]) : 20000;
  const int sources = argc > 3 ? std::atoi(argv[3]) : 8;
  const std::string tag = std::to_string(::GetCurrentProcessId());
  for (int s = 0; s < sources; ++s) Register("BrindleBench" + tag + "_" + std::to_string(s), dll);

  // Whole 64 KB blocks, as the system hands them out.
  testing_support::BlockReader reader;
  std::vector<std::string> blocks(1);
  for (int i = 0; i < records; ++i) {
    testing_support::RecordSpec spec;
    spec.time = 1700000000u + static_cast<uint32_t>(i);
    spec.eventId = i % 3 == 0 ? 101 : 100;
    spec.category = 1;
    spec.source = "BrindleBench" + tag + "_" + std::to_string(i % sources);
    spec.strings = {"Service" + std::to_string(i), "reason, " + std::to_string(i)};
    const std::string bytes = testing_support::RecordBytes(spec);
    if (blocks.back().size() + bytes.size() > kEventReadBlockSize) blocks.emplace_back();
    blocks.back() += bytes;
  }
  reader.blocks = {{"Application", blocks}};

  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "brindle_event_bench_" + tag;
  ::CreateDirectoryA(folder.c_str(), nullptr);
  const double cached = Seconds(reader, folder, true);
  const double uncached = Seconds(reader, folder, false);
  std::printf("records: %d from %d sources\n", records, sources);
  std::printf("with cache:    %.0f records/s (%.2f s)\n", records / cached, cached);
  std::printf("without cache: %.0f records/s (%.2f s)\n", records / uncached, uncached);
  std::printf("speed-up: %.1fx\n", uncached / cached);

  ::DeleteFileA((folder + "\\Application Log.csv").c_str());
  ::RemoveDirectoryA(folder.c_str());
  for (int s = 0; s < sources; ++s) {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE,
                     (kKeys + ("BrindleBench" + tag + "_" + std::to_string(s))).c_str());
  }
  return 0;
}
