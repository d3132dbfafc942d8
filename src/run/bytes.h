#pragma once
// Little-endian reads from buffers that came from outside (performance
// data, event records): byte by byte, as nothing there is trusted to be
// aligned. The caller has checked the bounds.

#include <cstdint>

inline uint32_t ReadLittle32(const unsigned char* bytes, uint64_t at) {
  return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<uint32_t>(bytes[at + 2]) << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

inline uint16_t ReadLittle16(const unsigned char* bytes, uint64_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}
