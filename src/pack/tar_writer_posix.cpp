#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pack/tar_writer.h"
#include "sys/file_system.h"
#include "sys/posix_path.h"

namespace tar_io {

struct SourceFile::Impl {
  int fd = -1;
};

SourceFile::SourceFile() : impl_(new Impl) {}
SourceFile::~SourceFile() {
  if (impl_->fd >= 0) ::close(impl_->fd);
}

bool SourceFile::Open(const std::string& path) {
  // POSIX has no share modes: a file held open elsewhere is still read.
  impl_->fd = ::open(sys::PosixPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  return impl_->fd >= 0;
}

bool SourceFile::Status(uint64_t* size, int64_t* mtime) {
  struct stat info;
  if (::fstat(impl_->fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *size = static_cast<uint64_t>(info.st_size);
  *mtime = static_cast<int64_t>(info.st_mtime);
  return true;
}

bool SourceFile::Read(unsigned char* buffer, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    const ssize_t n = ::read(impl_->fd, buffer + *got, size - *got);
    if (n < 0) return false;
    if (n == 0) break;
    *got += static_cast<size_t>(n);
  }
  return true;
}

void SourceFile::RemoveAndClose(const std::string& path) {
  ::close(impl_->fd);
  impl_->fd = -1;
  // unlink removes a link itself, never its target.
  sys::RemoveFile(path);
}

bool IsLeadByte(unsigned char) { return false; }

}  // namespace tar_io
