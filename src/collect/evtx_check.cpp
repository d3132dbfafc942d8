// The .evtx layout as the checker reads it: a 4096-byte file header, then
// chunks of 64 KiB, each a 512-byte header and its records. Every header
// carries a CRC-32 of itself; each chunk one of its records.
#include <zlib.h>

#include <string>

#include "collect/event_channel_collector.h"
#include "run/bytes.h"

namespace {

constexpr size_t kFileHeaderBlock = 4096, kChunkSize = 65536, kChunkHeader = 512;
// File header: checksum over the first 120 bytes, stored at 124.
constexpr uint64_t kFileChunkCount = 42, kFileChecked = 120, kFileChecksum = 124;
// Chunk header: record numbers, the end of the records, and the two sums.
constexpr uint64_t kFirstRecord = 8, kLastRecord = 16, kFreeSpace = 48, kRecordsChecksum = 52,
                   kChunkChecked = 120, kChunkChecksum = 124, kChunkCheckedAgain = 128;

uint32_t Crc(const std::string& bytes, size_t from, size_t to) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()) + from, static_cast<uInt>(to - from)));
}

uint64_t Read64(const unsigned char* at, uint64_t offset) {
  return ReadLittle32(at, offset) | (static_cast<uint64_t>(ReadLittle32(at, offset + 4)) << 32);
}

}  // namespace

std::string EvtxProblem(const EvtxReadAt& read, uint64_t* records) {
  *records = 0;
  std::string block;
  if (!read(0, kFileHeaderBlock, &block)) return "cannot be read";
  if (block.size() < 128 || block.compare(0, 8, std::string("ElfFile\0", 8)) != 0) {
    return "no .evtx file header";
  }
  const auto* header = reinterpret_cast<const unsigned char*>(block.data());
  if (Crc(block, 0, kFileChecked) != ReadLittle32(header, kFileChecksum)) {
    return "file header checksum";
  }
  const uint16_t chunks = ReadLittle16(header, kFileChunkCount);
  for (uint16_t chunk = 0; chunk < chunks; ++chunk) {
    const std::string where = "chunk " + std::to_string(chunk + 1);
    if (!read(kFileHeaderBlock + static_cast<uint64_t>(chunk) * kChunkSize, kChunkSize, &block) ||
        block.size() < kChunkSize) {
      return "the file ends before " + where;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
    if (block.compare(0, 8, std::string("ElfChnk\0", 8)) != 0) return where + " has no header";
    const uint32_t headerSum = static_cast<uint32_t>(
        crc32(Crc(block, 0, kChunkChecked),
              reinterpret_cast<const Bytef*>(block.data()) + kChunkCheckedAgain,
              static_cast<uInt>(kChunkHeader - kChunkCheckedAgain)));
    if (headerSum != ReadLittle32(bytes, kChunkChecksum)) return where + " header checksum";
    const uint32_t free = ReadLittle32(bytes, kFreeSpace);
    if (free < kChunkHeader || free > kChunkSize) return where + " free space offset";
    if (Crc(block, kChunkHeader, free) != ReadLittle32(bytes, kRecordsChecksum)) {
      return where + " records checksum";
    }
    const uint64_t first = Read64(bytes, kFirstRecord), last = Read64(bytes, kLastRecord);
    if (free > kChunkHeader && last >= first) *records += last - first + 1;
  }
  return "";
}
