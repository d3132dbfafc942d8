// A test-only wevtapi.dll: the few calls the channel collector makes, so
// that brindle.exe's real loading and calling code runs end to end under
// Wine (whose own wevtapi is stubs). Used as a native override in the test
// prefix's system folder. The events come from the folder named by
// BRINDLE_FAKE_CHANNELS, made by bench/make_channels.py: NAME.evtx is what an
// export writes, NAME.xml the rendered events, newest first.
//   Brindle-Test/Operational    events of an installed publisher
//   Brindle-Orphan/Operational  events of a publisher that is not installed
//   Brindle-Denied/Operational  access denied
//   Brindle-Debug/Debug         a debug channel
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const char* const kChannels[] = {"Brindle-Test/Operational", "Brindle-Orphan/Operational",
                                 "Brindle-Denied/Operational", "Brindle-Debug/Debug"};

struct Object {
  size_t at = 0;     // enumeration or query position
  std::string text;  // a channel, or an event's XML
  std::vector<std::string> events;
};

std::string Narrow(LPCWSTR text) {
  std::string out;
  for (; text != nullptr && *text != 0; ++text) out += static_cast<char>(*text);
  return out;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The channel's files, "/" written "%4" as Windows names log files.
std::string Source(std::string channel, const char* extension) {
  channel.replace(channel.find('/'), 1, "%4");
  char folder[MAX_PATH] = "";
  ::GetEnvironmentVariableA("BRINDLE_FAKE_CHANNELS", folder, MAX_PATH);
  return std::string(folder) + "\\" + channel + extension;
}

// The error a read of the channel gets; 0 when it may be read.
DWORD Refusal(const std::string& channel) {
  for (const char* known : kChannels) {
    if (channel == known) return channel == kChannels[2] ? ERROR_ACCESS_DENIED : 0;
  }
  return 15007;  // ERROR_EVT_CHANNEL_NOT_FOUND
}

BOOL Give(const std::wstring& text, DWORD size, wchar_t* buffer, PDWORD used) {
  *used = static_cast<DWORD>(text.size() + 1);
  if (buffer == nullptr || size < *used) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(buffer, text.c_str(), *used * sizeof(wchar_t));
  return TRUE;
}

HANDLE Fail(DWORD error) {
  ::SetLastError(error);
  return nullptr;
}

}  // namespace

extern "C" {

HANDLE WINAPI EvtOpenChannelEnum(HANDLE, DWORD) { return new Object(); }

BOOL WINAPI EvtNextChannelPath(HANDLE channels, DWORD size, LPWSTR buffer, PDWORD used) {
  Object* list = static_cast<Object*>(channels);
  if (list->at >= sizeof kChannels / sizeof kChannels[0])
    return Fail(ERROR_NO_MORE_ITEMS) != nullptr;
  return Give(Wide(kChannels[list->at]), size, buffer, used) && ++list->at;
}

HANDLE WINAPI EvtOpenChannelConfig(HANDLE, LPCWSTR channel, DWORD) {
  Object* config = new Object();
  config->text = Narrow(channel);
  return config;
}

// EVT_VARIANT: value, count, type (8: UInt32); property 2 is the type.
BOOL WINAPI EvtGetChannelConfigProperty(HANDLE config, DWORD id, DWORD, DWORD size, UINT32* value,
                                        PDWORD used) {
  *used = 16;
  if (id != 2 || size < 16) return Fail(ERROR_INVALID_PARAMETER) != nullptr;
  value[0] = static_cast<Object*>(config)->text == kChannels[3] ? 3 : 1;
  value[3] = 8;
  return TRUE;
}

BOOL WINAPI EvtExportLog(HANDLE, LPCWSTR path, LPCWSTR, LPCWSTR target, DWORD) {
  const std::string channel = Narrow(path);
  if (const DWORD refused = Refusal(channel)) return Fail(refused) != nullptr;
  return ::CopyFileA(Source(channel, ".evtx").c_str(), Narrow(target).c_str(), TRUE);
}

HANDLE WINAPI EvtQuery(HANDLE, LPCWSTR path, LPCWSTR, DWORD flags) {
  const std::string channel = Narrow(path);
  if (const DWORD refused = Refusal(channel)) return Fail(refused);
  Object* query = new Object();
  std::ifstream lines(Source(channel, ".xml"));
  for (std::string line; std::getline(lines, line);) query->events.push_back(line);
  // Without EvtQueryReverseDirection a query reads oldest first.
  if ((flags & 0x200) == 0) query->events.assign(query->events.rbegin(), query->events.rend());
  return query;
}

BOOL WINAPI EvtNext(HANDLE query, DWORD size, HANDLE* events, DWORD, DWORD, PDWORD returned) {
  Object* q = static_cast<Object*>(query);
  for (*returned = 0; *returned < size && q->at < q->events.size(); ++*returned) {
    events[*returned] = new Object();
    static_cast<Object*>(events[*returned])->text = q->events[q->at++];
  }
  return *returned > 0 || Fail(ERROR_NO_MORE_ITEMS) != nullptr;
}

BOOL WINAPI EvtRender(HANDLE, HANDLE event, DWORD, DWORD size, wchar_t* buffer, PDWORD used,
                      PDWORD properties) {
  *properties = 0;
  const BOOL given =
      Give(Wide(static_cast<Object*>(event)->text), size / sizeof(wchar_t), buffer, used);
  *used *= sizeof(wchar_t);
  return given;
}

HANDLE WINAPI EvtOpenPublisherMetadata(HANDLE, LPCWSTR publisher, LPCWSTR, LCID, DWORD) {
  return Narrow(publisher) == "Brindle-Test" ? new Object() : Fail(ERROR_FILE_NOT_FOUND);
}

BOOL WINAPI EvtFormatMessage(HANDLE, HANDLE event, DWORD, DWORD, void*, DWORD, DWORD size,
                             LPWSTR buffer, PDWORD used) {
  const std::string& xml = static_cast<Object*>(event)->text;
  const size_t at = xml.find("<EventID>") + 9;
  return Give(Wide("Test event " + xml.substr(at, 3) + " ran,\r\nas asked"), size, buffer, used);
}

BOOL WINAPI EvtClose(HANDLE object) {
  delete static_cast<Object*>(object);
  return TRUE;
}

}  // extern "C"
