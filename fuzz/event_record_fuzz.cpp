// Event-log blocks as ReadEventLog could hand them over, damaged any way:
// no crash, no read outside the block, and every record taken holds
// together (its pieces fit inside the block).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "collect/event_log_collector.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that the sanitizer sees any read past its end.
  const std::vector<uint8_t> block(data, data + size);
  std::vector<EventRecord> records;
  ParseEventRecords(block.data(), block.size(), &records);
  size_t names = 0;
  for (const EventRecord& record : records) {
    // SID and data may overlap in a lying record; the names never do.
    names += kEventRecordHeaderSize + record.source.size() + record.computer.size() + 2;
    Require(record.sid.size() <= size && record.data.size() <= size);
    const EventLocalTime local{2024, 1, 2, 3, 4, 5};
    const std::string row = EventRow(record, local, {"N/A", "None", "None"});
    Require(row.find('\r') == std::string::npos);
    std::string message = "%1 %2 %10 %%3 ";
    message = ProtectField(InsertStrings(message, record.strings));
    Require(message.find(',') == std::string::npos);
  }
  Require(names <= size);
  return 0;
}
