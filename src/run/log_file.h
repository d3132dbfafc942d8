#pragma once
// The line-append writer behind the activity log, the manifest and the
// collectors' text outputs. Every line is a free-space check and one write
// of the whole line, which is in the file when AppendLine returns, so a run
// cut short leaves complete lines behind. The append handle is kept between
// lines (sys::AppendToFile) and let go when the LogFile goes, or when the
// file is read, packed or deleted. Any failure raises the run's two flags.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "sys/file_system.h"

enum Severity : int32_t {
  SeverityDebug = 0,
  SeverityInformation = 1,
  SeverityWarning = 2,
  SeverityError = 3,
  SeverityCritical = 4,
};

// "DEBUG" ... "CRITICAL ERROR"; "???" for any other value.
const char* SeverityName(int32_t severity);

// "05/03/2024 09:07:03,WARNING,x": the entry line without its CR LF.
std::string FormatLogEntry(const sys::LocalTime& time, int32_t severity,
                           const std::string& message);

// Root whose free space is asked: up to and including the character after
// the first ":"; for a network path "\\\\server\\share\\" (its own volume, not
// the current drive's); otherwise the first character.
std::string FreeSpaceRoot(const std::string& path);

// Free space on the drive of `path` in units of 1000 bytes; 0 when unknown.
// Saturates at 0xFFFFFFFF instead of wrapping.
uint32_t FreeSpaceThousands(const std::string& path);

// The room a line needs: free space in thousands of bytes above
// length / 500, so at least 1000 bytes for any line under 500 characters.
bool LineFits(uint32_t freeThousands, size_t length);

// The free space of each drive the process writes to, charged with what was
// written since the system was last asked. Asking before every line cost a
// volume open per line; instead the drive is asked again only when the
// estimate comes within kLowMargin of what a line needs, after kRequeryAfter
// bytes, or after kRequeryEvery (other writers on the drive). Near a full
// disk every line is asked about, so nothing is written once the drive has
// less room than the line needs, as with a query per line.
class FreeSpaceAccount {
 public:
  static constexpr uint64_t kLowMargin = 1u << 20;
  static constexpr uint64_t kRequeryAfter = 4u << 20;
  static constexpr std::chrono::milliseconds kRequeryEvery{1000};

  // Free space of a path's drive in thousands of bytes (FreeSpaceThousands
  // by default).
  using Query = std::function<uint32_t(const std::string& path)>;
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  explicit FreeSpaceAccount(Query query = nullptr, Clock clock = nullptr);

  // Whether a line of `length` characters may be written to `path`: the
  // LineFits test against the drive's free space or a safe estimate of it.
  bool LineFits(const std::string& path, size_t length);
  // `bytes` were written on the drive of `path`.
  void Charge(const std::string& path, uint64_t bytes);

 private:
  struct Drive {
    uint64_t freeAtQuery = 0;
    uint64_t since = 0;
    std::chrono::steady_clock::time_point askedAt;
  };
  Query query_;
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, Drive> drives_;
};

// The one account of the process, shared by every LogFile and by the
// writers that fill the same drives (the file copies).
FreeSpaceAccount& SharedFreeSpace();

class LogFile {
 public:
  explicit LogFile(std::string path) : path_(std::move(path)) {}
  // Lets go of the file: the system keeps its handle between lines.
  virtual ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void Enable() { suppressed_ = false; }
  void Disable() { suppressed_ = true; }
  bool suppressed() const { return suppressed_; }
  const std::string& path() const { return path_; }
  // Whether a line of this file has been refused.
  bool failed() const { return failed_; }

  // Asked before each line; false refuses the line as a failed write does
  // and disables the file: its folder is no longer the one it was made in.
  void SetGuard(std::function<bool()> guard) { guard_ = std::move(guard); }

  // Each later line is written as `rewrite` gives it back: the lines that
  // follow the log's own privacy scrub.
  void SetRewrite(std::function<std::string(const std::string&)> rewrite) {
    rewrite_ = std::move(rewrite);
  }

  // Appends text + CR LF; true when the line was written. Refused (both
  // flags raised) when the drive's free space in thousands is not above
  // length / 500, or the file cannot be opened or written; dropped while
  // disabled.
  bool AppendLine(const std::string& text);

  // One entry: local time, severity name, message.
  void Write(int32_t severity, const std::string& message);

 private:
  std::string path_;
  bool suppressed_ = false;
  std::function<bool()> guard_;
  std::function<std::string(const std::string&)> rewrite_;
  bool failed_ = false;

  // Records a refused line and raises the run's write failure; false.
  bool Refuse();
};

// The run's activity log is a LogFile like any other.
using ActivityLog = LogFile;
constexpr char kActivityLogName[] = "Activity Log.csv";

// printf-style formatting into a std::string, for the many "%s" messages.
std::string Format(const char* pattern, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
