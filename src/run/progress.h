#pragma once
// The run's two ways to talk to the progress dialog. Callable from any
// thread; both do nothing once a stop was requested, or without a dialog.

#include <cstdint>
#include <string>

// (message, 0) shows a status line; ("", weight) advances the bar.
void ReportProgress(const std::string& text, int32_t step);

// The item being worked on, shown under the status line (also when empty).
void ReportDetail(const std::string& text);

// The same two calls as a seam, so that a collector can be handed its
// progress and a test can watch it.
class ProgressReporter {
 public:
  virtual ~ProgressReporter() = default;
  virtual void Status(const std::string& text, int32_t step) = 0;
  virtual void Detail(const std::string& text) = 0;
};

// The dialog's reporter: ReportProgress and ReportDetail.
ProgressReporter& DialogProgress();
