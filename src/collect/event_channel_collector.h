#pragma once
// The EVENT_CHANNELS collector: the channels of the modern event log
// (Microsoft-Windows-PowerShell/Operational and the like) as the native
// .evtx file and as a readable CSV, newest first. The value parsing, the
// channel matching, the reading of rendered events, the rows and the bounds
// are portable; the event log itself comes through one interface that the
// Windows edge (event_channel_collector_win.cpp) answers with wevtapi.dll,
// loaded at run time, and tests answer with events they make.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "collect/collector.h"

// What one attribute of EVENT_CHANNELS asks for: a channel or a wildcard
// pattern, then "/days:N" (the window, 1 to 90, default 7) and "/rows:N"
// (the CSV's cap, 1 to 1,000,000, default 20,000), in any case and order.
struct ChannelSpec {
  std::string channel;
  int32_t days = 7;
  int32_t rows = 20000;
};
constexpr int32_t kMostChannelDays = 90;
constexpr int32_t kMostChannelRows = 1000000;

// "" when the value is sound; else why it is refused (an unknown or
// repeated switch, a number out of range, no channel, or a pattern that
// would take every channel).
std::string ParseChannelSpec(const std::string& value, ChannelSpec* spec);

// "*" any run of characters, "?" one; letters in any case.
bool ChannelMatches(const std::string& pattern, const std::string& channel);
bool IsChannelPattern(const std::string& text);

// The fields of one event as EvtRender gives it in XML.
struct ChannelEvent {
  std::string time;  // "2024-05-01 10:00:00.123" (UTC), from TimeCreated
  std::string recordId;
  std::string eventId;
  std::string level;  // "Critical", "Error"... or the number as written
  std::string provider;
  std::string computer;
  std::string userSid;
  // EventData's Data elements as name=value (the value alone when unnamed),
  // or UserData's innermost elements the same way.
  std::vector<std::pair<std::string, std::string>> data;
};

// Reads the rendered XML of one event. Nesting is followed with a counter,
// never with recursion; false when the text is no event.
bool ParseRenderedEvent(const std::string& xml, ChannelEvent* event);

extern const char kChannelCsvHeader[];
std::string ChannelRow(const ChannelEvent& event, const std::string& message,
                       const std::string& messageStatus);

// The XPath query of the last `days` days.
std::string ChannelWindowQuery(int32_t days);

// What a channel's configuration says; unknown fields stay at their start.
struct ChannelConfig {
  enum Type { Admin = 0, Operational = 1, Analytic = 2, Debug = 3, Unknown = -1 };
  int type = Unknown;
};

// The event log, as the collector needs it. Handles are the system's,
// opaque here; 0 is none. Errors are the system's codes.
class ChannelApi {
 public:
  using Handle = uintptr_t;
  virtual ~ChannelApi() = default;
  // False when the event log's library is not on this system; *why says so.
  virtual bool Load(std::string* why) = 0;
  virtual bool Channels(std::vector<std::string>* names, uint32_t* error) = 0;
  // False when the configuration cannot be read (which says nothing about
  // whether the channel exists).
  virtual bool Config(const std::string& channel, ChannelConfig* config) = 0;
  virtual bool Export(const std::string& channel, const std::string& query, const std::string& path,
                      uint32_t* error) = 0;
  // Newest first.
  virtual Handle Query(const std::string& channel, const std::string& query, uint32_t* error) = 0;
  // Up to `most` events; false with error 259 at the end.
  virtual bool Next(Handle query, size_t most, std::vector<Handle>* events, uint32_t* error) = 0;
  virtual bool RenderXml(Handle event, std::string* xml, uint32_t* error) = 0;
  virtual Handle OpenPublisher(const std::string& provider, uint32_t* error) = 0;
  virtual bool FormatMessage(Handle publisher, Handle event, std::string* text,
                             uint32_t* error) = 0;
  virtual void Close(Handle handle) = 0;
  // Set once the run was told that the interface is missing or broken:
  // later actions say nothing more.
  bool toldUnusable = false;
  // Milliseconds of a steady clock, for the time budget.
  virtual uint64_t NowMs() = 0;
  // Up to `size` bytes of the file from `offset` (fewer at its end).
  virtual bool ReadAt(const std::string& path, uint64_t offset, size_t size,
                      std::string* bytes) = 0;
  virtual bool FileSize(const std::string& path, uint64_t* size) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
};

// The system's codes the collector tells apart.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNotImplemented = 120;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorChannelNotFound = 15007;

struct ChannelLimits {
  uint64_t budgetMs = 120000;             // per channel, for the CSV
  uint64_t mostExportBytes = 256u << 20;  // an .evtx beyond this is redone for a day
  size_t batch = 256;                     // events asked for per call
};

// Publisher metadata, opened once per provider; a provider that has none
// is remembered as such, so a channel of orphans asks once.
class PublisherCache {
 public:
  explicit PublisherCache(ChannelApi& api) : api_(api) {}
  ~PublisherCache();
  PublisherCache(const PublisherCache&) = delete;
  PublisherCache& operator=(const PublisherCache&) = delete;
  ChannelApi::Handle Get(const std::string& provider);

 private:
  ChannelApi& api_;
  std::map<std::string, ChannelApi::Handle> publishers_;
};

class EventChannelCollector {
 public:
  // `folder` is the script's result folder; `name` names the output files.
  EventChannelCollector(const std::string& folder, const std::string& workingRoot,
                        const RunContext& context, ChannelApi& api,
                        const ChannelLimits& limits = ChannelLimits());
  void Run(const std::string& name, const std::string& value);

 private:
  enum class Outcome { Done, Stop };
  Outcome Collect(const std::string& channel, const std::string& fileTitle,
                  const ChannelSpec& spec);
  // False (with its entries written) when the channel gave no file.
  bool ExportChannel(const std::string& channel, const std::string& path, int32_t days,
                     bool* broken, bool* absent);
  void WriteRows(const std::string& channel, const std::string& path, const ChannelSpec& spec);
  std::string FreePath(const std::string& title, const char* extension);
  void NotWorking(uint32_t error);

  std::string folder_;
  std::string workingRoot_;
  RunContext context_;
  ChannelApi& api_;
  ChannelLimits limits_;
};

// Checks a .evtx file as it is read piece by piece (`read` as ReadAt): the
// file header and its checksum, each chunk's header and record checksums.
// "" when sound, else what is wrong; *records counts the records of the
// chunks.
using EvtxReadAt = std::function<bool(uint64_t offset, size_t size, std::string* bytes)>;
std::string EvtxProblem(const EvtxReadAt& read, uint64_t* records);

// The dispatcher's EVENT_CHANNELS entry over `api`.
void RunEventChannelCollector(ActionRequest& request, ChannelApi& api);
// The same over the system's event log (Windows only).
void EventChannelsAction(ActionRequest& request);
