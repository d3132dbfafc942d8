#include "collect/event_log_collector.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <ctime>

#include "run/bytes.h"
#include "run/file_names.h"
#include "run/local_text.h"
#include "run/text.h"

namespace {

// EVENTLOGRECORD field offsets (winnt.h); the same for 32-bit and 64-bit.
constexpr uint64_t kLength = 0, kMark = 4, kTimeGenerated = 12, kEventId = 20, kEventType = 24,
                   kNumStrings = 26, kCategory = 28, kStringOffset = 36, kSidLength = 40,
                   kSidOffset = 44, kDataLength = 48, kDataOffset = 52;

// The zero-terminated text at `at`, which must end before `end`; `at` then
// points past its terminator.
bool ReadText(const unsigned char* record, uint64_t end, uint64_t* at, std::string* text) {
  for (uint64_t i = *at; i < end; ++i) {
    if (record[i] == 0) {
      text->assign(reinterpret_cast<const char*>(record + *at), i - *at);
      *at = i + 1;
      return true;
    }
  }
  return false;
}

// A piece of `length` bytes at `offset` lies inside the variable part.
bool Fits(uint64_t offset, uint64_t length, uint64_t end) {
  return length == 0 ||
         (offset >= kEventRecordHeaderSize && offset <= end && length <= end - offset);
}

bool ParseRecord(const unsigned char* record, uint64_t length, EventRecord* out) {
  // The record repeats its length in its last four bytes; nothing of the
  // record's own lies there.
  const uint64_t end = length - 4;
  if (ReadLittle32(record, kMark) != kEventRecordMark || ReadLittle32(record, end) != length)
    return false;
  out->timeGenerated = ReadLittle32(record, kTimeGenerated);
  out->eventId = ReadLittle32(record, kEventId);
  out->eventType = ReadLittle16(record, kEventType);
  out->category = ReadLittle16(record, kCategory);
  uint64_t at = kEventRecordHeaderSize;
  if (!ReadText(record, end, &at, &out->source) || !ReadText(record, end, &at, &out->computer)) {
    return false;
  }
  const uint64_t sidLength = ReadLittle32(record, kSidLength),
                 sidOffset = ReadLittle32(record, kSidOffset);
  const uint64_t dataLength = ReadLittle32(record, kDataLength),
                 dataOffset = ReadLittle32(record, kDataOffset);
  if (!Fits(sidOffset, sidLength, end) || !Fits(dataOffset, dataLength, end)) return false;
  out->sid.assign(reinterpret_cast<const char*>(record + sidOffset), sidLength);
  out->data.assign(reinterpret_cast<const char*>(record + dataOffset), dataLength);
  const uint16_t count = ReadLittle16(record, kNumStrings);
  at = ReadLittle32(record, kStringOffset);
  if (count > 0 && !Fits(at, 1, end)) return false;
  out->strings.resize(count);
  for (std::string& text : out->strings) {
    if (!ReadText(record, end, &at, &text)) return false;
  }
  return true;
}

const char* const kRequired[3] = {"Application_log_required", "System_log_required",
                                  "Security_log_required"};
const char* const kRecentDays[3] = {"Application_log_Recent_Days", "System_log_Recent_Days",
                                    "Security_log_Recent_Days"};

}  // namespace

const char kEventCsvHeader[] =
    "Type,Date,Time,Source,Category,Event,User,Computer,Description,Data";

const char* EventLogName(int logIndex) {
  static const char* const kNames[3] = {"Application", "System", "Security"};
  return logIndex >= 0 && logIndex < 3 ? kNames[logIndex] : "";
}

bool ParseEventRecords(const void* block, size_t size, std::vector<EventRecord>* records) {
  const unsigned char* bytes = static_cast<const unsigned char*>(block);
  uint64_t at = 0;
  while (at < size) {
    if (size - at < kEventRecordHeaderSize) return false;
    const uint64_t length = ReadLittle32(bytes, at + kLength);
    // Two terminators and the closing length at the least.
    if (length < kEventRecordHeaderSize + 6 || length > size - at) return false;
    EventRecord record;
    if (!ParseRecord(bytes + at, length, &record)) return false;
    records->push_back(std::move(record));
    at += length;
  }
  return true;
}

const char* EventTypeName(uint16_t type) {
  switch (type) {
    case 1:
      return "Error";
    case 2:
      return "Warning";
    case 4:
      return "Information";
    case 8:
      return "Success";
    case 16:
      return "Failure";
    default:
      return "***ERROR***";
  }
}

std::string EventDataText(const std::string& data) {
  if (data.empty()) return "None";
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(data.size() * 3);
  for (const char c : data) {
    if (!text.empty()) text += ' ';
    const unsigned char byte = static_cast<unsigned char>(c);
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

std::string ProtectField(std::string text) {
  for (char& c : text) {
    if (c == ',') {
      c = '.';
    } else if (c == '\t' || c == '\n' || c == '\r') {
      c = ' ';
    }
  }
  return text;
}

std::string InsertStrings(const std::string& message, const std::vector<std::string>& strings) {
  std::string text;
  text.reserve(message.size());
  size_t at = 0;
  while (at < message.size()) {
    size_t digits = at + 1;
    uint64_t number = 0;
    if (message[at] == '%') {
      while (digits < message.size() && message[digits] >= '0' && message[digits] <= '9' &&
             number <= strings.size()) {
        number = number * 10 + static_cast<uint64_t>(message[digits] - '0');
        ++digits;
      }
    }
    if (digits > at + 1 && number >= 1 && number <= strings.size()) {
      text += strings[number - 1];
      at = digits;
    } else {
      text += message[at++];
    }
  }
  return text;
}

bool ToLocalTime(int64_t time, EventLocalTime* local) {
  const std::time_t value = static_cast<std::time_t>(time);
  if (static_cast<int64_t>(value) != time) return false;
  // Only the run thread converts times; the C library's buffer is not shared.
  const std::tm* tm = std::localtime(&value);
  if (tm == nullptr) return false;
  *local = EventLocalTime{tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday,
                          tm->tm_hour,        tm->tm_min,     tm->tm_sec};
  return true;
}

int64_t DateTextToTime(const std::string& text) {
  unsigned short day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (std::sscanf(text.c_str(), "%hu/%hu/%hu %hu:%hu:%hu", &day, &month, &year, &hour, &minute,
                  &second) < 3 ||
      year < 1900) {
    return 0;
  }
  std::tm tm{};
  tm.tm_mday = day;
  tm.tm_mon = month - 1;
  tm.tm_year = year - 1900;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  const std::time_t value = std::mktime(&tm);
  // Before 1970 bounds nothing a log holds.
  return value <= 0 ? 0 : static_cast<int64_t>(value);
}

std::string EventRow(const EventRecord& record, const EventLocalTime& local,
                     const EventRowTexts& texts) {
  // Source, user and computer get the description's protection too: a
  // comma there would shift the row's columns.
  return Format("%s,%02i/%02i/%04i,%02i:%02i:%02i,%s,%s,%d,%s,%s,%s,%s",
                EventTypeName(record.eventType), local.day, local.month, local.year, local.hour,
                local.minute, local.second, ProtectField(record.source).c_str(),
                texts.category.c_str(), static_cast<int>(record.eventId & 0xFFFF),
                ProtectField(texts.user).c_str(), ProtectField(record.computer).c_str(),
                texts.description.c_str(), EventDataText(record.data).c_str());
}

EventMessages::EventMessages(EventTextLookups& lookups, const PathLookups& pathLookups, bool cache)
    : lookups_(lookups), resolver_(pathLookups), cache_(cache) {
  // Expanding %SystemRoot% and the like must not reach the activity log.
  silentLog_.Disable();
  resolver_.SetActivityLog(&silentLog_);
}

EventMessages::~EventMessages() { lookups_.ReleaseFiles(); }

std::vector<std::string> EventMessages::Files(const std::string& log, const std::string& source,
                                              const std::string& valueName) {
  const std::string key = log + '\n' + source + '\n' + valueName;
  if (cache_) {
    const auto found = files_.find(key);
    if (found != files_.end()) return found->second;
  }
  std::vector<std::string> files;
  std::string list;
  if (lookups_.MessageFileList(log, source, valueName, &list)) {
    resolver_.Resolve(&list);
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(';', start);
      if (end == std::string::npos) end = list.size();
      // An empty name loads nothing; skipping it changes no text.
      if (end > start) files.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  if (cache_) files_[key] = files;
  return files;
}

bool EventMessages::Message(const std::string& log, const std::string& source,
                            const std::string& valueName, uint32_t id, std::string* text) {
  std::string key;
  if (cache_) {
    key = log + '\n' + source + '\n' + valueName + '\n' + std::to_string(id);
    const auto found = messages_.find(key);
    if (found != messages_.end()) {
      *text = found->second.second;
      return found->second.first;
    }
  }
  bool known = false;
  for (const std::string& file : Files(log, source, valueName)) {
    if (lookups_.FormatFromFile(file, id, cache_, text)) {
      known = true;
      break;
    }
  }
  // A log holds few distinct messages; a bound keeps a strange one from
  // filling memory.
  if (cache_ && messages_.size() < kMostCachedMessages) {
    messages_.emplace(key, std::make_pair(known, known ? *text : std::string()));
  }
  return known;
}

std::string EventMessages::Category(const std::string& log, const std::string& source,
                                    uint16_t category) {
  std::string text;
  if (!Message(log, source, "CategoryMessageFile", category, &text)) return "None";
  return ProtectField(text);
}

std::string EventMessages::Description(const std::string& log, const std::string& source,
                                       uint32_t eventId, const std::vector<std::string>& strings) {
  std::string text;
  if (!Message(log, source, "EventMessageFile", eventId, &text)) return "None";
  return ProtectField(InsertStrings(text, strings));
}

EventLogCollector::EventLogCollector(const std::string& outputFolder, const RunContext& context,
                                     EventLogReader& reader, EventTextLookups& lookups,
                                     const PathLookups& pathLookups)
    : outputFolder_(outputFolder),
      context_(context),
      reader_(reader),
      lookups_(lookups),
      pathLookups_(pathLookups) {}

void EventLogCollector::SelectLogs(bool application, bool security, bool system) {
  selected_[EventLogApplication] = application;
  selected_[EventLogSecurity] = security;
  selected_[EventLogSystem] = system;
}

void EventLogCollector::SetRecentDays(int logIndex, int32_t days) {
  // Modulo 65536: -1 reaches back 65535 days, past 1900, so no bound.
  const int64_t span = static_cast<uint16_t>(days);
  EventLocalTime local;
  std::string fromText;
  if (ToLocalTime(static_cast<int64_t>(std::time(nullptr)) - span * 86400, &local)) {
    fromText = Format("%02d/%02d/%04d", local.day, local.month, local.year);
  }
  SetDateRange(logIndex, fromText, "");
}

void EventLogCollector::SetDateRange(int logIndex, const std::string& fromText,
                                     const std::string& toText) {
  if (logIndex < 0 || logIndex >= 3) return;
  from_[logIndex] = DateTextToTime(fromText);
  const int64_t to = DateTextToTime(toText);
  // A date-only upper bound takes in that whole day.
  to_[logIndex] = to == 0 ? 0 : to + 86400;
}

bool EventLogCollector::Run(const std::string& workingRoot) {
  workingRoot_ = workingRoot;
  if (!lookups_.NtFamily()) return false;
  for (const int log : {EventLogApplication, EventLogSystem, EventLogSecurity}) {
    if (selected_[log]) ExportLog(log);
  }
  context_.Detail("...");
  return true;
}

void EventLogCollector::ExportLog(int logIndex) {
  const std::string name = EventLogName(logIndex);
  std::string csvPath = outputFolder_ + name + " Log.csv";
  std::string backupPath = outputFolder_ + name + " Log.evt";
  if (lookups_.FileExists(csvPath)) {
    // Exported into this folder already (the MISCELLANEOUS action, which
    // takes every record, before the end of the run): appending would leave
    // the first manifest row's check value stale.
    const std::string header = kEventCsvHeader;
    std::string start;
    if (lookups_.FileStart(csvPath, header.size(), &start) && start == header) {
      context_.Log(SeverityInformation,
                   Format("Event log %s is exported to %s already", name.c_str(), csvPath.c_str()));
      return;
    }
    // Another action's file of that name: the log goes beside it.
    const std::string free = FreeFileName(name + " Log.csv", [this](const std::string& file) {
      return lookups_.FileExists(outputFolder_ + file);
    });
    const std::string taken = csvPath;
    csvPath = outputFolder_ + free;
    backupPath = csvPath.substr(0, csvPath.size() - 4) + ".evt";
    context_.Log(SeverityInformation, Format("%s exists already: the %s event log goes to %s",
                                             taken.c_str(), name.c_str(), csvPath.c_str()));
  }
  LogFile csv(csvPath);
  bool written = csv.AppendLine(kEventCsvHeader);
  // The export is complete only at its end, so its rows need not reach the
  // file one by one: they go in pieces of about kEventRowsPerWrite bytes,
  // each still checked against the free space.
  std::string rows;
  const auto flushRows = [&] {
    if (rows.empty()) return;
    written = csv.AppendLine(rows) && written;
    rows.clear();
  };
  context_.Detail(name);

  uint32_t error = 0;
  bool opened = reader_.Open(name, &error);
  bool readToEnd = false;
  bool damaged = false;
  bool backedUp = false;
  bool backupExisted = false;
  if (!opened) {
    context_.Log(SeverityError,
                 Format("Unable to open the %s event log (error %u)", name.c_str(), error));
  } else {
    EventMessages messages(lookups_, pathLookups_, cache_);
    std::vector<unsigned char> buffer(kEventReadBlockSize);
    std::vector<EventRecord> records;
    for (;;) {
      size_t got = 0;
      const EventLogReader::Read read =
          reader_.ReadBlock(buffer.data(), buffer.size(), &got, &error);
      if (read != EventLogReader::Read::Block) {
        readToEnd = read == EventLogReader::Read::End;
        break;
      }
      records.clear();
      if (!ParseEventRecords(buffer.data(), got < buffer.size() ? got : buffer.size(), &records)) {
        damaged = true;
      }
      for (const EventRecord& record : records) {
        const int64_t time = record.timeGenerated;
        if ((from_[logIndex] != 0 && time < from_[logIndex]) ||
            (to_[logIndex] != 0 && time >= to_[logIndex])) {
          continue;
        }
        EventLocalTime local;
        ToLocalTime(time, &local);
        EventRowTexts texts;
        if (record.sid.empty() || !lookups_.AccountName(record.sid, record.computer, &texts.user)) {
          texts.user = "N/A";
        }
        texts.category = messages.Category(name, record.source, record.category);
        texts.description =
            messages.Description(name, record.source, record.eventId, record.strings);
        if (!rows.empty()) rows += "\r\n";
        rows += EventRow(record, local, texts);
        if (rows.size() >= kEventRowsPerWrite) flushRows();
      }
    }
    flushRows();
    backupExisted = lookups_.FileExists(backupPath);
    uint32_t backupError = 0;
    // The system may answer success and write nothing (Wine does): only a
    // file that is there now and was not before counts as a backup.
    const bool backupAnswered = !backupExisted && reader_.Backup(backupPath, &backupError);
    backedUp = backupAnswered && lookups_.FileExists(backupPath);
    reader_.Close();
    if (!readToEnd) {
      context_.Log(SeverityError, Format("Unable to read all of the %s event log (error %u)",
                                         name.c_str(), error));
    }
    if (damaged) {
      context_.Log(SeverityWarning,
                   Format("Damaged records in the %s event log were skipped", name.c_str()));
    }
    if (backupExisted) {
      context_.Log(SeverityWarning,
                   Format("Event log backup %s already exists and was kept", backupPath.c_str()));
    } else if (backupAnswered && !backedUp) {
      context_.Log(
          SeverityWarning,
          Format("Event log backup %s was not written, although the system reported it made",
                 backupPath.c_str()));
    } else if (!backedUp) {
      context_.Log(SeverityWarning, Format("Event log backup %s was not written (error %u)",
                                           backupPath.c_str(), backupError));
    }
  }
  if (!written) {
    context_.Log(SeverityError, Format("Unable to write %s", csvPath.c_str()));
  } else if (opened && readToEnd) {
    context_.Log(SeverityInformation, Format("Event log dumped to %s", csvPath.c_str()));
  }
  context_.AddFile(RelativeToFolder(csvPath, workingRoot_), "");
  context_.AddFile(RelativeToFolder(backupPath, workingRoot_), "");
}

void ReadEventLogSettings(const ActionElement& element, int32_t pass, RunSettings* settings) {
  if (pass != RunPassRun) return;
  for (int log = 0; log < 3; ++log) {
    settings->eventLogSelected[log] = true;
    settings->eventLogDays[log] = -1;
  }
  if (element.empty()) return;
  // The From and To attributes are read by nobody: how an absolute range
  // should combine with the recent days is not settled.
  for (const auto& attribute : element.nodes[0].attributes) {
    for (int log = 0; log < 3; ++log) {
      if (EqualsNoCase(attribute.first, kRequired[log])) {
        settings->eventLogSelected[log] = EqualsNoCase(attribute.second, "Yes");
      } else if (EqualsNoCase(attribute.first, kRecentDays[log])) {
        settings->eventLogDays[log] = DecimalNumber(attribute.second);
      }
    }
  }
}

EventLogChoice MergeEventLogSettings(const RunSettings& settings) {
  EventLogChoice choice;
  for (int log = 0; log < 3; ++log) {
    choice.selected[log] = settings.eventLogSelected[log];
    choice.days[log] = settings.eventLogDays[log];
  }
  if (settings.eventDaysGiven) {
    for (int log = 0; log < 3; ++log) {
      choice.days[log] = settings.eventDays;
      // A non-zero count selects nothing by itself.
      if (settings.eventDays == 0) choice.selected[log] = false;
    }
  }
  const struct {
    int log;
    bool given;
    int32_t days;
  } switches[] = {
      {EventLogApplication, settings.applicationDaysGiven, settings.applicationDays},
      {EventLogSecurity, settings.securityDaysGiven, settings.securityDays},
      {EventLogSystem, settings.systemDaysGiven, settings.systemDays},
  };
  for (const auto& s : switches) {
    if (!s.given) continue;
    choice.days[s.log] = s.days;
    choice.selected[s.log] = s.days != 0;
  }
  return choice;
}

void CollectEventLogs(int32_t pass, ActionRequest request, ActionCollector collector,
                      int32_t* stepTotal) {
  const EventLogChoice choice = MergeEventLogSettings(Settings());
  const bool any = choice.selected[0] || choice.selected[1] || choice.selected[2];
  // Without a valid script there is no folder to collect into (the drive's
  // root would be the only alternative).
  if (!any || request.scriptFolder.empty()) return;
  if (pass == RunPassCount) {
    *stepTotal += kEventLogsWeight;
    return;
  }
  // After a stop the user waits for the run to end, not for three logs.
  if (request.context.StopRequested()) return;
  request.context.Status(LocalText("EventLogs", "WorkMsg", "Collecting event logs"), 0);
  request.eventLogs = choice;
  request.outputPath = request.scriptFolder + "\\";
  if (collector != nullptr) collector(request);
  request.context.Status("", kEventLogsWeight);
}

void RunEventLogCollector(ActionRequest& request, EventLogReader& reader, EventTextLookups& lookups,
                          const PathLookups& pathLookups) {
  const EventLogChoice& choice = request.eventLogs;
  EventLogCollector collector(request.outputPath, request.context, reader, lookups, pathLookups);
  collector.SelectLogs(choice.selected[EventLogApplication], choice.selected[EventLogSecurity],
                       choice.selected[EventLogSystem]);
  collector.SetRecentDays(EventLogApplication, choice.days[EventLogApplication]);
  collector.SetRecentDays(EventLogSecurity, choice.days[EventLogSecurity]);
  collector.SetRecentDays(EventLogSystem, choice.days[EventLogSystem]);
  collector.Run(request.tempFolder);
}

void EventLogSettingsAction(ActionRequest& request) {
  ReadEventLogSettings(request.element, request.pass, &Settings());
}
