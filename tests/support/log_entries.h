#pragma once
// An activity log in a scratch folder, read back as "SEVERITY,message"
// entries (the timestamp dropped), for tests that compare what was logged.

#include <string>
#include <vector>

#include "collect/collector.h"
#include "run/log_file.h"
#include "support/test_support.h"

namespace testing_support {

class CapturedLog {
 public:
  CapturedLog() : log_(folder_ / "Activity Log.csv") {}
  ActivityLog* log() { return &log_; }
  // A run context that reports to this log and nowhere else.
  RunContext Context() {
    RunContext context;
    context.activityLog = &log_;
    return context;
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    const std::string text = ReadFile(log_.path());
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      // "dd/mm/yyyy hh:mm:ss," is 20 characters.
      entries.push_back(line.size() > 20 ? line.substr(20) : line);
      start = end + 2;
    }
    return entries;
  }

 private:
  ScratchFolder folder_{"log"};
  ActivityLog log_;
};

}  // namespace testing_support
