#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "collect/external_command.h"
#include "collect/process_wait_win.h"
#include "collect/registry_collector.h"
#include "expr/registry_root_win.h"
#include "sys/file_system.h"
#include "sys/handles_win.h"

namespace {

bool OpenKey(HKEY parent, const std::string& subkey, sys::RegKey* key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(parent, subkey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  key->Attach(opened);
  return true;
}

// RegOpenKeyExA converts the name into the thread's static buffer of
// MAX_PATH characters (on Windows as under Wine), so a longer path fails
// although the key exists. A level at a time, every name fits: a key name
// has at most 255 characters. The system's answer when it fails.
LONG OpenKeyPath(HKEY root, const std::string& subkey, sys::RegKey* key) {
  sys::RegKey current;
  HKEY parent = root;
  size_t start = 0;
  for (;;) {
    size_t end = subkey.find('\\', start);
    if (end == std::string::npos) end = subkey.size();
    HKEY opened = nullptr;
    const LONG status =
        ::RegOpenKeyExA(parent, subkey.substr(start, end - start).c_str(), 0, KEY_READ, &opened);
    if (status != ERROR_SUCCESS) return status;
    current.Attach(opened);
    parent = opened;
    if (end == subkey.size()) break;
    start = end + 1;
  }
  *key = std::move(current);
  return ERROR_SUCCESS;
}

// Key names are at most 255 characters, so a more-data answer (which some
// systems give for DBCS names) still leaves a usable, terminated name.
bool SubkeyName(HKEY key, DWORD index, std::string* name) {
  char buffer[257] = {};
  DWORD size = 256;
  const LONG status =
      ::RegEnumKeyExA(key, index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return false;
  *name = buffer;
  return true;
}

// regedit.exe lives in the Windows folder (and, on 64-bit systems, in the
// 32-bit system folder as well). Naming it in full keeps CreateProcessA from
// picking up a program of that name beside the executable or in the current
// folder. An empty answer makes the start fail, and the manual export runs.
std::string SystemEditorProgram() {
  char folder[MAX_PATH] = {};
  UINT n = ::GetSystemDirectoryA(folder, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    const std::string path = std::string(folder) + "\\regedit.exe";
    if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
  }
  n = ::GetSystemWindowsDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(folder) + "\\regedit.exe";
}

// The export counts only when it left something: the editor ends with 0
// whether or not it wrote the file.
bool FileHasData(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA facts{};
  return ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &facts) &&
         (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (facts.nFileSizeLow != 0 || facts.nFileSizeHigh != 0);
}

template <typename Buffer>
void GrowTo(Buffer* buffer, size_t size) {
  if (buffer->size() < size) buffer->assign(size, 0);
}

}  // namespace

bool RegistryCollector::Run() {
  dumpCount_ = 0;
  writtenCount_ = 0;
  if (editorProgram_.empty()) editorProgram_ = SystemEditorProgram();
  // A root that names nothing would otherwise pass for a key not there.
  const std::string problem = RegistrySpecificationProblem(keySpecification_);
  if (!problem.empty()) {
    context_.Log(SeverityError, problem);
    context_.Detail("...");
    return true;
  }
  if (IsKeyPathSpecification(keySpecification_)) {
    searchMode_ = false;
    ExportKeyPath(keySpecification_);
    if (writtenCount_ > 0) {
      context_.Log(SeverityInformation, Format("Registry chunk dumped to %s", outputPath_.c_str()));
    }
  } else {
    searchMode_ = true;
    numbered_ = SplitNumberedOutput(outputPath_);
    outputPath_ = NumberedPattern(numbered_);
    for (int i = 0; i < kRegistryRootCount; ++i) {
      const auto root = static_cast<RegistryRoot>(i);
      context_.Detail(std::string(RegistryRootName(root)) + "...");
      WalkKey(RegistryRootKey(root), kSearch, RegistryRootName(root));
    }
    if (writtenCount_ > 0) {
      context_.Log(SeverityInformation,
                   Format("Registry chunk(s) dumped to %s", outputPath_.c_str()));
    }
  }
  if (dumpCount_ == 0) context_.Log(SeverityInformation, "No matching keys found");
  context_.Detail("...");
  return true;
}

void RegistryCollector::ExportKeyPath(const std::string& path) {
  std::string rootName, subkey;
  if (!SplitKeyPath(path, &rootName, &subkey)) return;
  const RegistryRoot root = ParseRegistryRoot(rootName);
  if (root == RegistryRootNone) return;
  sys::RegKey key;
  const LONG status = OpenKeyPath(RegistryRootKey(root), subkey, &key);
  // A key that is not there is no failure: "No matching keys found" says it.
  if (status == ERROR_FILE_NOT_FOUND) return;
  if (status != ERROR_SUCCESS) {
    ++dumpCount_;
    context_.Log(SeverityError, Format("Unable to open the registry key [%s] (%d)", path.c_str(),
                                       static_cast<int>(status)));
    return;
  }
  WalkKey(key.get(), kExport, path);
}

void RegistryCollector::WalkKey(Key key, int mode, const std::string& path) {
  if (context_.StopRequested()) return;
  DWORD subkeys = 0;
  const LONG status = ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr);
  if (status != ERROR_SUCCESS) {
    if (mode == kExport) {
      ++dumpCount_;
      context_.Log(SeverityError, Format("Unable to read the registry key [%s] (%d)", path.c_str(),
                                         static_cast<int>(status)));
    }
    return;
  }

  if (mode == kExport) {
    ExportKey(key, path);
    return;
  }

  for (DWORD i = 0; i < subkeys; ++i) {
    std::string name;
    sys::RegKey subkey;
    // A failed enumeration is skipped: an empty name would reopen this very
    // key and walk it again without end.
    if (SubkeyName(key, i, &name) && OpenKey(key, name, &subkey)) {
      const std::string subkeyPath = path + "\\" + name;
      if (name == keySpecification_) {
        context_.Log(SeverityDebug, Format("Found matching key at %s", subkeyPath.c_str()));
        ExportKeyPath(subkeyPath);
      } else {
        WalkKey(subkey.get(), kSearch, subkeyPath);
      }
    }
    if (context_.StopRequested()) break;
  }
}

void RegistryCollector::ExportKey(Key key, const std::string& path) {
  ++dumpCount_;
  context_.Log(SeverityInformation, Format("Dumping registry [%s]", path.c_str()));
  context_.Detail("This may take few minutes.");
  std::string fileName = searchMode_ ? NumberedFileName(numbered_, ++fileNumber_) : outputPath_;
  // A number an earlier action of the same name took stays its file.
  while (searchMode_ && sys::PathExists(fileName)) {
    fileName = NumberedFileName(numbered_, ++fileNumber_);
  }
  // The editor writes by name: the name is first made a file of the run's
  // own, so that a link put there is never written through.
  if (!sys::CreateOwnHandle(fileName, GENERIC_WRITE, 0, 0).valid()) {
    context_.Log(SeverityError,
                 Format("Unable to create %s for the registry [%s] (%u)", fileName.c_str(),
                        path.c_str(), static_cast<unsigned>(::GetLastError())));
    return;
  }
  const std::string command = EditorCommandLine(fileName, path);
  context_.Log(SeverityInformation, Format("Executing the command \"%s\"", command.c_str()));
  uint32_t error = 0;
  switch (RunEditor(command, &error)) {
    case EditorRun::Ended:
      if (FileHasData(fileName)) {
        ++writtenCount_;
        return;
      }
      context_.Log(SeverityError, Format("The registry editor wrote no export of [%s] to %s",
                                         path.c_str(), fileName.c_str()));
      break;
    case EditorRun::NotStarted:
      context_.Log(SeverityError, Format("Failed to dump the registry [%s] ", path.c_str()));
      context_.Log(SeverityError, Format("The GetLastError returned %d", static_cast<int>(error)));
      break;
    case EditorRun::TimedOut:
      // Whatever the editor wrote before it was ended stays, marked here
      // as incomplete.
      context_.Log(SeverityError,
                   Format("The registry editor has not returned after %u minute(s); the export "
                          "of [%s] in %s is incomplete",
                          static_cast<unsigned>(editorTimeLimitMs_ / 60000), path.c_str(),
                          fileName.c_str()));
      return;
    case EditorRun::Stopped:
      context_.Log(
          SeverityInformation,
          Format("Registry export of [%s] abandoned: user requested termination", path.c_str()));
      return;
    case EditorRun::WaitFailed:
      context_.Log(SeverityError, Format("Unable to wait for the registry editor (%u)",
                                         static_cast<unsigned>(error)));
      return;
  }
  context_.Log(SeverityInformation, "Trying to dump manually......");
  {
    LogFile writer(fileName);
    WriteKeyManually(key, path, writer);
  }
  if (FileHasData(fileName)) {
    ++writtenCount_;
  } else {
    context_.Log(SeverityError,
                 Format("Unable to dump the registry [%s] to %s", path.c_str(), fileName.c_str()));
  }
}

void RegistryCollector::WriteKeyManually(Key key, const std::string& path, LogFile& writer) {
  if (context_.StopRequested()) return;
  DWORD subkeys = 0, values = 0, longestName = 0, longestData = 0;
  if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const size_t nameSize = longestName < 256 ? 256 : static_cast<size_t>(longestName) + 1;
  ++dumpCount_;
  writer.AppendLine(RegistryKeyLine(path));
  GrowTo(&name_, nameSize + 1);  // + the byte EnumerateValue keeps back
  GrowTo(&data_, longestData);

  for (DWORD i = 0; i < values; ++i) {
    uint32_t type = 0;
    size_t length = 0;
    if (EnumerateValue(key, i, &type, &length)) {
      writer.AppendLine(
          RegistryValueLine(name_.data(), RegistryValueText(type, data_.data(), length)));
    }
    if (context_.StopRequested()) break;
  }
  writer.AppendLine("");

  for (DWORD i = 0; i < subkeys; ++i) {
    std::string name;
    sys::RegKey subkey;
    if (SubkeyName(key, i, &name) && OpenKey(key, name, &subkey)) {
      WriteKeyManually(subkey.get(), path + "\\" + name, writer);
    }
    if (context_.StopRequested()) break;
  }
}

// The key's longest sizes can be outdated by the time a value is read (it
// grew meanwhile), and an ANSI name can need more bytes than the longest
// name has characters: grow whichever buffer was too small and try again,
// a few times.
bool RegistryCollector::EnumerateValue(Key key, uint32_t index, uint32_t* type, size_t* length) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::fill(name_.begin(), name_.end(), '\0');
    // One byte is kept back so the name stays terminated whatever comes back.
    DWORD nameLength = static_cast<DWORD>(name_.size() - 1);
    DWORD dataLength = static_cast<DWORD>(data_.size());
    DWORD valueType = 0;
    const LONG status = ::RegEnumValueA(key, index, name_.data(), &nameLength, nullptr, &valueType,
                                        data_.data(), &dataLength);
    if (status == ERROR_SUCCESS) {
      *type = valueType;
      *length = std::min<size_t>(dataLength, data_.size());
      return true;
    }
    if (status != ERROR_MORE_DATA) return false;
    if (dataLength > data_.size()) {
      GrowTo(&data_, dataLength);
    } else {
      GrowTo(&name_, name_.size() * 2);
    }
  }
  return false;
}

RegistryCollector::EditorRun RegistryCollector::RunEditor(const std::string& commandLine,
                                                          uint32_t* error) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string line = commandLine;  // CreateProcessA may write into it
  if (editorProgram_.empty() ||
      !::CreateProcessA(editorProgram_.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
    const DWORD code = editorProgram_.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError();
    *error = code != 0 ? code : ERROR_GEN_FAILURE;
    return EditorRun::NotStarted;
  }
  sys::KernelHandle processHandle(process.hProcess);
  sys::KernelHandle threadHandle(process.hThread);
  const WaitOutcome outcome = WaitInSlices(
      editorTimeLimitMs_,
      [&processHandle, error](uint32_t milliseconds) {
        DWORD code = 0;
        const WaitOutcome outcome = WaitForProcess(processHandle.get(), milliseconds, &code);
        if (outcome == WaitOutcome::Failed) *error = code;
        return outcome;
      },
      context_);
  if (outcome == WaitOutcome::Ended) return EditorRun::Ended;
  // Our own helper, unlike a script's tool: it must not go on writing into
  // the result folder while the run packs it. The short wait lets it let go
  // of the export file.
  ::TerminateProcess(processHandle.get(), ERROR_TIMEOUT);
  ::WaitForSingleObject(processHandle.get(), 5000);
  if (outcome == WaitOutcome::Stopped) return EditorRun::Stopped;
  return outcome == WaitOutcome::TimedOut ? EditorRun::TimedOut : EditorRun::WaitFailed;
}

void RegistryAction(ActionRequest& request) {
  RegistryCollector collector(request.outputPath, request.context, request.value);
  collector.Run();
}
