#pragma once
// The EVENT_LOGS collector: the Application, System and Security logs as one
// comma-separated file per log, with message texts rendered from the files
// the event sources registered, plus the system's own backup of each log.
// Record parsing, row formatting, message inserts and the settings merge are
// portable; the log itself and the message files come through two small
// interfaces that the Windows edge (event_log_collector_win.cpp) answers with
// the system's calls and tests answer with records they build.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "collect/collector.h"
#include "expr/path_resolver.h"

enum EventLogIndex : int { EventLogApplication = 0, EventLogSystem = 1, EventLogSecurity = 2 };

// "Application", "System", "Security".
const char* EventLogName(int logIndex);

// One EVENTLOGRECORD as read from a block.
struct EventRecord {
  uint32_t timeGenerated = 0;  // seconds since 1970, UTC; unsigned, so good until 2106
  uint32_t eventId = 0;
  uint16_t eventType = 0;
  uint16_t category = 0;
  std::string source;
  std::string computer;
  std::string sid;  // raw SID bytes; empty when the record has none
  std::vector<std::string> strings;
  std::string data;
};

// The fixed part of an EVENTLOGRECORD and the "LfLe" mark every record
// carries after its length.
constexpr size_t kEventRecordHeaderSize = 56;
constexpr uint32_t kEventRecordMark = 0x654c664c;
// Records are read in blocks of this size.
constexpr size_t kEventReadBlockSize = 65536;
// Rows are written to the CSV file in pieces of about this many bytes.
constexpr size_t kEventRowsPerWrite = 65536;

// Appends the records of one block, each found through its own length, in
// order. Every length and offset is checked against the record and the
// block; the first record that does not hold together ends the block, and
// the answer is false (the records before it are kept).
bool ParseEventRecords(const void* block, size_t size, std::vector<EventRecord>* records);

// "Error", "Warning", "Information", "Success", "Failure"; "***ERROR***"
// for any other type.
const char* EventTypeName(uint16_t type);
// "0A FF 00"; "None" without data.
std::string EventDataText(const std::string& data);
// The only protection the rows have: "," becomes "." and tab, line feed
// and carriage return become blanks.
std::string ProtectField(std::string text);
// %1 ... %n replaced by the insertion strings in one pass: an inserted text
// is never scanned again, and "%12" means the twelfth string (left as
// written when there are fewer). The result is not yet protected.
std::string InsertStrings(const std::string& message, const std::vector<std::string>& strings);

// The local time of a time value; false when the C library cannot place it.
struct EventLocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
bool ToLocalTime(int64_t time, EventLocalTime* local);
// A day-first "d/m/y h:m:s" text (missing trailing fields 0) as a local
// time value; 0 (no bound) for an empty text, a year before 1900, or a date
// the C library cannot place.
int64_t DateTextToTime(const std::string& text);

// The CSV header and one row (fields already rendered, not yet protected).
extern const char kEventCsvHeader[];
struct EventRowTexts {
  std::string user;         // account name, or "N/A"
  std::string category;     // message text, or "None"
  std::string description;  // message text with inserts, or "None"
};
std::string EventRow(const EventRecord& record, const EventLocalTime& local,
                     const EventRowTexts& texts);

// The event log itself: the seam between the collector and the system.
class EventLogReader {
 public:
  enum class Read { Block, End, Failed };
  virtual ~EventLogReader() = default;
  // Opens the named log of the local machine; false when it cannot be.
  virtual bool Open(const std::string& log, uint32_t* error) = 0;
  // The next block of whole records, oldest first. End: the log has no more
  // records. Failed: anything else (a record larger than the buffer, no
  // access); *error says what.
  virtual Read ReadBlock(void* buffer, size_t size, size_t* got, uint32_t* error) = 0;
  // The system's backup of the open log; an existing file is not replaced.
  virtual bool Backup(const std::string& path, uint32_t* error) = 0;
  virtual void Close() = 0;
};

// What the rows need from the system beside the log.
class EventTextLookups {
 public:
  virtual ~EventTextLookups() = default;
  virtual bool NtFamily() = 0;
  // The account name of a SID, looked up on `computer`; false when unknown.
  virtual bool AccountName(const std::string& sid, const std::string& computer,
                           std::string* name) = 0;
  // The value of the source's EventLog key (`valueName` is
  // "EventMessageFile" or "CategoryMessageFile"), read into 256 bytes;
  // false when missing or longer.
  virtual bool MessageFileList(const std::string& log, const std::string& source,
                               const std::string& valueName, std::string* list) = 0;
  // Message `id` from a file loaded as data, inserts ignored, default
  // language; false when the file cannot be loaded or has no such message.
  // With `keep` the file stays loaded until ReleaseFiles.
  virtual bool FormatFromFile(const std::string& path, uint32_t id, bool keep,
                              std::string* text) = 0;
  virtual void ReleaseFiles() {}
  // Whether the backup really wrote its file (a file that was there before
  // counts: the backup never replaces one).
  virtual bool FileExists(const std::string& path) = 0;
  // The file's first `size` bytes (fewer at its end); false when it cannot
  // be read.
  virtual bool FileStart(const std::string& path, size_t size, std::string* bytes) = 0;
};

// Message texts of one export. The cache keeps, per source and kind, the
// expanded list of message files, the loaded files themselves and the texts
// read from them; without
// it every text reads the registry and loads the files again. The text is
// the same either way.
class EventMessages {
 public:
  EventMessages(EventTextLookups& lookups, const PathLookups& pathLookups, bool cache);
  ~EventMessages();
  EventMessages(const EventMessages&) = delete;
  EventMessages& operator=(const EventMessages&) = delete;

  // The category text (no inserts) or the description (with inserts);
  // "None" when no message file knows the identifier.
  std::string Category(const std::string& log, const std::string& source, uint16_t category);
  std::string Description(const std::string& log, const std::string& source, uint32_t eventId,
                          const std::vector<std::string>& strings);

 private:
  bool Message(const std::string& log, const std::string& source, const std::string& valueName,
               uint32_t id, std::string* text);
  std::vector<std::string> Files(const std::string& log, const std::string& source,
                                 const std::string& valueName);

  EventTextLookups& lookups_;
  LogFile silentLog_{""};
  PathResolver resolver_;
  bool cache_;
  std::map<std::string, std::vector<std::string>> files_;
  // Message texts before their inserts, by log, source, kind and identifier.
  static constexpr size_t kMostCachedMessages = 4096;
  std::map<std::string, std::pair<bool, std::string>> messages_;
};

class EventLogCollector {
 public:
  // `outputFolder` ends with "\\": file names are appended directly.
  EventLogCollector(const std::string& outputFolder, const RunContext& context,
                    EventLogReader& reader, EventTextLookups& lookups,
                    const PathLookups& pathLookups);

  void SelectLogs(bool application, bool security, bool system);
  // Lower bound: local midnight `days` (taken modulo 65536, so a negative
  // count reaches back past 1900: no bound) before today; no upper bound.
  void SetRecentDays(int logIndex, int32_t days);
  // The cache of message files (on unless a benchmark compares).
  void UseMessageCache(bool cache) { cache_ = cache; }

  // Exports the selected logs; false (nothing written) off the NT family.
  bool Run(const std::string& workingRoot);

  // The bounds in force (0 = none), for tests.
  int64_t from(int logIndex) const { return from_[logIndex]; }
  int64_t to(int logIndex) const { return to_[logIndex]; }

 private:
  void SetDateRange(int logIndex, const std::string& fromText, const std::string& toText);
  void ExportLog(int logIndex);

  std::string outputFolder_;
  RunContext context_;
  EventLogReader& reader_;
  EventTextLookups& lookups_;
  const PathLookups& pathLookups_;
  std::string workingRoot_;
  int64_t from_[3] = {0, 0, 0};
  int64_t to_[3] = {0, 0, 0};
  bool selected_[3] = {true, true, true};
  bool cache_ = true;
};

// The EVENT_LOGS element's attributes, in the run pass, replace the stored
// settings (the last element read wins); the counting pass reads nothing.
void ReadEventLogSettings(const ActionElement& element, int32_t pass, RunSettings* settings);

// The stored settings merged with "/event=", "/application=", "/security="
// and "/system=".
EventLogChoice MergeEventLogSettings(const RunSettings& settings);

// The end-of-run collection, once after the last script. Counting pass:
// adds its weight when a log is selected. Run pass: status, `collector`
// with the merged choice into request.scriptFolder, one step. Nothing at
// all without a selected log or a script folder to collect into.
void CollectEventLogs(int32_t pass, ActionRequest request, ActionCollector collector,
                      int32_t* stepTotal);
constexpr int32_t kEventLogsWeight = 1;

// The collection as the dispatcher and the end of the run call it; `reader`
// and `lookups` are the system's.
void RunEventLogCollector(ActionRequest& request, EventLogReader& reader, EventTextLookups& lookups,
                          const PathLookups& pathLookups);

// The dispatcher's EVENT_LOGS element entry: ReadEventLogSettings into the
// run's settings.
void EventLogSettingsAction(ActionRequest& request);

// The system's log and lookups (Windows only).
EventLogReader& SystemEventLogReader();
EventTextLookups& SystemEventTextLookups();
// The dispatcher's MISCELLANEOUS EVENT_LOGS entry and the end of the run's
// collector (Windows only).
void EventLogsAction(ActionRequest& request);
