#pragma once
// tovkit inspect RESULT.tgz|FOLDER...: checks result files against their
// manifests.

#include <ostream>
#include <string>
#include <vector>

namespace tovkit {

// One file: lists missing, changed and extra files and other problems, then
// a one-line verdict. Several files or a folder: one summary line per
// result, or JSON with --json; `progress` shows "done/total" on `err`.
// Exit status 0 only when every result is clean, 1 for any finding, a
// damaged archive or (with several files) an unreadable one, 2 for a usage
// error or a single unreadable file.
int Inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progress = false);

}  // namespace tovkit
