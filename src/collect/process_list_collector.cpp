#include "collect/process_list_collector.h"

#include <algorithm>
#include <cstring>

#include "run/bytes.h"
#include "run/text.h"

namespace {

// Sizes of the fixed parts of the performance-data records (winperf.h); the
// same for 32-bit and 64-bit programs.
constexpr uint64_t kDataBlockSize = 88;    // PERF_DATA_BLOCK
constexpr uint64_t kObjectTypeSize = 64;   // PERF_OBJECT_TYPE
constexpr uint64_t kInstanceSize = 24;     // PERF_INSTANCE_DEFINITION
constexpr uint64_t kCounterBlockSize = 4;  // PERF_COUNTER_BLOCK

bool IsDecimal(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string FindCounterIndex(const char* counters, size_t size, const std::string& name) {
  std::string index;
  std::string previous;
  size_t pos = 0;
  while (pos < size) {
    const void* zero = std::memchr(counters + pos, '\0', size - pos);
    const size_t end = zero != nullptr ? static_cast<const char*>(zero) - counters : size;
    const std::string text(counters + pos, end - pos);
    if (text.empty()) break;
    if (EqualsNoCase(text, name) && IsDecimal(previous)) index = previous;
    previous = text;
    pos = end + 1;
  }
  return index;
}

bool PerformanceInstanceNames(const void* data, size_t size, std::vector<std::u16string>* names) {
  names->clear();
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  static const unsigned char kSignature[8] = {'P', 0, 'E', 0, 'R', 0, 'F', 0};
  if (data == nullptr || size < kDataBlockSize || std::memcmp(bytes, kSignature, 8) != 0) {
    return false;
  }
  const uint64_t total = size;
  const uint64_t object = ReadLittle32(bytes, 24);  // HeaderLength
  if (ReadLittle32(bytes, 28) == 0 || object + kObjectTypeSize > total)
    return true;  // NumObjectTypes

  const uint64_t objectLength = ReadLittle32(bytes, object);  // TotalByteLength
  const uint64_t objectEnd = std::min(total, object + objectLength);
  const uint64_t definitionLength = ReadLittle32(bytes, object + 4);
  // NumInstances: PERF_NO_INSTANCES (-1) and 0 both mean none.
  const int32_t instances = static_cast<int32_t>(ReadLittle32(bytes, object + 40));
  if (instances <= 0 || definitionLength < kObjectTypeSize) return true;
  // Every instance is listed; the buffer's end bounds the walk.
  const size_t count = static_cast<size_t>(instances);

  uint64_t instance = object + definitionLength;
  while (names->size() < count && instance + kInstanceSize <= objectEnd) {
    const uint64_t byteLength = ReadLittle32(bytes, instance);
    const uint64_t nameOffset = ReadLittle32(bytes, instance + 16);
    const uint64_t nameLength = ReadLittle32(bytes, instance + 20);  // bytes, terminator included
    const uint64_t definitionEnd = instance + byteLength;
    if (byteLength < kInstanceSize || definitionEnd > objectEnd) break;

    // The name lies inside the instance definition; it ends at its
    // terminator, its stated length or the definition's end.
    std::u16string name;
    const uint64_t nameEnd = std::min(definitionEnd, instance + nameOffset + nameLength);
    for (uint64_t at = instance + nameOffset; at + 2 <= nameEnd; at += 2) {
      const char16_t c = static_cast<char16_t>(ReadLittle16(bytes, at));
      if (c == 0) break;
      name += c;
    }
    names->push_back(std::move(name));

    // The next instance follows this one's counter block.
    if (definitionEnd + kCounterBlockSize > objectEnd) break;
    const uint64_t blockLength = ReadLittle32(bytes, definitionEnd);
    if (blockLength < kCounterBlockSize) break;
    instance = definitionEnd + blockLength;
  }
  return true;
}

std::string ExecutableBaseName(const std::string& exeFile) {
  const std::string name = NameOf(exeFile);
  const size_t start = name.find_first_not_of("\\/");
  return start == std::string::npos ? std::string() : name.substr(start);
}
