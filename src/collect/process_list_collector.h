#pragma once
// The PROCESS_LIST collector: the names of the running processes, one per
// line. On the NT family they come from the performance data (instance names
// of the "Process" object, pseudo-instances such as _Total and Idle
// included); elsewhere, and wherever the performance data holds no process
// object, from a process snapshot (executable file names).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "collect/collector.h"

// The index text just before the last string equal (ASCII case-insensitive)
// to `name` in a perflib "Counters" value: zero-terminated strings in
// pairs, index then name, ended by an empty string. Empty when not found.
// Never reads past `size`, terminated or not.
std::string FindCounterIndex(const char* counters, size_t size, const std::string& name);

// The instance names of the first object of a PERF_DATA_BLOCK, every one
// the buffer holds, as UTF-16 text without the terminator. False when the
// buffer is not a data block (no "PERF" signature). Offsets and lengths are
// checked against the buffer and the object: the walk stops at the first
// instance that does not fit.
bool PerformanceInstanceNames(const void* data, size_t size, std::vector<std::u16string>* names);

// "C:\\WINDOWS\\EXPLORER.EXE" -> "EXPLORER.EXE": everything up to the last
// "\\" removed, then any leading "\\" and "/".
std::string ExecutableBaseName(const std::string& exeFile);

class ProcessListCollector {
 public:
  ProcessListCollector(const std::string& outputPath, const RunContext& context)
      : output_(outputPath), context_(context) {}
  ProcessListCollector(const ProcessListCollector&) = delete;
  ProcessListCollector& operator=(const ProcessListCollector&) = delete;

  // Writes the list and the closing entry. Always true.
  bool Run();

  // The two methods; each answers the number of lines it wrote.
  size_t ListFromPerformanceData();
  // `module` holds the snapshot functions ("KERNEL32.DLL"); nothing is
  // written when it lacks any of them.
  size_t ListFromSnapshot(const char* module = "KERNEL32.DLL");

 private:
  LogFile output_;
  RunContext context_;
};

// The lines for a performance-data answer: the instance names in the
// system code page, each cut to 259 bytes.
// False when the answer is not a data block. Windows only.
bool ProcessLinesFromPerformanceData(const void* data, size_t size,
                                     std::vector<std::string>* lines);

// The dispatcher's MISCELLANEOUS PROCESS_LIST entry: writes the list to
// request.outputPath (script folder\name.txt).
void ProcessListAction(ActionRequest& request);
