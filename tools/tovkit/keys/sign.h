#pragma once
// tovkit sign and verify: the script signature as brindle.exe checks it.

#include <ostream>
#include <string>
#include <vector>

namespace tovkit {

// tovkit sign FILE...: signs each file in place. Exit status 0 when every
// file is signed, 1 when one could not be, 2 for a usage error.
int Sign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// tovkit verify FILE...: one line per file, "OK" or "BAD" with the stored
// and the computed check value. Exit status 0 only when every file is OK.
int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tovkit
