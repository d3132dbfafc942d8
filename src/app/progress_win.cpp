#include "app/progress.h"

// Without a dialog there is nothing to report to.
void ReportProgress(const std::string&, int32_t) {}
void ReportDetail(const std::string&) {}
