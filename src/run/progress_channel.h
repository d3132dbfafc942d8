#pragma once
// Progress updates on their way from the run thread to the dialog. The run
// thread never waits for the dialog's thread: it leaves the update here and,
// when nothing was waiting yet, posts one wake-up; the dialog's thread takes
// everything at once. Texts keep only their latest value and steps add up,
// so a fast run cannot flood the message queue.

#include <cstdint>
#include <mutex>
#include <string>

struct ProgressUpdate {
  int64_t steps = 0;  // sum of the steps since the last take
  bool hasStatus = false;
  std::string status;
  bool hasDetail = false;
  std::string detail;
};

class ProgressChannel {
 public:
  // Each returns true when the caller must wake the dialog's thread: the
  // first update after a Take.
  bool AddSteps(int32_t step);
  bool SetStatus(const std::string& text);
  bool SetDetail(const std::string& text);

  // Everything that arrived since the last take; the next update wakes again.
  ProgressUpdate Take();

 private:
  bool MarkWaiting();  // called with mutex_ held

  std::mutex mutex_;
  ProgressUpdate pending_;
  bool waiting_ = false;
};
