#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pack/tar_writer.h"
#include "sys/file_system.h"
#include "sys/name_escape.h"
#include "sys/posix_path.h"

namespace tar_io {

struct SourceFile::Impl {
  int fd = -1;
  int error = 0;
  bool link = false;
};

SourceFile::SourceFile() : impl_(new Impl) {}
SourceFile::~SourceFile() {
  if (impl_->fd >= 0) ::close(impl_->fd);
}

bool SourceFile::Open(const std::string& path) {
  // POSIX has no share modes: a file held open elsewhere is still read.
  impl_->fd = ::open(sys::PosixPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  // A link put there since the listing opens as Windows' handle tells one.
  impl_->link = impl_->fd < 0 && errno == ELOOP;
  if (impl_->fd < 0) impl_->error = errno;
  return impl_->fd >= 0 || impl_->link;
}

bool SourceFile::NotAFile() const { return impl_->link; }

unsigned long SourceFile::error() const { return static_cast<unsigned long>(impl_->error); }

bool SourceFile::Status(const std::string& path, uint64_t* size, int64_t* mtime,
                        std::string* refusal) {
  struct stat info;
  if (::fstat(impl_->fd, &info) != 0) {
    impl_->error = errno;
    return false;
  }
  if (!S_ISREG(info.st_mode)) return false;
  *size = static_cast<uint64_t>(info.st_size);
  *mtime = static_cast<int64_t>(info.st_mtime);
  sys::FileFacts written;
  refusal->clear();
  if (info.st_nlink > 1) {
    *refusal = "is a hard link (" + std::to_string(info.st_nlink) + " names)";
  } else if (sys::AppendedFileFacts(path, &written) &&
             (written.volume != static_cast<uint64_t>(info.st_dev) ||
              written.index != static_cast<uint64_t>(info.st_ino))) {
    *refusal = "is no longer the file the run wrote";
  }
  return true;
}

bool SourceFile::Read(unsigned char* buffer, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    const ssize_t n = ::read(impl_->fd, buffer + *got, size - *got);
    if (n < 0) {
      impl_->error = errno;
      return false;
    }
    if (n == 0) break;
    *got += static_cast<size_t>(n);
  }
  return true;
}

void SourceFile::RemoveAndClose(const std::string& path) {
  if (impl_->fd >= 0) ::close(impl_->fd);
  impl_->fd = -1;
  // unlink removes a link itself, never its target.
  sys::RemoveFile(path);
}

bool IsLeadByte(unsigned char) { return false; }

std::string Utf8Name(const std::string& name) {
  // Names here are UTF-8 already; only the escapes are turned back.
  std::string utf8;
  for (size_t at = 0; at < name.size();) {
    uint32_t c = 0;
    size_t length = 0;
    if (name[at] == '<' && sys::ReadNameEscape(name, at, &c, &length)) {
      sys::AppendUtf8(c, &utf8);
      at += length;
    } else {
      utf8 += name[at++];
    }
  }
  return utf8;
}

}  // namespace tar_io
