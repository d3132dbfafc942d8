#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <memory>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace tovkit {

namespace fs = std::filesystem;

namespace {

// A name that is not there is told apart from a file that cannot be read.
std::string OpenProblem(int error) {
  if (error == ENOENT || error == ENOTDIR) return "no such file";
  return std::string("cannot be read (") + std::strerror(error) + ")";
}

}  // namespace

#ifdef _WIN32
namespace {

const char* KindProblem(const fs::file_status& status) {
  if (fs::is_directory(status)) return "is a folder";
  if (!fs::is_regular_file(status)) return "is not a regular file";
  return nullptr;
}

}  // namespace
#endif

std::FILE* OpenInputFile(const std::string& path, std::string* why) {
  why->clear();
#ifdef _WIN32
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!error && KindProblem(status) != nullptr) {
    *why = KindProblem(status);
    return nullptr;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) *why = OpenProblem(errno);
#else
  // Opened without waiting and checked on the descriptor itself, so a FIFO
  // put in the file's place after a check still never blocks.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *why = OpenProblem(errno);
    return nullptr;
  }
  struct stat info;
  const char* problem = nullptr;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    problem = "is a folder";
  } else if (::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
    problem = "is not a regular file";
  }
  std::FILE* file = nullptr;
  if (problem == nullptr) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = ::fdopen(fd, "rb");
  }
  if (file == nullptr) {
    ::close(fd);
    if (problem != nullptr) *why = problem;
    return nullptr;
  }
#endif
  return file;
}

bool ReadInputFile(const std::string& path, std::string* bytes, std::string* why) {
  bytes->clear();
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenInputFile(path, why), std::fclose);
  if (!file) return false;
  char buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes->append(buffer, got);
  if (std::ferror(file.get())) {
    bytes->clear();
    *why = "cannot be read (read error)";
    return false;
  }
  return true;
}

bool IsOneOfInputs(const std::string& output, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    std::error_code error;
    if (output == input || fs::equivalent(output, input, error)) return true;
  }
  return false;
}

}  // namespace tovkit
