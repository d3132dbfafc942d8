#include "collect/event_channel_collector.h"

#include <cctype>
#include <cstdlib>

#include "run/file_names.h"
#include "run/local_text.h"
#include "run/text.h"
#include "sys/name_escape.h"

namespace {

bool ReadNumber(const std::string& text, int32_t most, int32_t* number) {
  if (text.empty() || text.size() > 7) return false;
  int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > most) return false;
  *number = value;
  return true;
}

std::string LocalName(const std::string& name) {
  const size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

// The five entities and character references; what the code page cannot
// hold is written as the run writes every such character.
std::string DecodeXml(const std::string& text) {
  if (text.find('&') == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    const size_t end = text[at] == '&' ? text.find(';', at) : std::string::npos;
    if (end == std::string::npos || end - at > 10) {
      out += text[at];
      continue;
    }
    const std::string entity = text.substr(at + 1, end - at - 1);
    if (entity == "lt") {
      out += '<';
    } else if (entity == "gt") {
      out += '>';
    } else if (entity == "amp") {
      out += '&';
    } else if (entity == "quot") {
      out += '"';
    } else if (entity == "apos") {
      out += '\'';
    } else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const unsigned long code =
          std::strtoul(entity.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10);
      if (code == 0 || code > 0x10FFFF) {
        out += text.substr(at, end - at + 1);
      } else if (code < 0x80) {
        out += static_cast<char>(code);
      } else {
        out += sys::NameEscape(static_cast<uint32_t>(code));
      }
    } else {
      out += text.substr(at, end - at + 1);
      at = end;
      continue;
    }
    at = end;
  }
  return out;
}

// The attributes of a start tag's text after its name.
void ReadAttributes(const std::string& tag, size_t at,
                    std::vector<std::pair<std::string, std::string>>* attributes) {
  attributes->clear();
  for (;;) {
    const size_t eq = tag.find('=', at);
    if (eq == std::string::npos) return;
    const size_t quote = tag.find_first_of("'\"", eq);
    if (quote == std::string::npos) return;
    const size_t close = tag.find(tag[quote], quote + 1);
    if (close == std::string::npos) return;
    size_t nameStart = tag.find_first_not_of(" \t\r\n", at);
    std::string name = tag.substr(nameStart, eq - nameStart);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    attributes->emplace_back(LocalName(name), DecodeXml(tag.substr(quote + 1, close - quote - 1)));
    at = close + 1;
  }
}

const char* LevelName(const std::string& level) {
  static const char* const kNames[] = {"Information", "Critical",    "Error",
                                       "Warning",     "Information", "Verbose"};
  if (level.size() == 1 && level[0] >= '0' && level[0] <= '5') return kNames[level[0] - '0'];
  return nullptr;
}

std::string UtcText(const std::string& systemTime) {
  // 2024-05-01T10:00:00.1234567Z: to the millisecond, as a spreadsheet reads it.
  if (systemTime.size() < 19 || systemTime[10] != 'T') return systemTime;
  std::string text = systemTime.substr(0, 23);
  text[10] = ' ';
  if (!text.empty() && text.back() == 'Z') text.pop_back();
  return text;
}

std::string Percent(uint64_t part, uint64_t whole) {
  return whole == 0 ? "0" : std::to_string(part * 100 / whole);
}

}  // namespace

bool IsChannelPattern(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

std::string ParseChannelSpec(const std::string& value, ChannelSpec* spec) {
  *spec = ChannelSpec();
  // The channel runs to the first " /" (channel names hold "/" but no " /").
  size_t cut = value.find(" /");
  std::string channel = value.substr(0, cut);
  while (!channel.empty() && channel.back() == ' ') channel.pop_back();
  while (!channel.empty() && channel.front() == ' ') channel.erase(0, 1);
  if (channel.empty()) return "no channel named";
  // Windows keeps channel names within 255 characters; a longer pattern
  // would only make every comparison slow.
  if (channel.size() > 255) return "longer than any channel name (255 characters)";
  bool days = false, rows = false;
  while (cut != std::string::npos) {
    const size_t start = cut + 1;
    cut = value.find(" /", start);
    std::string item =
        value.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
    while (!item.empty() && item.back() == ' ') item.pop_back();
    const size_t colon = item.find(':');
    const std::string key = LowerAscii(item.substr(0, colon));
    const std::string number = colon == std::string::npos ? "" : item.substr(colon + 1);
    if (key == "/days" && !days) {
      if (!ReadNumber(number, kMostChannelDays, &spec->days)) {
        return "'" + item + "' needs a number of days from 1 to " +
               std::to_string(kMostChannelDays);
      }
      days = true;
    } else if (key == "/rows" && !rows) {
      if (!ReadNumber(number, kMostChannelRows, &spec->rows)) {
        return "'" + item + "' needs a number of rows from 1 to " +
               std::to_string(kMostChannelRows);
      }
      rows = true;
    } else if (key == "/days" || key == "/rows") {
      return "switch '" + key + "' is given twice";
    } else {
      return "unknown switch '" + item + "' (EVENT_CHANNELS knows /days:N and /rows:N)";
    }
  }
  // A pattern of wildcards and separators only would take every channel on
  // the machine, hundreds of them, most of them empty or analytic.
  if (channel.find_first_not_of("*?/ ") == std::string::npos) {
    return "'" + channel + "' would take every channel: name the channels wanted";
  }
  spec->channel = channel;
  return "";
}

bool ChannelMatches(const std::string& pattern, const std::string& channel) {
  // Greedy with one point of return: linear for patterns of one "*", and
  // never recursive.
  size_t p = 0, c = 0, star = std::string::npos, mark = 0;
  while (c < channel.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || std::tolower(static_cast<unsigned char>(pattern[p])) ==
                                  std::tolower(static_cast<unsigned char>(channel[c])))) {
      ++p;
      ++c;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = c;
    } else if (star != std::string::npos) {
      p = star + 1;
      c = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool ParseRenderedEvent(const std::string& xml, ChannelEvent* event) {
  *event = ChannelEvent();
  std::vector<std::string> path;  // local names from the root down
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text, dataName;
  bool sawEvent = false, childSince = false;
  size_t userData = 0;  // depth of UserData, 0 outside it
  size_t at = 0;
  while (at < xml.size()) {
    const size_t open = xml.find('<', at);
    if (open == std::string::npos) break;
    text += xml.substr(at, open - at);
    if (xml.compare(open, 4, "<!--") == 0) {
      const size_t end = xml.find("-->", open);
      at = end == std::string::npos ? xml.size() : end + 3;
      continue;
    }
    if (xml.compare(open, 9, "<![CDATA[") == 0) {
      const size_t end = xml.find("]]>", open);
      if (end == std::string::npos) return false;
      text += xml.substr(open + 9, end - open - 9);
      at = end + 3;
      continue;
    }
    const size_t close = xml.find('>', open);
    if (close == std::string::npos) return false;
    at = close + 1;
    const std::string tag = xml.substr(open + 1, close - open - 1);
    if (tag.empty() || tag[0] == '?' || tag[0] == '!') continue;
    if (tag[0] == '/') {
      if (path.empty()) return false;
      const std::string name = path.back();
      const std::string value = DecodeXml(text);
      const std::string parent = path.size() > 1 ? path[path.size() - 2] : "";
      if (parent == "System") {
        if (name == "EventID") event->eventId = value;
        if (name == "Level") event->level = LevelName(value) ? LevelName(value) : value;
        if (name == "EventRecordID") event->recordId = value;
        if (name == "Computer") event->computer = value;
      } else if (parent == "EventData" && (name == "Data" || name == "Binary")) {
        event->data.emplace_back(name == "Binary" ? "Binary" : dataName, value);
      } else if (userData != 0 && path.size() > userData + 1 && !childSince) {
        event->data.emplace_back(name, value);
      }
      if (path.size() == userData) userData = 0;
      path.pop_back();
      text.clear();
      childSince = true;
      continue;
    }
    const bool empty = tag.back() == '/';
    const size_t nameEnd = tag.find_first_of(" \t\r\n/");
    const std::string name = LocalName(tag.substr(0, nameEnd));
    if (path.empty() && name != "Event") return false;
    sawEvent = true;
    ReadAttributes(tag, nameEnd == std::string::npos ? tag.size() : nameEnd, &attributes);
    const std::string parent = path.empty() ? "" : path.back();
    dataName.clear();
    for (const auto& attribute : attributes) {
      if (parent == "System" && name == "Provider" && attribute.first == "Name") {
        event->provider = attribute.second;
      } else if (parent == "System" && name == "TimeCreated" && attribute.first == "SystemTime") {
        event->time = UtcText(attribute.second);
      } else if (parent == "System" && name == "Security" && attribute.first == "UserID") {
        event->userSid = attribute.second;
      } else if (name == "Data" && attribute.first == "Name") {
        dataName = attribute.second;
      }
    }
    text.clear();
    childSince = false;
    if (empty) {
      if (parent == "EventData" && name == "Data") event->data.emplace_back(dataName, "");
      childSince = true;
      continue;
    }
    path.push_back(name);
    if (name == "UserData" && userData == 0) userData = path.size();
  }
  return sawEvent && path.empty();
}

const char kChannelCsvHeader[] =
    "TimeCreated (UTC),RecordId,EventId,Level,Provider,Computer,UserSid,Message,MessageStatus,"
    "EventData";

std::string ChannelRow(const ChannelEvent& event, const std::string& message,
                       const std::string& messageStatus) {
  std::string data;
  for (const auto& pair : event.data) {
    if (!data.empty()) data += "; ";
    data += pair.first.empty() ? pair.second : pair.first + "=" + pair.second;
  }
  return CsvField(event.time) + "," + CsvField(event.recordId) + "," + CsvField(event.eventId) +
         "," + CsvField(event.level) + "," + CsvField(event.provider) + "," +
         CsvField(event.computer) + "," + CsvField(event.userSid) + "," + CsvField(message) + "," +
         CsvField(messageStatus) + "," + CsvField(data);
}

std::string ChannelWindowQuery(int32_t days) {
  return "*[System[TimeCreated[timediff(@SystemTime) <= " +
         std::to_string(static_cast<int64_t>(days) * 86400000) + "]]]";
}

PublisherCache::~PublisherCache() {
  for (const auto& publisher : publishers_) {
    if (publisher.second != 0) api_.Close(publisher.second);
  }
}

ChannelApi::Handle PublisherCache::Get(const std::string& provider) {
  const auto found = publishers_.find(provider);
  if (found != publishers_.end()) return found->second;
  uint32_t error = 0;
  const ChannelApi::Handle handle = provider.empty() ? 0 : api_.OpenPublisher(provider, &error);
  publishers_.emplace(provider, handle);
  return handle;
}

EventChannelCollector::EventChannelCollector(const std::string& folder,
                                             const std::string& workingRoot,
                                             const RunContext& context, ChannelApi& api,
                                             const ChannelLimits& limits)
    : folder_(folder), workingRoot_(workingRoot), context_(context), api_(api), limits_(limits) {}

void EventChannelCollector::NotWorking(uint32_t error) {
  if (api_.toldUnusable) return;
  api_.toldUnusable = true;
  context_.Log(SeverityInformation,
               Format("The event channel interface (wevtapi.dll) does not work on this system "
                      "(error %u): no event channels are collected; the classic event logs are "
                      "collected as before",
                      error));
}

void EventChannelCollector::Run(const std::string& name, const std::string& value) {
  ChannelSpec spec;
  const std::string problem = ParseChannelSpec(value, &spec);
  if (!problem.empty()) {
    context_.Log(SeverityError,
                 Format("EVENT_CHANNELS %s is refused: %s", name.c_str(), problem.c_str()));
    return;
  }
  std::string why;
  if (!api_.Load(&why)) {
    if (api_.toldUnusable) return;
    api_.toldUnusable = true;
    context_.Log(SeverityInformation,
                 Format("Event channels are not available on this system (%s): EVENT_CHANNELS "
                        "is skipped; the classic event logs are collected as before",
                        why.c_str()));
    return;
  }
  if (api_.toldUnusable) return;
  if (!IsChannelPattern(spec.channel)) {
    Collect(spec.channel, name, spec);
    return;
  }
  std::vector<std::string> all;
  uint32_t error = 0;
  if (!api_.Channels(&all, &error)) {
    // Wine 8's stub answers 2 here.
    if (error == 0 || error == kErrorNotImplemented || error == kErrorFileNotFound) {
      NotWorking(error);
    } else {
      context_.Log(SeverityError, Format("Unable to list the event channels (error %u)", error));
    }
    return;
  }
  size_t matched = 0;
  for (const std::string& channel : all) {
    if (!ChannelMatches(spec.channel, channel)) continue;
    ++matched;
    if (context_.StopRequested() || Collect(channel, name + " " + channel, spec) == Outcome::Stop) {
      return;
    }
  }
  if (matched == 0) {
    context_.Log(SeverityInformation,
                 Format("No event channel on this system matches %s", spec.channel.c_str()));
  }
}

std::string EventChannelCollector::FreePath(const std::string& title, const char* extension) {
  // The .evtx and the .csv of one channel keep one title between them.
  // Room for " (2)" and ".evtx" within the 255 characters of a name.
  std::string safe = SafeFileName(title);
  if (safe.size() > 240) safe = SafeFileName(safe.substr(0, 240));
  const auto taken = [this](const std::string& candidate) {
    return api_.FileExists(JoinPath(folder_, candidate + ".evtx")) ||
           api_.FileExists(JoinPath(folder_, candidate + ".csv"));
  };
  std::string free = safe;
  if (taken(safe)) {
    free = FreeFileName(safe + ".x",
                        [&](const std::string& c) { return taken(c.substr(0, c.size() - 2)); });
    free.resize(free.size() - 2);
  }
  return JoinPath(folder_, free + extension);
}

EventChannelCollector::Outcome EventChannelCollector::Collect(const std::string& channel,
                                                              const std::string& fileTitle,
                                                              const ChannelSpec& spec) {
  context_.Detail(channel);
  ChannelConfig config;
  // The type decides only what is skipped: Wine answers any name here.
  if (api_.Config(channel, &config) &&
      (config.type == ChannelConfig::Analytic || config.type == ChannelConfig::Debug)) {
    context_.Log(SeverityInformation,
                 Format("Event channel %s is skipped: it is %s channel, which can be read only "
                        "while it is disabled and only oldest first",
                        channel.c_str(),
                        config.type == ChannelConfig::Analytic ? "an analytic" : "a debug"));
    return Outcome::Done;
  }
  const std::string evtxPath = FreePath(fileTitle, ".evtx");
  const std::string csvPath = evtxPath.substr(0, evtxPath.size() - 5) + ".csv";
  bool broken = false, absent = false;
  const bool exported = ExportChannel(channel, evtxPath, spec.days, &broken, &absent);
  if (broken) return Outcome::Stop;
  if (absent) return Outcome::Done;
  if (exported) context_.AddFile(RelativeToFolder(evtxPath, workingRoot_), "");
  WriteRows(channel, csvPath, spec);
  return Outcome::Done;
}

bool EventChannelCollector::ExportChannel(const std::string& channel, const std::string& path,
                                          int32_t days, bool* broken, bool* absent) {
  for (const int32_t window : {days, int32_t{1}}) {
    uint32_t error = 0;
    if (!api_.Export(channel, ChannelWindowQuery(window), path, &error)) {
      // A failed export may leave a piece behind; it holds nothing usable.
      if (api_.FileExists(path)) api_.RemoveFile(path);
      if (error == 0 || error == kErrorNotImplemented) {
        NotWorking(error);
        *broken = true;
      } else if (error == kErrorChannelNotFound) {
        context_.Log(SeverityInformation,
                     Format("Event channel %s is not present on this system", channel.c_str()));
        *absent = true;
      } else if (error == kErrorAccessDenied) {
        context_.Log(SeverityError,
                     Format("Access to event channel %s was denied (error 5): run as "
                            "administrator to collect it",
                            channel.c_str()));
        *absent = true;
      } else {
        context_.Log(SeverityError, Format("Unable to export event channel %s to %s (error %u)",
                                           channel.c_str(), path.c_str(), error));
      }
      return false;
    }
    uint64_t size = 0;
    api_.FileSize(path, &size);
    if (size > limits_.mostExportBytes) {
      api_.RemoveFile(path);
      if (window != 1) {
        context_.Log(SeverityInformation,
                     Format("Event channel %s gave %llu bytes for %d days, more than %llu: "
                            "exported again for the last 24 hours",
                            channel.c_str(), static_cast<unsigned long long>(size), window,
                            static_cast<unsigned long long>(limits_.mostExportBytes)));
        continue;
      }
      context_.Log(SeverityError,
                   Format("Event channel %s gave %llu bytes even for the last 24 hours, more "
                          "than %llu: its .evtx file is dropped",
                          channel.c_str(), static_cast<unsigned long long>(size),
                          static_cast<unsigned long long>(limits_.mostExportBytes)));
      return false;
    }
    uint64_t records = 0;
    const std::string problem =
        EvtxProblem([&](uint64_t offset, size_t count,
                        std::string* bytes) { return api_.ReadAt(path, offset, count, bytes); },
                    &records);
    if (!problem.empty()) {
      context_.Log(SeverityError, Format("Event channel %s: the exported %s is damaged (%s); it "
                                         "is kept as it is",
                                         channel.c_str(), path.c_str(), problem.c_str()));
      return true;
    }
    context_.Log(SeverityInformation,
                 Format("Event channel %s exported to %s: %llu records, %llu bytes, last %d days",
                        channel.c_str(), path.c_str(), static_cast<unsigned long long>(records),
                        static_cast<unsigned long long>(size), window));
    return true;
  }
  return false;
}

void EventChannelCollector::WriteRows(const std::string& channel, const std::string& path,
                                      const ChannelSpec& spec) {
  uint32_t error = 0;
  const ChannelApi::Handle query = api_.Query(channel, ChannelWindowQuery(spec.days), &error);
  if (query == 0) {
    if (error == 0 || error == kErrorNotImplemented) {
      NotWorking(error);
    } else {
      context_.Log(
          SeverityError,
          Format("Unable to read event channel %s (error %u)%s", channel.c_str(), error,
                 error == kErrorAccessDenied ? ": run as administrator to collect it" : ""));
    }
    return;
  }
  LogFile csv(path);
  bool written = csv.AppendLine(kChannelCsvHeader);
  std::string rows;
  const auto flush = [&] {
    if (!rows.empty()) written = csv.AppendLine(rows) && written;
    rows.clear();
  };
  PublisherCache publishers(api_);
  std::vector<ChannelApi::Handle> events;
  std::string xml, message;
  uint64_t count = 0, unrendered = 0, noMessage = 0;
  bool capped = false, cut = false, stopped = false, readToEnd = false;
  const uint64_t start = api_.NowMs();
  while (!capped && !cut && !stopped) {
    events.clear();
    if (!api_.Next(query, limits_.batch, &events, &error)) {
      readToEnd = error == kErrorNoMoreItems;
      break;
    }
    for (size_t i = 0; i < events.size(); ++i) {
      const ChannelApi::Handle event = events[i];
      // The cap is reached only by an event left out.
      capped = capped || count >= static_cast<uint64_t>(spec.rows);
      // Past a stop, the cap or the budget the events are only closed.
      if (capped || cut || stopped) {
        api_.Close(event);
        continue;
      }
      ChannelEvent fields;
      std::string status = "rendered";
      message.clear();
      if (!api_.RenderXml(event, &xml, &error) || !ParseRenderedEvent(xml, &fields)) {
        ++unrendered;
        status = Format("event not rendered (error %u)", error);
      } else if (const ChannelApi::Handle publisher = publishers.Get(fields.provider)) {
        if (!api_.FormatMessage(publisher, event, &message, &error)) {
          message.clear();
          ++noMessage;
          status = Format("no message (error %u)", error);
        }
      } else {
        ++noMessage;
        status = "publisher not installed";
      }
      api_.Close(event);
      if (!rows.empty()) rows += "\r\n";
      rows += ChannelRow(fields, message, status);
      if (rows.size() >= 65536) flush();
      ++count;
      cut = api_.NowMs() - start > limits_.budgetMs;
      stopped = context_.StopRequested();
    }
  }
  api_.Close(query);
  if (cut) {
    if (!rows.empty()) rows += "\r\n";
    ChannelEvent mark;
    rows += ChannelRow(mark,
                       Format("Cut: the time budget of %llu s ran out; older records are in the "
                              ".evtx file only",
                              static_cast<unsigned long long>(limits_.budgetMs / 1000)),
                       "cut");
  }
  flush();
  context_.AddFile(RelativeToFolder(path, workingRoot_), "");
  if (!written) {
    context_.Log(SeverityError, Format("Unable to write %s", path.c_str()));
    return;
  }
  if (capped) {
    context_.Log(SeverityInformation,
                 Format("Event channel %s: the cap of %d rows was reached; older records are in "
                        "the .evtx file only",
                        channel.c_str(), spec.rows));
  }
  if (cut) {
    context_.Log(SeverityWarning,
                 Format("Event channel %s: the time budget of %llu s ran out after %llu rows; %s "
                        "is marked cut",
                        channel.c_str(), static_cast<unsigned long long>(limits_.budgetMs / 1000),
                        static_cast<unsigned long long>(count), path.c_str()));
  }
  if (!capped && !cut && !stopped && !readToEnd) {
    context_.Log(SeverityError, Format("Unable to read all of event channel %s (error %u)",
                                       channel.c_str(), error));
  }
  if (unrendered != 0) {
    context_.Log(SeverityWarning,
                 Format("Event channel %s: %llu events could not be rendered", channel.c_str(),
                        static_cast<unsigned long long>(unrendered)));
  }
  context_.Log(SeverityInformation,
               Format("Event channel %s: %llu rows written to %s (messages for %s%%)",
                      channel.c_str(), static_cast<unsigned long long>(count), path.c_str(),
                      Percent(count - noMessage - unrendered, count).c_str()));
}

void RunEventChannelCollector(ActionRequest& request, ChannelApi& api) {
  EventChannelCollector collector(request.scriptFolder, request.tempFolder, request.context, api);
  collector.Run(request.name, request.value);
}
