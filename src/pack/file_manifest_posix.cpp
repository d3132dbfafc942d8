#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <memory>
#include <new>

#include "pack/file_manifest.h"
#include "sys/posix_path.h"

bool FileCrc(const std::string& path, uint32_t* crc) {
  // POSIX has no share modes: a file held open elsewhere is still read.
  const int fd = ::open(sys::PosixPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // A hard link's bytes are another file's too: no row vouches for them.
  struct stat info;
  if (::fstat(fd, &info) != 0 || info.st_nlink > 1) {
    ::close(fd);
    return false;
  }
  constexpr size_t kPiece = 16384;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kPiece]);
  bool ok = buffer != nullptr;
  uLong value = crc32(0L, Z_NULL, 0);
  while (ok) {
    const ssize_t got = ::read(fd, buffer.get(), kPiece);
    if (got < 0) {
      ok = false;
      break;
    }
    value = crc32(value, buffer.get(), static_cast<uInt>(got));
    if (static_cast<size_t>(got) < kPiece) break;
  }
  ::close(fd);
  if (ok) *crc = static_cast<uint32_t>(value);
  return ok;
}
