#include "run/log_file.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "run/run_settings.h"

const char* SeverityName(int32_t severity) {
  static const char* const kNames[] = {"DEBUG", "INFORMATION", "WARNING", "ERROR",
                                       "CRITICAL ERROR"};
  if (severity < 0 || severity > 4) return "???";
  return kNames[severity];
}

std::string FormatLogEntry(const sys::LocalTime& t, int32_t severity, const std::string& message) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02i/%02i/%04i %02i:%02i:%02i", t.day, t.month, t.year,
                t.hour, t.minute, t.second);
  std::string line = stamp;
  line += ',';
  line += SeverityName(severity);
  line += ',';
  line += message;
  return line;
}

std::string FreeSpaceRoot(const std::string& path) {
  const size_t colon = path.find(':');
  if (colon != std::string::npos) return path.substr(0, colon + 2);
  if (path.compare(0, 2, "\\\\") == 0) {
    const size_t server = path.find('\\', 2);
    const size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    if (share != std::string::npos) return path.substr(0, share + 1);
    if (server != std::string::npos && server + 1 < path.size()) return path + "\\";
  }
  return path.substr(0, 1);
}

uint32_t FreeSpaceThousands(const std::string& path) {
  uint64_t bytes = 0;
  if (path.empty() || !sys::FreeBytesAvailable(FreeSpaceRoot(path), &bytes)) return 0;
  const uint64_t thousands = bytes / 1000;
  return thousands > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(thousands);
}

bool LineFits(uint32_t freeThousands, size_t length) { return freeThousands > length / 500; }

FreeSpaceAccount::FreeSpaceAccount(Query query, Clock clock)
    : query_(std::move(query)), clock_(std::move(clock)) {
  if (!query_) query_ = [](const std::string& path) { return FreeSpaceThousands(path); };
  if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

bool FreeSpaceAccount::LineFits(const std::string& path, size_t length) {
  const std::string root = FreeSpaceRoot(path);
  const auto now = clock_();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto known = drives_.find(root);
    if (known != drives_.end()) {
      const Drive& d = known->second;
      const uint64_t needed = (static_cast<uint64_t>(length / 500) + 1) * 1000;
      if (d.since < kRequeryAfter && now - d.askedAt < kRequeryEvery && d.freeAtQuery > d.since &&
          d.freeAtQuery - d.since >= needed + kLowMargin) {
        return true;
      }
    }
  }
  const uint32_t thousands = query_(path);
  std::lock_guard<std::mutex> lock(mutex_);
  drives_[root] = Drive{static_cast<uint64_t>(thousands) * 1000, 0, now};
  return ::LineFits(thousands, length);
}

void FreeSpaceAccount::Charge(const std::string& path, uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto known = drives_.find(FreeSpaceRoot(path));
  // Whole clusters: an append of a few bytes may take a new one.
  if (known != drives_.end()) known->second.since += (bytes + 4095) / 4096 * 4096;
}

FreeSpaceAccount& SharedFreeSpace() {
  static FreeSpaceAccount account;
  return account;
}

LogFile::~LogFile() {
  if (!path_.empty()) sys::ReleaseAppendHandle(path_);
}

bool LogFile::Refuse() {
  failed_ = true;
  RaiseWriteFailure();
  return false;
}

bool LogFile::AppendLine(const std::string& text) {
  if (suppressed_) return false;
  if (guard_ && !guard_()) {
    suppressed_ = true;
    return Refuse();
  }
  FreeSpaceAccount& room = SharedFreeSpace();
  if (!room.LineFits(path_, text.size())) return Refuse();
  // One write of the whole line before the close: the line is on disk, and
  // whole, when this returns. A failure after the open (the disk filled
  // between check and write) is reported exactly like a failed open.
  const std::string line = (rewrite_ ? rewrite_(text) : text) + "\r\n";
  const bool written = sys::AppendToFile(path_, line);
  room.Charge(path_, line.size());
  return written || Refuse();
}

void LogFile::Write(int32_t severity, const std::string& message) {
  if (!suppressed_ && severity >= SeverityError && severity <= SeverityCritical) {
    Settings().errorLogged = true;
  }
  AppendLine(FormatLogEntry(sys::Now(), severity, message));
}

std::string Format(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, pattern, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), pattern, args);
    out.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(args);
  return out;
}
