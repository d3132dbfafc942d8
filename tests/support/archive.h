#pragma once
// A result .tgz read back into memory, for tests that check what a run packed.

#include <map>
#include <string>

namespace testing_support {

// Member name -> content; empty when the file cannot be read as a tgz.
std::map<std::string, std::string> ReadArchive(const std::string& path);

}  // namespace testing_support
