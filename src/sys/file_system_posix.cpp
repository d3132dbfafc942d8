#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include <ctime>
#include <fstream>
#include <iterator>

#include "sys/file_system.h"
#include "sys/links.h"
#include "sys/posix_path.h"

namespace sys {

std::string SystemPath(const std::string& path) { return PosixPath(path); }

bool AppendToFile(const std::string& path, const std::string& bytes) {
  const int fd = ::open(PosixPath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return ::close(fd) == 0 && done == bytes.size();
}

// Nothing is kept here: an open costs little outside Wine.
void ReleaseAppendHandle(const std::string&) {}
void ReleaseAppendHandles() {}

bool FreeBytesAvailable(const std::string& root, uint64_t* bytes) {
  // Drive roots mean nothing here: a Windows-looking path asks about the
  // current folder's file system, anything else about the path itself.
  const std::string where = (root.size() >= 2 && root[1] == ':') ? "." : root;
  struct statvfs info;
  if (::statvfs(where.c_str(), &info) != 0) return false;
  *bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* data) {
  data->clear();
  std::ifstream in(PosixPath(path), std::ios::binary);
  if (!in) return false;
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteWholeFile(const std::string& path, const std::string& data) {
  std::ofstream out(PosixPath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  return !out.fail();
}

bool RemoveFile(const std::string& path) { return ::unlink(PosixPath(path).c_str()) == 0; }

std::FILE* CreateOwnFile(const std::string& path, bool readBack) {
  const std::string native = PosixPath(path);
  const int flags = (readBack ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_CLOEXEC;
  int fd = ::open(native.c_str(), flags, 0644);
  if (fd < 0 && errno == EEXIST && ::unlink(native.c_str()) == 0)
    fd = ::open(native.c_str(), flags, 0644);
  if (fd < 0) return nullptr;
  std::FILE* stream = ::fdopen(fd, readBack ? "w+b" : "wb");
  if (stream == nullptr) ::close(fd);
  return stream;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  return ::rename(PosixPath(from).c_str(), PosixPath(to).c_str()) == 0;
}

bool RemoveFolder(const std::string& path) {
  const std::string native = PosixPath(path);
  struct stat info;
  // A link goes as a file does here; rmdir would refuse it.
  if (::lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    return ::unlink(native.c_str()) == 0;
  }
  return ::rmdir(native.c_str()) == 0;
}

bool FolderExists(const std::string& path) {
  struct stat info;
  return ::stat(PosixPath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat info;
  return ::lstat(PosixPath(path).c_str(), &info) == 0;
}

bool CreateFolder(const std::string& path) {
  return ::mkdir(PosixPath(path).c_str(), 0777) == 0 || errno == EEXIST;
}

bool FileLock::Take(const std::string& path) {
  Release();
  const std::string native = PosixPath(path);
  const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  path_ = native;
  return true;
}

void FileLock::Release() {
  if (handle_ < 0) return;
  ::unlink(path_.c_str());
  ::close(static_cast<int>(handle_));
  handle_ = -1;
}

LocalTime Now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace sys
