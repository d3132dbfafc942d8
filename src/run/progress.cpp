#include "run/progress.h"

namespace {
class Dialog : public ProgressReporter {
 public:
  void Status(const std::string& text, int32_t step) override { ReportProgress(text, step); }
  void Detail(const std::string& text) override { ReportDetail(text); }
};
}  // namespace

ProgressReporter& DialogProgress() {
  static Dialog dialog;
  return dialog;
}
