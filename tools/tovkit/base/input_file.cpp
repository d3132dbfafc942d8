#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <memory>
#ifdef _WIN32
#include <io.h>
#else
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

namespace tovkit {

std::string FolderOfOutput(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!temporary_.empty()) std::remove(temporary_.c_str());
}

bool OutputFile::Open(std::string* why) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = target_ + ".tovkit-" + std::to_string(attempt) + ".tmp";
    // Exclusive creation fails on any name that is taken, a link included,
    // so the bytes go nowhere but into this new file.
#ifdef _WIN32
    const int fd = ::_open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
#else
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      *why = OpenProblem(errno) == "no such file"
                 ? "its folder does not exist"
                 : "cannot be written (" + std::string(std::strerror(errno)) + ")";
      return false;
    }
#ifdef _WIN32
    file_ = ::_fdopen(fd, "wb");
#else
    file_ = ::fdopen(fd, "wb");
#endif
    temporary_ = name;
    if (file_ == nullptr) {
#ifdef _WIN32
      ::_close(fd);
#else
      ::close(fd);
#endif
      *why = "cannot be written";
      return false;
    }
    return true;
  }
  *why = "cannot be written (no free temporary name beside it)";
  return false;
}

bool OutputFile::Commit(bool replace, std::string* why) {
  if (file_ == nullptr) {
    *why = "cannot be written";
    return false;
  }
  const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!written || !closed) {
    *why = "cannot be written (disk full?)";
    return false;
  }
  bool moved = false;
#ifdef _WIN32
  std::error_code error;
  if (replace) {
    std::filesystem::rename(temporary_, target_, error);
    moved = !error;
  } else {
    moved = std::rename(temporary_.c_str(), target_.c_str()) == 0;  // refuses a taken name
  }
#else
  // rename() replaces a link as a link; link() takes only a free name.
  moved = replace ? ::rename(temporary_.c_str(), target_.c_str()) == 0
                  : ::link(temporary_.c_str(), target_.c_str()) == 0;
#endif
  if (!moved) {
    *why = !replace && errno == EEXIST ? "exists already" : "cannot be written";
    return false;
  }
  if (!replace) std::remove(temporary_.c_str());
  temporary_.clear();
  return true;
}

bool WriteOutputFile(const std::string& target, const std::string& bytes, bool replace,
                     std::string* why) {
  OutputFile output(target);
  if (!output.Open(why)) return false;
  if (std::fwrite(bytes.data(), 1, bytes.size(), output.file()) != bytes.size()) {
    *why = "cannot be written (disk full?)";
    return false;
  }
  return output.Commit(replace, why);
}

}  // namespace tovkit
