#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>

#include "sys/file_system.h"
#include "sys/links.h"
#include "sys/posix_path.h"

namespace sys {

std::string SystemPath(const std::string& path) { return PosixPath(path); }

namespace {
std::mutex appendedMutex;
std::map<std::string, FileFacts> appended;

// No share modes here: held folders are only remembered as the run's own.
std::mutex heldMutex;
std::set<std::string> held;

bool FactsOfDescriptor(int fd, FileFacts* facts) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return false;
  facts->volume = static_cast<uint64_t>(info.st_dev);
  facts->index = static_cast<uint64_t>(info.st_ino);
  facts->links = static_cast<uint32_t>(info.st_nlink);
  facts->size = static_cast<uint64_t>(info.st_size);
  return true;
}
}  // namespace

bool AppendToFile(const std::string& path, const std::string& bytes) {
  int fd = ::open(PosixPath(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  // A file made new under a name is the one to follow from then, as on Windows.
  const bool made = fd < 0 && errno == ENOENT;
  if (made)
    fd = ::open(PosixPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  FileFacts facts;
  if (FactsOfDescriptor(fd, &facts)) {
    std::lock_guard<std::mutex> lock(appendedMutex);
    if (made) {
      appended[path] = facts;
    } else {
      appended.emplace(path, facts);
    }
  }
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
  if (::rename(PosixPath(from).c_str(), PosixPath(to).c_str()) != 0) return false;
  // What was moved into place under a followed name is followed from then.
  std::lock_guard<std::mutex> lock(appendedMutex);
  const auto known = appended.find(to);
  if (known == appended.end()) return true;
  const int fd = ::open(PosixPath(to).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || !FactsOfDescriptor(fd, &known->second)) appended.erase(known);
  if (fd >= 0) ::close(fd);
  return true;
}

bool RemoveFolder(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(heldMutex);
    held.erase(path);
  }
  const std::string native = PosixPath(path);
  struct stat info;
  // A link goes as a file does here; rmdir would refuse it.
  if (::lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    return ::unlink(native.c_str()) == 0;
  }
  return ::rmdir(native.c_str()) == 0;
}

bool MoveAside(const std::string& from, const std::string& to) {
  struct stat info;
  return ::lstat(PosixPath(to).c_str(), &info) != 0 &&
         ::rename(PosixPath(from).c_str(), PosixPath(to).c_str()) == 0;
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

bool AppendedFileFacts(const std::string& path, FileFacts* facts) {
  std::lock_guard<std::mutex> lock(appendedMutex);
  const auto known = appended.find(path);
  if (known == appended.end()) return false;
  *facts = known->second;
  return true;
}

bool CreatePrivateFolder(const std::string& path) {
  if (::mkdir(PosixPath(path).c_str(), 0700) != 0) return false;
  std::lock_guard<std::mutex> lock(heldMutex);
  held.insert(path);
  return true;
}

bool HoldFolder(const std::string& path) {
  struct stat info;
  if (::lstat(PosixPath(path).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  std::lock_guard<std::mutex> lock(heldMutex);
  held.insert(path);
  return true;
}

bool MakeOwnFolder(const std::string& path) {
  std::lock_guard<std::mutex> lock(heldMutex);
  if (held.count(path) != 0) return true;
  if (::mkdir(PosixPath(path).c_str(), 0777) != 0) return false;
  held.insert(path);
  return true;
}

void ReleaseHeldFolders() {
  std::lock_guard<std::mutex> lock(heldMutex);
  held.clear();
}

std::string ReadRegularFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  // Not even opened: a FIFO's open waits for a writer.
  const int fd = ::open(PosixPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kCannotBeRead;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return "is not a regular file";
  }
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      ::close(fd);
      bytes->clear();
      return kCannotBeRead;
    }
    if (got == 0) break;
    bytes->append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return std::string();
}

bool RewriteOwnFile(const std::string& path, const FileFacts& expected,
                    const std::function<bool(std::string* text)>& change) {
  const int fd = ::open(PosixPath(path).c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  FileFacts facts;
  bool ok = FactsOfDescriptor(fd, &facts) && facts.links == 1 && facts.volume == expected.volume &&
            facts.index == expected.index;
  std::string text;
  char buffer[65536];
  while (ok) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) ok = false;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ok = ok && change(&text) && ::lseek(fd, 0, SEEK_SET) == 0 &&
       ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
       ::ftruncate(fd, static_cast<off_t>(text.size())) == 0;
  return ::close(fd) == 0 && ok;
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
