#pragma once
// tovkit report RESULT.tgz [-o report.html]: one self-contained HTML page
// about a result file, for the engineer who gets it back.

#include <ostream>
#include <string>
#include <vector>

namespace tovkit {

// Once the page is written, the verdict's exit status (0 clean, 4 intact
// with errors, 1 not intact); 1 when the page cannot be written, 2 for a
// usage error or a result that cannot be read.
int Report(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tovkit
