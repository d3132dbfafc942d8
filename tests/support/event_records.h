#pragma once
// EVENTLOGRECORD bytes as the system's ReadEventLog returns them, and a
// reader that hands such blocks to the collector in place of a real log.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "collect/event_log_collector.h"
#include "sys/file_system.h"

namespace testing_support {

struct RecordSpec {
  uint32_t time = 1700000000;
  uint32_t eventId = 1;
  uint16_t type = 4;
  uint16_t category = 0;
  std::string source = "Src";
  std::string computer = "HOST";
  std::string sid;
  std::vector<std::string> strings;
  std::string data;
};

inline void Put32(std::string* b, size_t at, uint32_t v, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) (*b)[at + i] = static_cast<char>(v >> (8 * i));
}

// Laid out as the system does: names, padding to 4, SID, strings, data,
// padding, the closing length.
inline std::string RecordBytes(const RecordSpec& r) {
  std::string b(kEventRecordHeaderSize, '\0');
  b += r.source + '\0' + r.computer + '\0';
  b.resize((b.size() + 3) / 4 * 4, '\0');
  const size_t sidOffset = b.size();
  b += r.sid;
  const size_t stringOffset = b.size();
  for (const std::string& s : r.strings) b += s + '\0';
  const size_t dataOffset = b.size();
  b += r.data;
  b.resize((b.size() + 3) / 4 * 4 + 4, '\0');
  const uint32_t length = static_cast<uint32_t>(b.size());
  Put32(&b, 0, length);
  Put32(&b, 4, kEventRecordMark);
  Put32(&b, 12, r.time);
  Put32(&b, 20, r.eventId);
  Put32(&b, 24, r.type, 2);
  Put32(&b, 26, static_cast<uint32_t>(r.strings.size()), 2);
  Put32(&b, 28, r.category, 2);
  Put32(&b, 36, static_cast<uint32_t>(stringOffset));
  Put32(&b, 40, static_cast<uint32_t>(r.sid.size()));
  Put32(&b, 44, static_cast<uint32_t>(r.sid.empty() ? 0 : sidOffset));
  Put32(&b, 48, static_cast<uint32_t>(r.data.size()));
  Put32(&b, 52, static_cast<uint32_t>(r.data.empty() ? 0 : dataOffset));
  Put32(&b, length - 4, length);
  return b;
}

// The local SYSTEM account's SID, S-1-5-18.
inline std::string LocalSystemSid() {
  return std::string("\x01\x01\x00\x00\x00\x00\x00\x05\x12\x00\x00\x00", 12);
}

// Hands out the given blocks per log, then the end of the log. A log
// missing from `blocks` cannot be opened. The backup writes `backupBytes`
// unless it is empty (then it answers success and writes nothing, as Wine).
class BlockReader : public EventLogReader {
 public:
  std::map<std::string, std::vector<std::string>> blocks;
  std::string backupBytes;
  uint32_t failAfter = 0;  // a read error after this many blocks, when not 0

  bool Open(const std::string& log, uint32_t* error) override {
    current_ = blocks.count(log) != 0 ? &blocks[log] : nullptr;
    next_ = 0;
    *error = 2;
    return current_ != nullptr;
  }
  Read ReadBlock(void* buffer, size_t size, size_t* got, uint32_t* error) override {
    *error = failAfter != 0 && next_ == failAfter ? 5 : 38;
    if (*error == 5) return Read::Failed;
    if (next_ >= current_->size()) return Read::End;
    const std::string& block = (*current_)[next_++];
    *got = std::min(block.size(), size);
    std::memcpy(buffer, block.data(), *got);
    return Read::Block;
  }
  bool Backup(const std::string& path, uint32_t*) override {
    if (!backupBytes.empty()) sys::WriteWholeFile(path, backupBytes);
    return true;
  }
  void Close() override { current_ = nullptr; }

 private:
  std::vector<std::string>* current_ = nullptr;
  size_t next_ = 0;
};

}  // namespace testing_support
