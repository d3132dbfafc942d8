#include <windows.h>
// after windows.h
#include <tlhelp32.h>
#include <winperf.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "collect/process_list_collector.h"
#include "sys/code_page_win.h"
#include "sys/handles_win.h"

// The portable walk reads the records at these offsets.
static_assert(sizeof(PERF_DATA_BLOCK) == 88 && offsetof(PERF_DATA_BLOCK, HeaderLength) == 24 &&
                  offsetof(PERF_DATA_BLOCK, NumObjectTypes) == 28,
              "PERF_DATA_BLOCK layout");
static_assert(sizeof(PERF_OBJECT_TYPE) == 64 && offsetof(PERF_OBJECT_TYPE, NumInstances) == 40,
              "PERF_OBJECT_TYPE layout");
static_assert(sizeof(PERF_INSTANCE_DEFINITION) == 24 &&
                  offsetof(PERF_INSTANCE_DEFINITION, NameOffset) == 16,
              "PERF_INSTANCE_DEFINITION layout");

namespace {

// Process-wide: once a version test has found the NT family, a later test
// that cannot read the version still takes the performance data.
bool ntFamilySeen = false;

bool NtFamily() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    ntFamilySeen = true;
  }
  return ntFamilySeen;
}

// perflib's "Counters" is produced on request on newer systems, so its size
// may change between the size query and the read: retry a few times.
bool ReadRegistryValue(HKEY key, const char* name, std::vector<char>* data) {
  DWORD size = 0;
  if (::RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
    return false;
  }
  for (int attempt = 0; attempt < 4; ++attempt) {
    data->assign(size + 2, 0);  // two spare zeros end an unterminated list
    DWORD got = size;
    const LONG status = ::RegQueryValueExA(key, name, nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(data->data()), &got);
    if (status == ERROR_SUCCESS) {
      data->resize(std::min<size_t>(got, size) + 2);
      return true;
    }
    if (status != ERROR_MORE_DATA) return false;
    size = std::max<DWORD>(got, size + 4096);
  }
  return false;
}

// HKEY_PERFORMANCE_DATA gives no useful size on ERROR_MORE_DATA: the buffer
// grows until the answer fits, up to a bound.
bool ReadPerformanceData(const std::string& objectIndex, std::vector<unsigned char>* data) {
  constexpr DWORD kFirstSize = 51200;
  constexpr DWORD kStep = 25600;
  constexpr DWORD kLargest = 64u << 20;
  for (DWORD capacity = kFirstSize; capacity <= kLargest;) {
    data->assign(capacity, 0);
    DWORD got = capacity;
    const LONG status = ::RegQueryValueExA(HKEY_PERFORMANCE_DATA, objectIndex.c_str(), nullptr,
                                           nullptr, data->data(), &got);
    if (status == ERROR_SUCCESS) {
      data->resize(std::min(got, capacity));
      return true;
    }
    if (status != ERROR_MORE_DATA) return false;
    // At least the usual step, more for large answers, so that a busy
    // server needs a few rounds rather than hundreds.
    capacity += std::max(kStep, capacity / 2);
  }
  return false;
}

// Into the system code page, cut to the 259 bytes a name may take.
std::string NarrowName(const std::u16string& name) {
  std::string narrow;
  sys::CodePageText(reinterpret_cast<const wchar_t*>(name.data()), name.size(), 0, &narrow);
  if (narrow.size() > MAX_PATH - 1) narrow.resize(MAX_PATH - 1);
  return narrow;
}

}  // namespace

bool ProcessLinesFromPerformanceData(const void* data, size_t size,
                                     std::vector<std::string>* lines) {
  lines->clear();
  std::vector<std::u16string> names;
  if (!PerformanceInstanceNames(data, size, &names)) return false;
  for (const std::u16string& name : names) lines->push_back(NarrowName(name));
  return true;
}

bool ProcessListCollector::Run() {
  size_t lines = 0;
  if (NtFamily()) lines = ListFromPerformanceData();
  // Performance counters can be switched off or damaged on NT (and Wine has
  // no process object at all); the snapshot still knows the processes.
  if (lines == 0 && !context_.StopRequested()) ListFromSnapshot();
  if (output_.failed()) {
    context_.Log(SeverityError, Format("Unable to write %s", output_.path().c_str()));
    return false;
  }
  context_.Log(SeverityInformation, Format("Process list dumped to %s", output_.path().c_str()));
  return true;
}

size_t ProcessListCollector::ListFromPerformanceData() {
  const std::string keyName =
      Format("%s\\%03x", "software\\microsoft\\windows nt\\currentversion\\perflib", 9);
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return 0;
  }
  sys::RegKey perflib(opened);
  std::vector<char> counters;
  if (!ReadRegistryValue(perflib.get(), "Counters", &counters)) return 0;
  const std::string processIndex = FindCounterIndex(counters.data(), counters.size(), "process");
  if (processIndex.empty()) return 0;

  // Closing this key releases what the performance providers hold.
  sys::RegKey performance(HKEY_PERFORMANCE_DATA);
  std::vector<unsigned char> data;
  std::vector<std::string> lines;
  if (!ReadPerformanceData(processIndex, &data) ||
      !ProcessLinesFromPerformanceData(data.data(), data.size(), &lines)) {
    return 0;
  }
  for (const std::string& line : lines) output_.AppendLine(line);
  return lines.size();
}

size_t ProcessListCollector::ListFromSnapshot(const char* module) {
  // Looked up at run time: the oldest NT versions lack them. Not a counted
  // reference, so nothing to free.
  HMODULE library = ::GetModuleHandleA(module);
  if (library == nullptr) return 0;
  using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
  using ProcessStepFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
  const auto create = reinterpret_cast<CreateSnapshotFn>(
      reinterpret_cast<void*>(::GetProcAddress(library, "CreateToolhelp32Snapshot")));
  const auto first = reinterpret_cast<ProcessStepFn>(
      reinterpret_cast<void*>(::GetProcAddress(library, "Process32First")));
  const auto next = reinterpret_cast<ProcessStepFn>(
      reinterpret_cast<void*>(::GetProcAddress(library, "Process32Next")));
  if (create == nullptr || first == nullptr || next == nullptr) return 0;

  sys::FileHandle snapshot(create(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return 0;
  size_t lines = 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = first(snapshot.get(), &entry); more; more = next(snapshot.get(), &entry)) {
    const std::string exeFile(entry.szExeFile, strnlen(entry.szExeFile, sizeof entry.szExeFile));
    output_.AppendLine(ExecutableBaseName(exeFile));
    ++lines;
  }
  return lines;
}

void ProcessListAction(ActionRequest& request) {
  ProcessListCollector(request.outputPath, request.context).Run();
}
