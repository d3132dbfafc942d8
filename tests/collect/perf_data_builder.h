#pragma once
// Builds PERF_DATA_BLOCK buffers as the performance data of an NT system
// answers them: the data block, one object with its counter definitions,
// then per instance its definition (name inside, padded to 8 bytes) and its
// counter block. Tests then damage fields through the offsets it records.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace perf_test {

class PerfDataBuilder {
 public:
  explicit PerfDataBuilder(int counters = 2) : counters_(counters) {}

  void AddInstance(const std::u16string& name) { names_.push_back(name); }

  // Offsets of the records in the last Build().
  size_t objectAt = 0;
  std::vector<size_t> instanceAt;
  std::vector<size_t> blockAt;  // counter blocks

  std::vector<unsigned char> Build() {
    std::vector<unsigned char> b;
    instanceAt.clear();
    blockAt.clear();
    // PERF_DATA_BLOCK: signature, header length at 24, object count at 28.
    b.resize(88);
    const char16_t signature[4] = {u'P', u'E', u'R', u'F'};
    for (int i = 0; i < 4; ++i) Put16(&b, i * 2, signature[i]);
    Put32(&b, 8, 1);  // LittleEndian
    Put32(&b, 24, 88);
    Put32(&b, 28, 1);
    objectAt = b.size();
    // PERF_OBJECT_TYPE, then its counter definitions (40 bytes each).
    b.resize(b.size() + 64 + 40 * counters_);
    Put32(&b, objectAt + 4, 64 + 40 * counters_);  // DefinitionLength
    Put32(&b, objectAt + 8, 64);                   // HeaderLength
    Put32(&b, objectAt + 12, 230);                 // ObjectNameTitleIndex
    Put32(&b, objectAt + 32, counters_);           // NumCounters
    Put32(&b, objectAt + 40, static_cast<uint32_t>(names_.size()));
    for (int c = 0; c < counters_; ++c) Put32(&b, objectAt + 64 + 40 * c, 40);
    for (const std::u16string& name : names_) {
      const size_t at = b.size();
      instanceAt.push_back(at);
      const size_t nameBytes = (name.size() + 1) * 2;
      const size_t length = (24 + nameBytes + 7) / 8 * 8;
      b.resize(at + length);
      Put32(&b, at, static_cast<uint32_t>(length));
      Put32(&b, at + 12, 0xFFFFFFFF);  // UniqueID: PERF_NO_UNIQUE_ID
      Put32(&b, at + 16, 24);
      Put32(&b, at + 20, static_cast<uint32_t>(nameBytes));
      for (size_t i = 0; i < name.size(); ++i) Put16(&b, at + 24 + 2 * i, name[i]);
      // PERF_COUNTER_BLOCK: its length, then the counters' data.
      const size_t block = b.size();
      blockAt.push_back(block);
      b.resize(block + 8 + 8 * counters_);
      Put32(&b, block, static_cast<uint32_t>(8 + 8 * counters_));
    }
    Put32(&b, objectAt, static_cast<uint32_t>(b.size() - objectAt));  // TotalByteLength
    Put32(&b, 20, static_cast<uint32_t>(b.size()));                   // TotalByteLength
    return b;
  }

  static void Put32(std::vector<unsigned char>* b, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<unsigned char>(value >> (8 * i));
  }
  static void Put16(std::vector<unsigned char>* b, size_t at, char16_t value) {
    (*b)[at] = static_cast<unsigned char>(value & 0xFF);
    (*b)[at + 1] = static_cast<unsigned char>(value >> 8);
  }

 private:
  int counters_;
  std::vector<std::u16string> names_;
};

}  // namespace perf_test
