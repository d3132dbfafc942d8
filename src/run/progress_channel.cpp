#include "run/progress_channel.h"

bool ProgressChannel::MarkWaiting() {
  const bool wake = !waiting_;
  waiting_ = true;
  return wake;
}

bool ProgressChannel::AddSteps(int32_t step) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.steps += step;
  return MarkWaiting();
}

bool ProgressChannel::SetStatus(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.hasStatus = true;
  pending_.status = text;
  return MarkWaiting();
}

bool ProgressChannel::SetDetail(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.hasDetail = true;
  pending_.detail = text;
  return MarkWaiting();
}

ProgressUpdate ProgressChannel::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  ProgressUpdate taken = std::move(pending_);
  pending_ = ProgressUpdate();
  waiting_ = false;
  return taken;
}
