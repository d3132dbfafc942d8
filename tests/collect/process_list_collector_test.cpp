#include "collect/process_list_collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Names = std::vector<std::u16string>;

void Put32(std::vector<unsigned char>* b, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A PERF_DATA_BLOCK as an NT system's performance data answers it: the data
// block, one object at kObject with `counters` counter definitions, then per
// instance its definition (name inside, padded to 8 bytes) and its counter
// block. `instanceAt` receives where each instance starts.
constexpr size_t kObject = 88;
std::vector<unsigned char> PerfData(const Names& names, int counters = 2,
                                    std::vector<size_t>* instanceAt = nullptr) {
  const uint32_t definition = 64 + 40 * counters, block = 8 + 8 * counters;
  std::vector<unsigned char> b(kObject + definition);
  for (size_t i = 0; i < 4; ++i) b[i * 2] = static_cast<unsigned char>("PERF"[i]);
  Put32(&b, 24, kObject);                                        // HeaderLength
  Put32(&b, 28, 1);                                              // NumObjectTypes
  Put32(&b, kObject + 4, definition);                            // DefinitionLength
  Put32(&b, kObject + 40, static_cast<uint32_t>(names.size()));  // NumInstances
  for (const std::u16string& name : names) {
    const size_t at = b.size(), nameBytes = (name.size() + 1) * 2;
    const uint32_t length = static_cast<uint32_t>((24 + nameBytes + 7) / 8 * 8);
    if (instanceAt != nullptr) instanceAt->push_back(at);
    b.resize(at + length + block);
    Put32(&b, at, length);                                 // ByteLength
    Put32(&b, at + 16, 24);                                // NameOffset
    Put32(&b, at + 20, static_cast<uint32_t>(nameBytes));  // NameLength
    for (size_t i = 0; i < name.size(); ++i) {
      b[at + 24 + 2 * i] = static_cast<unsigned char>(name[i] & 0xFF);
      b[at + 25 + 2 * i] = static_cast<unsigned char>(name[i] >> 8);
    }
    Put32(&b, at + length, block);  // the counter block's length
  }
  Put32(&b, kObject, static_cast<uint32_t>(b.size() - kObject));  // TotalByteLength
  return b;
}

TEST(FindCounterIndex, PicksTheNumberBeforeTheName) {
  // Zero-terminated strings in pairs, an empty string last ("\000" before a digit).
  using namespace std::string_literals;
  const std::pair<std::string, const char*> cases[] = {
      {"1\0001847\000230\0PROCESS\000784\0ID Process\0\0"s, "230"},
      {"2\0System\0\000230\0Process\0\0"s, ""},  // past the list's end
      {"230\0Process"s, "230"},                  // no terminator at all
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindCounterIndex(c.first.data(), c.first.size(), "process"), c.second)
        << testing::PrintToString(c.first);
  }
}

Names Walk(const std::vector<unsigned char>& buffer) {
  Names names{u"stale"};
  EXPECT_TRUE(PerformanceInstanceNames(buffer.data(), buffer.size(), &names));
  return names;
}

TEST(PerformanceInstanceNames, WalksEveryInstance) {
  // A busy server (far more than a hundred processes), names beyond ASCII,
  // counter definitions and blocks of several sizes moving every later record.
  Names many = {u"caf\u00e9", u"\u65e5\u672c"};
  for (int i = 0; i < 1500; ++i) many.push_back(u"p" + std::u16string(1, u'a' + i % 26));
  for (int counters : {0, 7}) EXPECT_EQ(Walk(PerfData(many, counters)), many);
  // A count beyond what the buffer holds lists what is there, no more.
  std::vector<unsigned char> inflated = PerfData({u"Idle", u"System"});
  Put32(&inflated, kObject + 40, 0x7FFFFFFF);
  EXPECT_EQ(Walk(inflated), (Names{u"Idle", u"System"}));
}

TEST(PerformanceInstanceNames, DamagedAnswersListWhatFits) {
  std::vector<size_t> instances;
  const std::vector<unsigned char> good = PerfData({u"Idle", u"System", u"smss"}, 2, &instances);
  const size_t object = kObject, second = instances[1];
  const uint32_t kCut = 0xC0C0C0C0;  // cuts the buffer at `at` instead
  const struct {
    size_t at;
    uint32_t value;
    Names expected;
  } cases[] = {
      {6, 'X', {}},                     // "PERX": no data block at all
      {87, kCut, {}},                   // nor a buffer shorter than its header
      {28, 0, {}},                      // no objects (Wine's answer)
      {object + 40, 0xFFFFFFFF, {}},    // PERF_NO_INSTANCES
      {24, 0x7FFFFFF0, {}},             // header length past the end
      {second - 24, 0, {u"Idle"}},      // zero-length counter block
      {second, 0x10000000, {u"Idle"}},  // instance longer than the object
      // A name without its terminator ends with the instance definition.
      {second + 20, 0x1000, {u"Idle", u"System", u"smss"}},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> buffer = good;
    if (c.value == kCut) {
      buffer.resize(c.at);
    } else {
      Put32(&buffer, c.at, c.value);
    }
    Names names{u"stale"};
    const bool block = PerformanceInstanceNames(buffer.data(), buffer.size(), &names);
    EXPECT_EQ(block, c.at != 6 && c.at != 87) << c.at;
    EXPECT_EQ(names, c.expected) << c.at;
  }
}

}  // namespace
