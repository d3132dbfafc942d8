#include "collect/event_channel_collector.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <map>

#include <zlib.h>

#include "support/log_entries.h"
#include "sys/file_system.h"

namespace {

using ::testing::_;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Strings = std::vector<std::string>;

TEST(ChannelSpec, SwitchesNumbersAndPatterns) {
  ChannelSpec spec;
  EXPECT_EQ(ParseChannelSpec(" Microsoft-Windows-PowerShell/Operational /ROWS:5 /days:90", &spec),
            "");
  EXPECT_EQ(spec.channel + " " + std::to_string(spec.days) + " " + std::to_string(spec.rows),
            "Microsoft-Windows-PowerShell/Operational 90 5");
  ASSERT_EQ(ParseChannelSpec("App-*/Operational", &spec), "");
  EXPECT_EQ(std::to_string(spec.days) + " " + std::to_string(spec.rows), "7 20000");
  for (const char* refused : {"", " /days:3", "App /days:0", "App /days:91", "App /days:1x",
                              "App /rows:0", "App /days:2 /days:3", "App /x", "*", "*/*", "? *"}) {
    EXPECT_NE(ParseChannelSpec(refused, &spec), "") << refused;
  }
  EXPECT_TRUE(ChannelMatches("microsoft-windows-terminalservices-*/operational",
                             "Microsoft-Windows-TerminalServices-LocalSessionManager/Operational"));
  EXPECT_TRUE(ChannelMatches("a*b*c", "axxbxbxc"));
  EXPECT_TRUE(ChannelMatches("A?p*", "App"));
  EXPECT_FALSE(ChannelMatches("a*b*c", "axxbxbx"));
  EXPECT_FALSE(ChannelMatches("*/Admin", "X/Operational"));
}

TEST(RenderedEvent, SystemFieldsAndBothKindsOfData) {
  ChannelEvent event;
  ASSERT_TRUE(ParseRenderedEvent(
      "<Event xmlns='http://schemas.microsoft.com/win/2004/08/events/event'><System>"
      "<Provider Name='Microsoft-Windows-PowerShell' Guid='{a}'/><EventID Qualifiers='0'>4104"
      "</EventID><Level>3</Level><TimeCreated SystemTime='2024-05-01T10:00:00.1234567Z'/>"
      "<EventRecordID>77</EventRecordID><Computer>PC</Computer><Security UserID='S-1-5-18'/>"
      "</System><EventData><Data Name='Text'>a &lt;b&gt; &amp; &#233;<!-- x --></Data>"
      "<Data>plain</Data><Data Name='Empty'/></EventData></Event>",
      &event));
  EXPECT_EQ(ChannelRow(event, "Line one,\r\nline \"two\"", "rendered"),
            "2024-05-01 10:00:00.123,77,4104,Warning,Microsoft-Windows-PowerShell,PC,S-1-5-18,"
            "\"Line one,\r\nline \"\"two\"\"\",rendered,Text=a <b> & <U+00E9>; plain; Empty=");
  ASSERT_TRUE(ParseRenderedEvent(
      "<Event><System><Level>0</Level></System><UserData><Log xmlns='x'><User>bob</User>"
      "<Op>Add<Sub>deep</Sub></Op></Log></UserData></Event>",
      &event));
  EXPECT_EQ(event.level, "Information");
  EXPECT_THAT(event.data, ElementsAre(std::make_pair(std::string("User"), std::string("bob")),
                                      std::make_pair(std::string("Sub"), std::string("deep"))));
  EXPECT_FALSE(ParseRenderedEvent("<Other/>", &event));
  EXPECT_FALSE(ParseRenderedEvent("<Event><System>", &event));
}

void Put(std::string* bytes, size_t at, uint64_t value, int size = 4) {
  for (int i = 0; i < size; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}
uint32_t Crc(const std::string& b, size_t from, size_t to, uint32_t crc = 0) {
  return crc32(crc, reinterpret_cast<const Bytef*>(b.data()) + from, static_cast<uInt>(to - from));
}

// A .evtx of `chunks` chunks of 100 records each; the checker reads no
// record, so theirs are bytes.
std::string Evtx(uint16_t chunks) {
  std::string file(4096, '\0');
  file.replace(0, 8, std::string("ElfFile\0", 8));
  Put(&file, 42, chunks, 2);
  Put(&file, 124, Crc(file, 0, 120));
  for (uint64_t c = 0; c < chunks; ++c) {
    std::string chunk(512, '\0');
    chunk.replace(0, 8, std::string("ElfChnk\0", 8));
    Put(&chunk, 8, c * 100 + 1, 8);
    Put(&chunk, 16, c * 100 + 100, 8);
    chunk += std::string(3000, 'r');
    Put(&chunk, 48, chunk.size());
    Put(&chunk, 52, Crc(chunk, 512, chunk.size()));
    chunk.resize(65536, '\0');
    Put(&chunk, 124, Crc(chunk, 128, 512, Crc(chunk, 0, 120)));
    file += chunk;
  }
  return file;
}

TEST(EvtxCheck, CountsRecordsAndFindsEachDamage) {
  const std::string file = Evtx(2);
  uint64_t records = 0;
  const auto check = [&](const std::string& bytes) {
    return EvtxProblem(
        [&](uint64_t at, size_t size, std::string* out) {
          *out = at < bytes.size() ? bytes.substr(at, size) : "";
          return true;
        },
        &records);
  };
  EXPECT_EQ(check(file), "");
  EXPECT_EQ(records, 200u);
  const auto damaged = [&](size_t at) {
    std::string copy = file;
    copy[at] ^= 1;
    return check(copy);
  };
  EXPECT_EQ(damaged(30), "file header checksum");
  EXPECT_EQ(damaged(4096 + 200), "chunk 1 header checksum");
  EXPECT_EQ(damaged(4096 + 65536 + 700), "chunk 2 records checksum");
  EXPECT_EQ(check(file.substr(0, file.size() - 1)), "the file ends before chunk 2");
  EXPECT_EQ(check("ElfFile"), "no .evtx file header");
}

// One channel "Big" of five events, newest first, and what goes wrong.
class FakeChannels : public ChannelApi {
 public:
  std::vector<int> events;  // record ids, newest first
  uint64_t now = 0, tick = 0;
  int paddedExports = 0;  // the next ones come out too big
  std::map<std::string, int> publishersOpened;
  std::vector<std::string> exports;

  bool Load(std::string*) override { return true; }
  bool Channels(std::vector<std::string>*, uint32_t*) override { return false; }
  bool Config(const std::string&, ChannelConfig*) override { return false; }
  bool Export(const std::string&, const std::string& query, const std::string& path,
              uint32_t*) override {
    exports.push_back(query);
    const size_t padding = paddedExports-- > 0 ? 200000 : 0;
    testing_support::WriteFile(sys::SystemPath(path), Evtx(1) + std::string(padding, '\0'));
    return true;
  }
  Handle Query(const std::string&, const std::string&, uint32_t*) override {
    next_ = 0;
    return 1;
  }
  bool Next(Handle, size_t most, std::vector<Handle>* got, uint32_t* error) override {
    for (; next_ < events.size() && got->size() < most; ++next_) got->push_back(100 + next_);
    *error = kErrorNoMoreItems;
    return !got->empty();
  }
  bool RenderXml(Handle event, std::string* xml, uint32_t*) override {
    const int id = events[event - 100];
    *xml = "<Event><System><Provider Name='" + std::string(id > 3 ? "Installed" : "Gone") +
           "'/><EventRecordID>" + std::to_string(id) + "</EventRecordID></System><EventData>" +
           "<Data Name='N'>v" + std::to_string(id) + "</Data></EventData></Event>";
    return true;
  }
  Handle OpenPublisher(const std::string& provider, uint32_t*) override {
    ++publishersOpened[provider];
    return provider == "Installed" ? 7 : 0;
  }
  bool FormatMessage(Handle, Handle event, std::string* text, uint32_t*) override {
    *text = "Message of " + std::to_string(events[event - 100]);
    return true;
  }
  void Close(Handle) override {}
  uint64_t NowMs() override { return now += tick; }
  bool ReadAt(const std::string& path, uint64_t at, size_t size, std::string* bytes) override {
    const std::string all = testing_support::ReadFile(sys::SystemPath(path));
    *bytes = at < all.size() ? all.substr(at, size) : "";
    return true;
  }
  bool FileSize(const std::string& path, uint64_t* size) override {
    *size = testing_support::ReadFile(sys::SystemPath(path)).size();
    return true;
  }
  bool FileExists(const std::string& path) override { return sys::PathExists(path); }
  bool RemoveFile(const std::string& path) override { return sys::RemoveFile(path); }

 private:
  size_t next_ = 0;
};

class ChannelCollectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root / "s");
    context = log.Context();
    context.manifest = &manifest;
    api.events = {5, 4, 3, 2, 1};
  }
  Strings Run(const std::string& name, const std::string& value) {
    EventChannelCollector(root.path() + "\\s", root.path(), context, api, limits).Run(name, value);
    return log.Entries();
  }
  Strings Csv(const std::string& name) {
    return testing_support::FileLines(sys::SystemPath(root.path() + "\\s\\" + name + ".csv"));
  }

  testing_support::ScratchFolder root{"channels"};
  testing_support::CapturedLog log;
  testing_support::ListedRows manifest;
  RunContext context;
  FakeChannels api;
  ChannelLimits limits;
};

TEST_F(ChannelCollectorTest, BoundsOfRowsSizeAndTime) {
  Run("R", "Big/Operational /rows:4 /days:3");
  EXPECT_EQ(api.exports[0], "*[System[TimeCreated[timediff(@SystemTime) <= 259200000]]]");
  EXPECT_THAT(Csv("R"),
              ElementsAre(kChannelCsvHeader, ",5,,,Installed,,,Message of 5,rendered,N=v5", _,
                          ",3,,,Gone,,,,publisher not installed,N=v3", _));
  EXPECT_EQ(api.publishersOpened["Gone"], 1);  // a miss is remembered too
  EXPECT_THAT(log.Entries(), Contains(HasSubstr("cap of 4 rows was reached")));
  Run("R", "Big/Operational /rows:5");  // exactly the cap: nothing left out
  EXPECT_EQ(manifest.rows, (Strings{"s\\R.evtx|", "s\\R.csv|", "s\\R (2).evtx|", "s\\R (2).csv|"}));
  EXPECT_EQ(log.Entries().size(), 5u);

  limits.mostExportBytes = 100000;
  api.paddedExports = 1;  // the first export is too big, the day's is not
  limits.budgetMs = 25;
  api.tick = 10;
  Strings entries = Run("B", "Big");
  EXPECT_THAT(entries[5], HasSubstr("more than 100000: exported again for the last 24 hours"));
  EXPECT_THAT(entries[6], HasSubstr("\\s\\B.evtx: 100 records, "));
  EXPECT_EQ(api.exports.back(), ChannelWindowQuery(1));
  EXPECT_THAT(entries[7],
              HasSubstr("WARNING,Event channel Big: the time budget of 0 s ran out after 3 rows"));
  EXPECT_EQ(Csv("B").back(),
            ",,,,,,,Cut: the time budget of 0 s ran out; older records are in "
            "the .evtx file only,cut,");

  api.paddedExports = 2;
  EXPECT_THAT(Run("B2", "Big"), Contains(HasSubstr("ERROR,Event channel Big gave 2")));
  EXPECT_FALSE(testing_support::FileExists(sys::SystemPath(root.path() + "\\s\\B2.evtx")));
}

}  // namespace
