// wevtapi.dll, loaded at run time by its full path and never imported: a
// program that imports it does not start on XP and 2003, which lack it.
// The declarations are our own for the same reason (winevt.h hides them
// from a build for XP).
#include <windows.h>

#include <chrono>
#include <vector>

#include "collect/event_channel_collector.h"
#include "sys/code_page_win.h"
#include "sys/file_system.h"
#include "sys/handles_win.h"
#include "sys/links.h"

namespace {

using EvtHandle = HANDLE;
// EVT_VARIANT: eight bytes of value, a count and a type.
struct EvtVariant {
  union {
    UINT32 uint32;
    ULONGLONG uint64;
  };
  DWORD count;
  DWORD type;
};
constexpr DWORD kEvtVarTypeUInt32 = 8;
constexpr DWORD kEvtChannelConfigType = 2;
constexpr DWORD kEvtQueryChannelPath = 1, kEvtQueryReverseDirection = 0x200;
constexpr DWORD kEvtExportLogChannelPath = 1;
constexpr DWORD kEvtRenderEventXml = 1;
constexpr DWORD kEvtFormatMessageEvent = 1;

using OpenChannelEnumFn = EvtHandle(WINAPI*)(EvtHandle, DWORD);
using NextChannelPathFn = BOOL(WINAPI*)(EvtHandle, DWORD, LPWSTR, PDWORD);
using OpenChannelConfigFn = EvtHandle(WINAPI*)(EvtHandle, LPCWSTR, DWORD);
using GetChannelConfigPropertyFn = BOOL(WINAPI*)(EvtHandle, DWORD, DWORD, DWORD, EvtVariant*,
                                                 PDWORD);
using ExportLogFn = BOOL(WINAPI*)(EvtHandle, LPCWSTR, LPCWSTR, LPCWSTR, DWORD);
using QueryFn = EvtHandle(WINAPI*)(EvtHandle, LPCWSTR, LPCWSTR, DWORD);
using NextFn = BOOL(WINAPI*)(EvtHandle, DWORD, EvtHandle*, DWORD, DWORD, PDWORD);
using RenderFn = BOOL(WINAPI*)(EvtHandle, EvtHandle, DWORD, DWORD, PVOID, PDWORD, PDWORD);
using OpenPublisherMetadataFn = EvtHandle(WINAPI*)(EvtHandle, LPCWSTR, LPCWSTR, LCID, DWORD);
using FormatMessageFn = BOOL(WINAPI*)(EvtHandle, EvtHandle, DWORD, DWORD, EvtVariant*, DWORD, DWORD,
                                      LPWSTR, PDWORD);
using CloseFn = BOOL(WINAPI*)(EvtHandle);

// A buffer grown as the call asks, a bounded number of times: a value can
// grow between two calls.
constexpr int kGrowTries = 4;

class WinChannelApi : public ChannelApi {
 public:
  bool Load(std::string* why) override {
    if (tried_) {
      *why = why_;
      return loaded_;
    }
    tried_ = true;
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      why_ = "no system folder";
      *why = why_;
      return false;
    }
    const std::wstring path = std::wstring(system, length) + L"\\wevtapi.dll";
    module_.Attach(::LoadLibraryW(path.c_str()));
    if (!module_.valid()) {
      why_ = Format("wevtapi.dll cannot be loaded, error %lu", ::GetLastError());
      *why = why_;
      return false;
    }
    loaded_ = Find(openChannelEnum_, "EvtOpenChannelEnum") &&
              Find(nextChannelPath_, "EvtNextChannelPath") &&
              Find(openChannelConfig_, "EvtOpenChannelConfig") &&
              Find(getChannelConfigProperty_, "EvtGetChannelConfigProperty") &&
              Find(exportLog_, "EvtExportLog") && Find(query_, "EvtQuery") &&
              Find(next_, "EvtNext") && Find(render_, "EvtRender") &&
              Find(openPublisherMetadata_, "EvtOpenPublisherMetadata") &&
              Find(formatMessage_, "EvtFormatMessage") && Find(close_, "EvtClose");
    *why = why_;
    return loaded_;
  }

  bool Channels(std::vector<std::string>* names, uint32_t* error) override {
    const EvtHandle channels = openChannelEnum_(nullptr, 0);
    if (channels == nullptr) {
      *error = ::GetLastError();
      return false;
    }
    std::vector<wchar_t> buffer(512);
    for (;;) {
      DWORD used = 0;
      if (nextChannelPath_(channels, static_cast<DWORD>(buffer.size()), buffer.data(), &used)) {
        names->push_back(sys::NarrowName(buffer.data(), wcsnlen(buffer.data(), buffer.size())));
        continue;
      }
      const DWORD last = ::GetLastError();
      if (last == ERROR_INSUFFICIENT_BUFFER && used > buffer.size() && used < 65536) {
        buffer.resize(used);
        continue;
      }
      close_(channels);
      *error = last;
      return last == ERROR_NO_MORE_ITEMS;
    }
  }

  bool Config(const std::string& channel, ChannelConfig* config) override {
    const EvtHandle handle = openChannelConfig_(nullptr, sys::WidePath(channel).c_str(), 0);
    if (handle == nullptr) return false;
    EvtVariant value{};
    DWORD used = 0;
    const bool got =
        getChannelConfigProperty_(handle, kEvtChannelConfigType, 0, sizeof value, &value, &used) &&
        value.type == kEvtVarTypeUInt32;
    close_(handle);
    if (got) config->type = static_cast<int>(value.uint32);
    return got;
  }

  bool Export(const std::string& channel, const std::string& query, const std::string& path,
              uint32_t* error) override {
    if (exportLog_(nullptr, sys::WidePath(channel).c_str(), sys::WidePath(query).c_str(),
                   sys::WidePath(path).c_str(), kEvtExportLogChannelPath)) {
      return true;
    }
    *error = ::GetLastError();
    return false;
  }

  Handle Query(const std::string& channel, const std::string& query, uint32_t* error) override {
    const EvtHandle handle =
        query_(nullptr, sys::WidePath(channel).c_str(), sys::WidePath(query).c_str(),
               kEvtQueryChannelPath | kEvtQueryReverseDirection);
    if (handle == nullptr) *error = ::GetLastError();
    return reinterpret_cast<Handle>(handle);
  }

  bool Next(Handle query, size_t most, std::vector<Handle>* events, uint32_t* error) override {
    std::vector<EvtHandle> got(most);
    DWORD returned = 0;
    if (!next_(reinterpret_cast<EvtHandle>(query), static_cast<DWORD>(most), got.data(), INFINITE,
               0, &returned)) {
      *error = ::GetLastError();
      return false;
    }
    for (DWORD i = 0; i < returned && i < most; ++i) {
      events->push_back(reinterpret_cast<Handle>(got[i]));
    }
    return true;
  }

  bool RenderXml(Handle event, std::string* xml, uint32_t* error) override {
    for (int tries = 0; tries < kGrowTries; ++tries) {
      DWORD used = 0, properties = 0;
      // The size is in bytes; the text is UTF-16.
      if (render_(nullptr, reinterpret_cast<EvtHandle>(event), kEvtRenderEventXml,
                  static_cast<DWORD>(wide_.size() * sizeof(wchar_t)), wide_.data(), &used,
                  &properties)) {
        *xml = sys::NarrowName(wide_.data(), wcsnlen(wide_.data(), used / sizeof(wchar_t)));
        return true;
      }
      *error = ::GetLastError();
      if (*error != ERROR_INSUFFICIENT_BUFFER) return false;
      wide_.resize(used / sizeof(wchar_t) + 1);
    }
    return false;
  }

  Handle OpenPublisher(const std::string& provider, uint32_t* error) override {
    const EvtHandle handle =
        openPublisherMetadata_(nullptr, sys::WidePath(provider).c_str(), nullptr, 0, 0);
    if (handle == nullptr) *error = ::GetLastError();
    return reinterpret_cast<Handle>(handle);
  }

  bool FormatMessage(Handle publisher, Handle event, std::string* text, uint32_t* error) override {
    for (int tries = 0; tries < kGrowTries; ++tries) {
      DWORD used = 0;
      // The size is in characters.
      if (formatMessage_(reinterpret_cast<EvtHandle>(publisher), reinterpret_cast<EvtHandle>(event),
                         0, 0, nullptr, kEvtFormatMessageEvent, static_cast<DWORD>(wide_.size()),
                         wide_.data(), &used)) {
        *text = sys::NarrowName(wide_.data(), wcsnlen(wide_.data(), used));
        return true;
      }
      *error = ::GetLastError();
      if (*error != ERROR_INSUFFICIENT_BUFFER) return false;
      wide_.resize(used + 1);
    }
    return false;
  }

  void Close(Handle handle) override {
    if (handle != 0) close_(reinterpret_cast<EvtHandle>(handle));
  }

  uint64_t NowMs() override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }

  bool ReadAt(const std::string& path, uint64_t offset, size_t size, std::string* bytes) override {
    sys::FileHandle file(::CreateFileW(sys::WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    bytes->assign(size, '\0');
    DWORD got = 0;
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
        !::ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(size), &got, nullptr)) {
      return false;
    }
    bytes->resize(got);
    return true;
  }

  bool FileSize(const std::string& path, uint64_t* size) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(sys::WidePath(path).c_str(), GetFileExInfoStandard, &data)) {
      return false;
    }
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
  }

  bool FileExists(const std::string& path) override { return sys::PathExists(path); }

  bool RemoveFile(const std::string& path) override {
    return sys::RemoveFileNotThroughLink(path) == sys::RemoveOutcome::Removed;
  }

 private:
  template <typename Fn>
  bool Find(Fn& function, const char* name) {
    function =
        reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module_.get(), name)));
    if (function == nullptr) why_ = Format("wevtapi.dll has no %s", name);
    return function != nullptr;
  }

  bool tried_ = false, loaded_ = false;
  std::string why_;
  sys::Module module_;
  std::vector<wchar_t> wide_ = std::vector<wchar_t>(4096);
  OpenChannelEnumFn openChannelEnum_ = nullptr;
  NextChannelPathFn nextChannelPath_ = nullptr;
  OpenChannelConfigFn openChannelConfig_ = nullptr;
  GetChannelConfigPropertyFn getChannelConfigProperty_ = nullptr;
  ExportLogFn exportLog_ = nullptr;
  QueryFn query_ = nullptr;
  NextFn next_ = nullptr;
  RenderFn render_ = nullptr;
  OpenPublisherMetadataFn openPublisherMetadata_ = nullptr;
  FormatMessageFn formatMessage_ = nullptr;
  CloseFn close_ = nullptr;
};

}  // namespace

void EventChannelsAction(ActionRequest& request) {
  // Loaded once per run; the library stays until the process ends.
  static WinChannelApi api;
  RunEventChannelCollector(request, api);
}
