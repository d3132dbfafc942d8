#pragma once
// The line-append writer behind the activity log, the manifest and the
// collectors' text outputs. It never keeps its file open: every line is a
// free-space check, open, seek to end, write and close, so a run cut short
// leaves complete lines behind. Any failure raises the run's two flags.

#include <cstdint>
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

class LogFile {
 public:
  explicit LogFile(std::string path) : path_(std::move(path)) {}
  virtual ~LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void Enable() { suppressed_ = false; }
  void Disable() { suppressed_ = true; }
  bool suppressed() const { return suppressed_; }
  const std::string& path() const { return path_; }

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
