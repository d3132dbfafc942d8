#include <windows.h>

#include <cstddef>
#include <map>
#include <vector>

#include "collect/event_log_collector.h"
#include "sys/handles_win.h"

// The portable parser reads the records at these offsets.
static_assert(sizeof(EVENTLOGRECORD) == kEventRecordHeaderSize &&
                  offsetof(EVENTLOGRECORD, TimeGenerated) == 12 &&
                  offsetof(EVENTLOGRECORD, StringOffset) == 36 &&
                  offsetof(EVENTLOGRECORD, DataOffset) == 52,
              "EVENTLOGRECORD layout");

namespace {

class WinEventLogReader : public EventLogReader {
 public:
  bool Open(const std::string& log, uint32_t* error) override {
    log_.Attach(::OpenEventLogA(nullptr, log.c_str()));
    *error = log_.valid() ? 0 : ::GetLastError();
    return log_.valid();
  }

  Read ReadBlock(void* buffer, size_t size, size_t* got, uint32_t* error) override {
    DWORD read = 0, needed = 0;
    if (::ReadEventLogA(log_.get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer,
                        static_cast<DWORD>(size), &read, &needed)) {
      *got = read;
      return Read::Block;
    }
    *error = ::GetLastError();
    // Wine's stub answers every read with this: an empty log.
    return *error == ERROR_HANDLE_EOF ? Read::End : Read::Failed;
  }

  bool Backup(const std::string& path, uint32_t* error) override {
    // Wine answers TRUE and writes nothing; the caller looks for the file.
    if (::BackupEventLogA(log_.get(), path.c_str())) return true;
    *error = ::GetLastError();
    return false;
  }

  void Close() override { log_.Close(); }

 private:
  sys::EventLog log_;
};

class WinEventTextLookups : public EventTextLookups {
 public:
  bool NtFamily() override {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }

  bool AccountName(const std::string& sid, const std::string& computer,
                   std::string* name) override {
    // A copy with the alignment a SID wants; its stated length must fit.
    std::vector<DWORD> aligned((sid.size() + 3) / 4 + 1, 0);
    memcpy(aligned.data(), sid.data(), sid.size());
    PSID psid = aligned.data();
    if (sid.size() < 8 || !::IsValidSid(psid) || ::GetLengthSid(psid) > sid.size()) return false;
    char account[256], domain[256];
    DWORD accountSize = sizeof account, domainSize = sizeof domain;
    SID_NAME_USE use;
    if (!::LookupAccountSidA(computer.empty() ? nullptr : computer.c_str(), psid, account,
                             &accountSize, domain, &domainSize, &use)) {
      return false;
    }
    name->assign(account);
    return true;
  }

  bool MessageFileList(const std::string& log, const std::string& source,
                       const std::string& valueName, std::string* list) override {
    const std::string keyName =
        "System\\CurrentControlSet\\Services\\EventLog\\" + log + "\\" + source;
    HKEY opened = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS) {
      return false;
    }
    sys::RegKey key(opened);
    char value[256];
    DWORD size = sizeof value;
    if (::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
      return false;
    }
    list->assign(value, strnlen(value, size));
    return true;
  }

  bool FormatFromFile(const std::string& path, uint32_t id, bool keep, std::string* text) override {
    sys::Module loaded;
    HMODULE module = nullptr;
    if (keep) {
      // A file that would not load is remembered as such too.
      auto found = modules_.find(path);
      if (found == modules_.end()) {
        found = modules_.emplace(path, sys::Module(Load(path))).first;
      }
      module = found->second.get();
    } else {
      loaded.Attach(Load(path));
      module = loaded.get();
    }
    if (module == nullptr) return false;
    // 32 KB less one: the formatter refuses a buffer of 32768 bytes or more
    // with error 87 (Wine does; the limit is the system's).
    buffer_.resize(32767);
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, id,
                         MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer_.data(),
                         static_cast<DWORD>(buffer_.size()), nullptr);
    if (length == 0) return false;
    text->assign(buffer_.data(), length);
    return true;
  }

  void ReleaseFiles() override { modules_.clear(); }

  bool FileExists(const std::string& path) override {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool FileStart(const std::string& path, size_t size, std::string* bytes) override {
    sys::ReleaseAppendHandle(path);
    sys::FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD got = 0;
    bytes->assign(size, '\0');
    if (!file.valid() ||
        !::ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(size), &got, nullptr)) {
      return false;
    }
    bytes->resize(got);
    return true;
  }

 private:
  // As data: a message file's code never runs in this process.
  static HMODULE Load(const std::string& path) {
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }

  std::map<std::string, sys::Module> modules_;
  std::vector<char> buffer_;
};

}  // namespace

EventLogReader& SystemEventLogReader() {
  static WinEventLogReader reader;
  return reader;
}

EventTextLookups& SystemEventTextLookups() {
  static WinEventTextLookups lookups;
  return lookups;
}

void EventLogsAction(ActionRequest& request) {
  RunEventLogCollector(request, SystemEventLogReader(), SystemEventTextLookups(),
                       SystemPathLookups());
}
