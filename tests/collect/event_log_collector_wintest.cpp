// The event-log collector against Wine: records fed through the seam,
// texts rendered from a windmc-built message file registered for the
// source, account names from the real lookup. Wine's own (stub) log is
// exported by a whole run in tests/e2e/run.sh.
#include <windows.h>

#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "collect/event_log_collector.h"
#include "support/beside_program_win.h"
#include "support/event_records.h"
#include "support/log_entries.h"
#include "support/test_support.h"

extern "C" WINADVAPI LONG WINAPI RegDeleteTreeA(HKEY key, LPCSTR subkey);

namespace {

using testing_support::BesideThisProgram;
using testing_support::BlockReader;
using testing_support::CapturedLog;
using testing_support::FileLines;
using testing_support::RecordBytes;
using testing_support::RecordSpec;
using testing_support::ScratchFolder;
using Strings = std::vector<std::string>;

class EventLogWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(::CopyFileA(BesideThisProgram("event_messages.dll").c_str(),
                            (folder_ / "event_messages.dll").c_str(), FALSE));
    ::SetEnvironmentVariableA("BRT_EVENT_DIR", folder_.path().c_str());
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyA(HKEY_LOCAL_MACHINE, keyName_.c_str(), &key), ERROR_SUCCESS);
    // A missing file first: the next one in the list gives the text. Message
    // texts end in CR LF, which the rows show as two blanks.
    const std::string events = folder_ / "missing.dll;%BRT_EVENT_DIR%\\event_messages.dll";
    ::RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                     reinterpret_cast<const BYTE*>(events.c_str()),
                     static_cast<DWORD>(events.size() + 1));
    ::RegCloseKey(key);
    ::CreateDirectoryA((folder_ / "script").c_str(), nullptr);
  }
  void TearDown() override {
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyName_.c_str());
    ::SetEnvironmentVariableA("BRT_EVENT_DIR", nullptr);
  }
  std::string Out() const { return folder_ / "script\\"; }

  const std::string source_ = "BrindleTest" + std::to_string(::GetCurrentProcessId());
  const std::string keyName_ =
      "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + source_;
  ScratchFolder folder_{"events"};
  CapturedLog log_;
};

// Categories (the same lookup), unknown ids and unnamed accounts are the unit test's.
TEST_F(EventLogWinTest, RendersFromTheRegisteredMessageFile) {
  RecordSpec started;
  started.eventId = 100;
  started.source = source_;
  started.computer = "";  // this machine
  started.sid = testing_support::LocalSystemSid();
  started.strings = {"Spooler", "Fax, too"};
  RecordSpec unknown = started;
  unknown.eventId = 555;
  BlockReader reader;
  reader.blocks = {{"Application", {RecordBytes(started) + RecordBytes(unknown)}}};
  for (const bool cache : {true, false}) {
    SCOPED_TRACE(cache ? "cached" : "uncached");
    ::DeleteFileA((Out() + "Application Log.csv").c_str());
    EventLogCollector collector(Out(), log_.Context(), reader, SystemEventTextLookups(),
                                SystemPathLookups());
    collector.SelectLogs(true, false, false);
    collector.UseMessageCache(cache);
    ASSERT_TRUE(collector.Run(folder_.path()));
    const Strings lines = FileLines(Out() + "Application Log.csv");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[1],
                ::testing::EndsWith("," + source_ +
                                    ",None,100,SYSTEM,,"
                                    "Service Spooler started.  then Fax. too stopped.  ,None"));
    EXPECT_THAT(lines[2], ::testing::EndsWith(",555,SYSTEM,,None,None"));
  }
}

}  // namespace
