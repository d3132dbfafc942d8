#pragma once
// An activity log in a scratch folder, read back as "SEVERITY,message"
// entries (the timestamp dropped), and the manifest rows a collector gave,
// for tests that compare what was logged and listed.

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
    std::vector<std::string> entries = FileLines(log_.path());
    // "dd/mm/yyyy hh:mm:ss," is 20 characters.
    for (std::string& entry : entries) {
      if (entry.size() > 20) entry.erase(0, 20);
    }
    return entries;
  }

 private:
  ScratchFolder folder_{"log"};
  ActivityLog log_;
};

// What a collector listed for the manifest, as "relative|source" rows.
struct ListedRows : ManifestRecorder {
  void AddFile(const std::string& relative, const std::string& source) override {
    rows.push_back(relative + "|" + source);
  }
  std::vector<std::string> rows;
};

}  // namespace testing_support
