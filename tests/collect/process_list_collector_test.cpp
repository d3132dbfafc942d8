#include "collect/process_list_collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collect/perf_data_builder.h"

namespace {

using perf_test::PerfDataBuilder;

TEST(FindCounterIndex, PicksTheNumberBeforeTheName) {
  using namespace std::string_literals;
  struct Case {
    std::string counters;
    std::string expected;
  } cases[] = {
      {"1\0"
       "1847\0"
       "230\0Process\0"
       "784\0ID Process\0\0"s,
       "230"},
      {"230\0PROCESS\0\0"s, "230"},
      // A later match replaces an earlier one.
      {"230\0process\0"
       "900\0Process\0\0"s,
       "900"},
      // A longer or shorter name is another counter.
      {"230\0Processor\0"
       "238\0Proces\0\0"s,
       ""},
      // Nothing after the empty string that ends the list counts.
      {"2\0System\0\0"
       "230\0Process\0\0"s,
       ""},
      // Only a decimal number is an index.
      {"Process\0"
       "x1\0Process\0\0"s,
       ""},
      // No terminator at all: the walk stops at the end of the buffer.
      {"230\0Process"s, "230"},
      {""s, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindCounterIndex(c.counters.data(), c.counters.size(), "process"), c.expected)
        << testing::PrintToString(c.counters);
  }
}

std::vector<std::u16string> Names(const std::vector<unsigned char>& buffer,
                                  size_t limit = kMaxPerformanceInstances) {
  std::vector<std::u16string> names;
  EXPECT_TRUE(PerformanceInstanceNames(buffer.data(), buffer.size(), limit, &names));
  return names;
}

TEST(PerformanceInstanceNames, WalksEveryInstanceThroughItsLengths) {
  // Counter definitions and blocks of several sizes move every later record.
  for (int counters : {0, 1, 7}) {
    PerfDataBuilder builder(counters);
    for (const char16_t* name : {u"Idle", u"System", u"svchost", u"svchost", u"_Total"}) {
      builder.AddInstance(name);
    }
    EXPECT_EQ(Names(builder.Build()),
              (std::vector<std::u16string>{u"Idle", u"System", u"svchost", u"svchost", u"_Total"}))
        << counters;
  }
  // Non-ASCII names and a buffer that is not aligned.
  PerfDataBuilder builder;
  builder.AddInstance(u"caf\u00e9");
  builder.AddInstance(u"\u65e5\u672c");
  std::vector<unsigned char> buffer = builder.Build();
  buffer.insert(buffer.begin(), 0);
  std::vector<std::u16string> names;
  ASSERT_TRUE(PerformanceInstanceNames(buffer.data() + 1, buffer.size() - 1, 100, &names));
  EXPECT_EQ(names, (std::vector<std::u16string>{u"caf\u00e9", u"\u65e5\u672c"}));
}

TEST(PerformanceInstanceNames, StopsAtTheLimit) {
  PerfDataBuilder builder;
  for (int i = 0; i < 150; ++i) builder.AddInstance(u"p" + std::u16string(1, u'a' + i % 26));
  const std::vector<unsigned char> buffer = builder.Build();
  EXPECT_EQ(Names(buffer).size(), 100u);
  EXPECT_EQ(Names(buffer, 150).size(), 150u);
  EXPECT_EQ(Names(buffer, 1000).size(), 150u);
}

TEST(PerformanceInstanceNames, RefusesWhatIsNoDataBlock) {
  PerfDataBuilder builder;
  builder.AddInstance(u"Idle");
  std::vector<unsigned char> buffer = builder.Build();
  std::vector<std::u16string> names{u"stale"};
  EXPECT_FALSE(PerformanceInstanceNames(buffer.data(), 87, 100, &names));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(PerformanceInstanceNames(nullptr, 0, 100, &names));
  buffer[6] = 'X';  // "PERX"
  EXPECT_FALSE(PerformanceInstanceNames(buffer.data(), buffer.size(), 100, &names));
}

TEST(PerformanceInstanceNames, EmptyOrDamagedAnswersListWhatFits) {
  PerfDataBuilder builder;
  for (const char16_t* name : {u"Idle", u"System", u"smss"}) builder.AddInstance(name);
  const std::vector<unsigned char> good = builder.Build();
  const size_t object = builder.objectAt;
  const size_t second = builder.instanceAt[1];
  const size_t third = builder.instanceAt[2];
  const size_t firstBlock = builder.blockAt[0];

  struct Case {
    const char* what;
    size_t at;  // where to write `value`, or the size to cut to when `cut`
    uint32_t value;
    bool cut;
    std::vector<std::u16string> expected;
  } cases[] = {
      {"no objects (Wine's answer)", 28, 0, false, {}},
      {"PERF_NO_INSTANCES", object + 40, 0xFFFFFFFF, false, {}},
      {"header length past the end", 24, 0x7FFFFFF0, false, {}},
      {"definition shorter than the object header", object + 4, 10, false, {}},
      {"cut inside the second instance", second + 10, 0, true, {u"Idle"}},
      {"cut inside the second name", second + 26, 0, true, {u"Idle"}},
      {"object shorter than its instances",
       object,
       static_cast<uint32_t>(third - object),
       false,
       {u"Idle", u"System"}},
      {"zero-length counter block", firstBlock, 0, false, {u"Idle"}},
      {"instance longer than the object", second, 0x10000000, false, {u"Idle"}},
      {"instance shorter than its definition", second, 8, false, {u"Idle"}},
      // A name without its terminator ends with the instance definition.
      {"name length past the definition",
       second + 20,
       0x1000,
       false,
       {u"Idle", u"System", u"smss"}},
      {"name offset past the definition", second + 16, 0x1000, false, {u"Idle", u"", u"smss"}},
      {"name length 0", second + 20, 0, false, {u"Idle", u"", u"smss"}},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> buffer = good;
    if (c.cut) {
      buffer.resize(c.at);
    } else {
      PerfDataBuilder::Put32(&buffer, c.at, c.value);
    }
    EXPECT_EQ(Names(buffer), c.expected) << c.what;
  }
}

TEST(ExecutableBaseName, KeepsTheFileNameOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"EXPLORER.EXE", "EXPLORER.EXE"},
      {"C:\\WINDOWS\\EXPLORER.EXE", "EXPLORER.EXE"},
      {"\\??\\C:\\WINDOWS\\system32\\smss.exe", "smss.exe"},
      {"/usr/bin/wine", "usr/bin/wine"},  // only leading "/" go
      {"C:\\folder\\", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExecutableBaseName(c.first), c.second) << c.first;
}

}  // namespace
