#include <zlib.h>

#include <memory>
#include <new>

#include "pack/file_manifest.h"
#include "sys/file_system.h"
#include "sys/handles_win.h"

bool FileCrc(const std::string& path, uint32_t* crc) {
  // Share mode 0: the open fails while anyone else holds the file, so a
  // file still being written never gets a check value. Our own line
  // writers let go of it first.
  sys::ReleaseAppendHandle(path);
  sys::FileHandle file(::CreateFileW(sys::WidePath(path).c_str(), GENERIC_READ, 0, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return false;
  // A hard link's bytes are another file's too: no row vouches for them.
  sys::FileFacts facts;
  if (!sys::FactsOf(file.get(), &facts) || facts.links > 1) return false;
  constexpr DWORD kPiece = 16384;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kPiece]);
  if (!buffer) return false;
  uLong value = crc32(0L, Z_NULL, 0);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer.get(), kPiece, &got, nullptr)) return false;
    value = crc32(value, buffer.get(), got);
    if (got < kPiece) break;
  }
  *crc = static_cast<uint32_t>(value);
  return true;
}
