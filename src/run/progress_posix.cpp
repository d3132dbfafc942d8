#include "run/progress.h"

// No dialog exists off Windows.
void ReportProgress(const std::string&, int32_t) {}
void ReportDetail(const std::string&) {}
