#pragma once
// tovkit report RESULT.tgz [-o report.html]: one self-contained HTML page
// about a result file, for the engineer who gets it back.

#include <ostream>
#include <string>
#include <vector>

namespace tovkit {

// Exit status 0 when the page was written (whatever the result holds), 1
// when the result cannot be read or the page cannot be written, 2 for a
// usage error.
int Report(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tovkit
