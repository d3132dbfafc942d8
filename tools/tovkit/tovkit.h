#pragma once
// tovkit: the support engineer's companion to brindle.exe.

#include <ostream>
#include <string>
#include <vector>

namespace tovkit {

// Runs one command line (without the program name); returns the exit
// status: 2 for a usage error, told on `err`. Help and answers go to `out`;
// `progress` lets inspect show how far it is on `err`.
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
         bool progress = false);

}  // namespace tovkit
