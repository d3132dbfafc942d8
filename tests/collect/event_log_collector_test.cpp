#include "collect/event_log_collector.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/event_records.h"
#include "support/log_entries.h"
#include "support/test_support.h"

namespace {

using ::testing::ElementsAre;
using testing_support::BlockReader;
using testing_support::CapturedLog;
using testing_support::FileLines;
using testing_support::RecordBytes;
using testing_support::RecordSpec;
using testing_support::ScratchFolder;
using Strings = std::vector<std::string>;

void SetZone(const char* zone) {
#ifdef _WIN32
  _putenv_s("TZ", zone != nullptr ? zone : "");
  _tzset();
#else
  zone != nullptr ? setenv("TZ", zone, 1) : unsetenv("TZ");
  tzset();
#endif
}

// Central European time without its summer time (its rule is the C
// library's business, and msvcrt reads none), no zone database needed.
class BerlinTime : public ::testing::Test {
 protected:
  void SetUp() override { SetZone("CET-1"); }
  void TearDown() override { SetZone(saved_.empty() ? nullptr : saved_.c_str()); }

 private:
  const std::string saved_ = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
};

// --- settings: the element, the switches, their merge

ActionElement Element(std::vector<std::pair<std::string, std::string>> attributes) {
  ActionElement element;
  element.nodes.push_back({"EVENT_LOGS", std::move(attributes), {}});
  return element;
}

TEST(EventLogSettings, ElementAttributesThenSwitches) {
  RunSettings settings;
  ReadEventLogSettings(Element({{"System_log_Recent_Days", "4"}}), RunPassRun, &settings);
  ReadEventLogSettings(Element({{"Application_log_required", ""},
                                {"system_LOG_required", "false"},
                                {"Security_log_required", "YES"},
                                {"Security_log_Recent_Days", " 12abc"}}),
                       RunPassRun, &settings);
  ReadEventLogSettings(Element({{"Security_log_required", "No"}}), RunPassCount, &settings);
  EXPECT_THAT(settings.eventLogSelected, ElementsAre(false, false, true));
  EXPECT_THAT(settings.eventLogDays, ElementsAre(-1, -1, 12));  // the first element is forgotten

  // Over an element: /event=0 /application=3, then /event=5 /application=3 /system=0.
  ReadEventLogSettings(Element({}), RunPassRun, &settings);
  settings.eventDaysGiven = settings.applicationDaysGiven = true;
  settings.eventDays = 0;
  settings.applicationDays = 3;
  EventLogChoice choice = MergeEventLogSettings(settings);
  EXPECT_THAT(choice.selected, ElementsAre(true, false, false));
  EXPECT_THAT(choice.days, ElementsAre(3, 0, 0));
  settings.systemDaysGiven = true;
  settings.eventDays = 5;
  settings.systemDays = 0;
  choice = MergeEventLogSettings(settings);
  EXPECT_THAT(choice.selected, ElementsAre(true, false, true));
  EXPECT_THAT(choice.days, ElementsAre(3, 0, 5));
}

// --- records and rows from buffers

// Each way a record can lie ends the block after the good first record
// (whose fields the rendered rows below show).
TEST(EventRecords, LyingRecordsEndTheBlock) {
  RecordSpec spec;
  spec.sid = testing_support::LocalSystemSid();
  spec.strings = {"one", "", "three"};
  spec.data = std::string("\x00\xff\x10\x00\x7f", 5);  // up to the closing length
  const std::string good = RecordBytes(spec);
  const size_t length = good.size();
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;  // written at `at` of the second record
  } cases[] = {
      {"length past the block", 0, static_cast<uint32_t>(length + 4)},
      {"length below the header", 0, 20},
      {"no mark", 4, 0},
      {"closing length differs", static_cast<uint32_t>(length - 4), 8},
      {"strings past the record", 36, static_cast<uint32_t>(length)},
      {"huge string count", 26, 0xFFFF},  // and category 0
      {"sid past the record", 40, 0x7FFFFFF0},
      {"data offset wraps", 52, 0xFFFFFFFF},
      {"data offset in the header", 52, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string block = good + good;
    testing_support::Put32(&block, length + c.at, c.value);
    std::vector<EventRecord> records;
    EXPECT_FALSE(ParseEventRecords(block.data(), block.size(), &records));
    EXPECT_EQ(records.size(), 1u);
  }
  // Cut anywhere inside the second record, or names without terminators.
  for (size_t cut = length + 1; cut < 2 * length; cut += 7) {
    const std::string block = (good + good).substr(0, cut);
    std::vector<EventRecord> records;
    EXPECT_FALSE(ParseEventRecords(block.data(), block.size(), &records)) << cut;
    EXPECT_EQ(records.size(), 1u);
  }
  std::string unterminated = good;
  for (size_t i = kEventRecordHeaderSize; i < length - 4; ++i) unterminated[i] = 'x';
  std::vector<EventRecord> records;
  EXPECT_FALSE(ParseEventRecords(unterminated.data(), unterminated.size(), &records));
  EXPECT_TRUE(records.empty());
}

// The rows below show the other types.
TEST(EventRows, TypesAndInserts) {
  EXPECT_STREQ(EventTypeName(1), "Error");
  const Strings strings = {"a", "%2", "c", "d", "e", "f", "g", "h", "i", "ten", "11"};
  const struct {
    const char* message;
    Strings strings;
    const char* expected;
  } inserts[] = {
      {"%2 is not scanned again", strings, "%2 is not scanned again"},
      {"%10 is the tenth, %11 the eleventh", strings, "ten is the tenth, 11 the eleventh"},
      {"%12 and %0 and %x stay; 100%", strings, "%12 and %0 and %x stay; 100%"},
      {"%10 with one string", {"x"}, "%10 with one string"},
  };
  for (const auto& c : inserts) EXPECT_EQ(InsertStrings(c.message, c.strings), c.expected);
}

// --- the collector through the seam

class FakeLookups : public EventTextLookups {
 public:
  std::map<std::string, std::string> lists;  // log\source\value -> file list
  std::map<std::string, std::map<uint32_t, std::string>> files;
  bool NtFamily() override { return true; }
  bool AccountName(const std::string& sid, const std::string&, std::string* name) override {
    if (sid != testing_support::LocalSystemSid()) return false;
    *name = "SY,STEM";
    return true;
  }
  bool MessageFileList(const std::string& log, const std::string& source,
                       const std::string& valueName, std::string* list) override {
    const auto found = lists.find(log + "\\" + source + "\\" + valueName);
    if (found != lists.end()) *list = found->second;
    return found != lists.end();
  }
  bool FormatFromFile(const std::string& path, uint32_t id, bool, std::string* text) override {
    const auto file = files.find(path);
    if (file == files.end() || file->second.count(id) == 0) return false;
    *text = file->second.at(id);
    return true;
  }
  void ReleaseFiles() override {}
  bool FileExists(const std::string& path) override {
    return testing_support::FileExists(sys::SystemPath(path));
  }
  bool FileStart(const std::string& path, size_t size, std::string* bytes) override {
    *bytes = testing_support::ReadFile(sys::SystemPath(path)).substr(0, size);
    return true;
  }
};

class EventLogCollectorTest : public BerlinTime {
 protected:
  void SetUp() override {
    BerlinTime::SetUp();
    lookups.lists["Application\\Src\\EventMessageFile"] = "msg.dll;;second.dll";
    lookups.lists["Application\\Src\\CategoryMessageFile"] = "second.dll";
    lookups.files["msg.dll"] = {{1, "Started %1, then %2.\r\n"}, {7, "Seven"}};
    lookups.files["second.dll"] = {{2, "From the second, file\r\n"}, {3, "Disk,Net"}};
    std::filesystem::create_directories(root / "script");
    context = log.Context();
    context.manifest = &manifest;
  }
  std::string Out() const { return root.path() + "\\script\\"; }
  std::string Csv(const char* log) const { return sys::SystemPath(Out() + log + " Log.csv"); }
  bool Collect(bool application, bool security, bool system) {
    EventLogCollector collector(Out(), context, reader, lookups, SystemPathLookups());
    collector.SelectLogs(application, security, system);
    return collector.Run(root.path());
  }

  ScratchFolder root{"events"};
  CapturedLog log;
  testing_support::ListedRows manifest;
  RunContext context;
  BlockReader reader;
  FakeLookups lookups;
};

TEST_F(EventLogCollectorTest, RowsRenderedFromTheMessageFiles) {
  RecordSpec started;
  started.eventId = 1;
  started.category = 3;
  started.strings = {"the service", "stopped,\tagain"};
  started.sid = testing_support::LocalSystemSid();
  RecordSpec second;
  second.eventId = 2;
  second.type = 0;
  second.sid = "\x01\x01";  // names nobody
  RecordSpec unknown;       // in local time past 2038, the low 16 bits of its id
  unknown.time = 4102444800u;
  unknown.type = 2;
  unknown.eventId = 0x40000000 | 70000;
  unknown.source = "No,body";
  unknown.computer = "PC,1";
  unknown.data = "A\xFF";
  reader.blocks = {
      {"Application", {RecordBytes(started) + RecordBytes(second), RecordBytes(unknown)}}};
  ASSERT_TRUE(Collect(true, false, false));
  EXPECT_THAT(FileLines(Csv("Application")),
              ElementsAre(kEventCsvHeader,
                          "Information,14/11/2023,23:13:20,Src,Disk.Net,1,SY.STEM,HOST,"
                          "Started the service. then stopped. again.  ,None",
                          "***ERROR***,14/11/2023,23:13:20,Src,None,2,N/A,HOST,"
                          "From the second. file  ,None",
                          "Warning,01/01/2100,01:00:00,No.body,None,4464,N/A,PC.1,None,41 FF"));
}

// The action and the end of the run in one folder: one export, one row each.
TEST_F(EventLogCollectorTest, ASecondExportIntoOneFolderKeepsTheFirst) {
  reader.blocks = {{"Application", {RecordBytes(RecordSpec())}},
                   {"System", {RecordBytes(RecordSpec())}}};
  ASSERT_TRUE(Collect(true, false, false));
  const std::string first = testing_support::ReadFile(Csv("Application"));
  ASSERT_TRUE(Collect(true, false, false));
  EXPECT_EQ(testing_support::ReadFile(Csv("Application")), first);
  EXPECT_EQ(manifest.rows,
            (Strings{"script\\Application Log.csv|", "script\\Application Log.evt|"}));

  // Another action's file of that name is no export: the log goes beside it.
  testing_support::WriteFile(Csv("System"), "Name,Version\r\n");
  ASSERT_TRUE(Collect(false, false, true));
  EXPECT_EQ(testing_support::ReadFile(Csv("System")), "Name,Version\r\n");
  EXPECT_EQ(manifest.rows.back(), "script\\System Log (2).evt|");
}

TEST_F(EventLogCollectorTest, DamagedBlockAndReadFailureKeepWhatWasRead) {
  const std::string good = RecordBytes(RecordSpec());
  std::string damaged = good + good;
  testing_support::Put32(&damaged, good.size() + 4, 0);  // the second has no mark
  reader.blocks = {{"Application", {damaged, good, good}}};
  reader.failAfter = 2;
  reader.backupBytes = "ELF";
  ASSERT_TRUE(Collect(true, true, false));
  EXPECT_EQ(FileLines(Csv("Application")).size(), 3u);  // header, one per good record
  EXPECT_THAT(log.Entries(),
              ElementsAre("ERROR,Unable to read all of the Application event log (error 5)",
                          "WARNING,Damaged records in the Application event log were skipped",
                          "ERROR,Unable to open the Security event log (error 2)"));
}

TEST_F(EventLogCollectorTest, RecentDaysBound) {
  const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
  RecordSpec old, today;
  old.time = now - 3 * 86400;
  today.time = now;
  reader.blocks = {{"Application", {RecordBytes(old) + RecordBytes(today)}}};
  EventLogCollector collector(Out(), context, reader, lookups, SystemPathLookups());
  collector.SelectLogs(true, false, false);
  collector.SetRecentDays(EventLogApplication, 0);
  collector.SetRecentDays(EventLogSystem, -1);
  EXPECT_EQ(collector.from(EventLogSystem), 0);         // before 1900: no bound
  EXPECT_EQ(DateTextToTime("15/11/2023"), 1700002800);  // a day starts at local midnight
  ASSERT_TRUE(collector.Run(root.path()));
  EXPECT_EQ(FileLines(Csv("Application")).size(), 2u);
}

// The end of the run: nothing without a script folder to export into, not
// even the drive's root (the whole runs take the way with one).
TEST(CollectEventLogs, NeedsAScriptFolder) {
  static int calls = 0;
  const ActionCollector collector = [](ActionRequest&) { ++calls; };
  Settings().Reset();
  ActionRequest request;
  int32_t total = 0;
  Settings().applicationDaysGiven = true;
  Settings().applicationDays = 3;
  CollectEventLogs(RunPassCount, request, collector, &total);
  CollectEventLogs(RunPassRun, request, collector, &total);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(calls, 0);
  Settings().Reset();
}

}  // namespace
