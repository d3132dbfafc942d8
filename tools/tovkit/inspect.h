#pragma once
// tovkit inspect RESULT.tgz: checks a result file against its manifest.

#include <ostream>
#include <string>
#include <vector>

namespace tovkit {

// Lists missing, changed and extra files and other problems, then a
// one-line verdict. Exit status 0 only for a clean result, 1 for any
// finding or a damaged archive, 2 for a usage error or an unreadable file.
int Inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tovkit
