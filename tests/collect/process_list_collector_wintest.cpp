#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/run_settings.h"
#include "collect/perf_data_builder.h"
#include "collect/process_list_collector.h"
#include "script/action_dispatcher.h"
#include "support/log_entries.h"
#include "support/test_support.h"

namespace {

using perf_test::PerfDataBuilder;
using testing_support::CapturedLog;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ScratchFolder;

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  const std::string text = ReadFile(path);
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

bool Holds(const std::vector<std::string>& lines, const std::string& name) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return Lower(line) == name; });
}

// This program's file name, as the snapshot reports it.
std::string OwnFileName() {
  char path[MAX_PATH];
  const std::string full(path, ::GetModuleFileNameA(nullptr, path, MAX_PATH));
  return Lower(full.substr(full.rfind('\\') + 1));
}

class ProcessListWinTest : public ::testing::Test {
 protected:
  void SetUp() override { Settings().Reset(); }
  void TearDown() override { Settings().Reset(); }

  CapturedLog log_;
  ScratchFolder out_{"pl"};
  const std::string path_ = out_ / "Processes.txt";
};

TEST_F(ProcessListWinTest, SnapshotListsWinesProcessesByFileName) {
  ProcessListCollector collector(path_, *log_.log());
  const size_t count = collector.ListFromSnapshot();
  const std::vector<std::string> lines = Lines(path_);
  EXPECT_EQ(lines.size(), count);
  EXPECT_TRUE(Holds(lines, OwnFileName())) << ReadFile(path_);
  EXPECT_TRUE(Holds(lines, "services.exe")) << ReadFile(path_);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find_first_of("\\/"), std::string::npos) << line;
    EXPECT_FALSE(line.empty());
  }
  // Nothing to write to the activity log from the method itself.
  EXPECT_TRUE(log_.Entries().empty());
}

TEST_F(ProcessListWinTest, WithoutTheSnapshotFunctionsNoFileIsMade) {
  ProcessListCollector collector(path_, *log_.log());
  EXPECT_EQ(collector.ListFromSnapshot("ntdll.dll"), 0u);
  EXPECT_EQ(collector.ListFromSnapshot("no-such-module.dll"), 0u);
  EXPECT_FALSE(FileExists(path_));
}

TEST_F(ProcessListWinTest, RunFallsBackToTheSnapshotWhenPerformanceDataHasNoProcesses) {
  // Wine reports the NT family, but its performance data holds no process
  // object: the method must write nothing and say so.
  ProcessListCollector probe(out_ / "probe.txt", *log_.log());
  const size_t fromPerformanceData = probe.ListFromPerformanceData();
  EXPECT_EQ(Lines(out_ / "probe.txt").size(), fromPerformanceData);

  ActionRequest request;
  request.activityLog = log_.log();
  request.outputPath = path_;
  ProcessListAction(request);
  const std::vector<std::string> lines = Lines(path_);
  if (fromPerformanceData == 0) {
    EXPECT_TRUE(Holds(lines, OwnFileName())) << ReadFile(path_);
  } else {
    EXPECT_TRUE(Holds(lines, "_total")) << ReadFile(path_);
  }
  EXPECT_EQ(log_.Entries(),
            std::vector<std::string>{"INFORMATION,Process list dumped to " + path_});
  EXPECT_FALSE(Settings().writeFailed);
}

TEST_F(ProcessListWinTest, UnwritableOutputStillGetsTheClosingEntry) {
  const std::string path = out_ / "missing folder\\Processes.txt";
  EXPECT_TRUE(ProcessListCollector(path, *log_.log()).Run());
  EXPECT_TRUE(Settings().writeFailed);
  EXPECT_EQ(log_.Entries(), std::vector<std::string>{"INFORMATION,Process list dumped to " + path});
}

TEST(ProcessLinesFromPerformanceData, NamesInTheCodePageCutAndCounted) {
  PerfDataBuilder builder;
  builder.AddInstance(u"_Total");
  builder.AddInstance(u"Idle");
  builder.AddInstance(u"caf\u00e9");
  builder.AddInstance(std::u16string(300, u'n'));
  builder.AddInstance(u"");
  for (int i = 0; i < 120; ++i) builder.AddInstance(u"svchost");
  const std::vector<unsigned char> buffer = builder.Build();

  std::vector<std::string> lines;
  ASSERT_TRUE(ProcessLinesFromPerformanceData(buffer.data(), buffer.size(), &lines));
  ASSERT_EQ(lines.size(), 100u);
  EXPECT_EQ(lines[0], "_Total");
  EXPECT_EQ(lines[1], "Idle");
  if (::GetACP() == 1252) {
    EXPECT_EQ(lines[2], "caf\xe9");
  }
  EXPECT_EQ(lines[3], std::string(259, 'n'));
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[99], "svchost");

  EXPECT_FALSE(ProcessLinesFromPerformanceData(buffer.data(), 40, &lines));
  EXPECT_TRUE(lines.empty());
}

}  // namespace
