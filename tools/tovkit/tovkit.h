#pragma once
// tovkit: the support engineer's companion to brindle.exe.

#include <string>
#include <vector>

namespace tovkit {

// Runs one command line (without the program name); returns the exit status.
int Main(const std::vector<std::string>& args);

}  // namespace tovkit
