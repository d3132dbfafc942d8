#pragma once
// tovkit decrypt, and encrypted results opened for inspect and report.

#include <ostream>
#include <string>
#include <vector>

#include "result_inspector.h"

namespace tovkit {

int Decrypt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The result file at path, ready to read: an encrypted one is opened with
// the key at keyPath into a temporary file that goes away when closed.
// Null with *error saying why.
OpenedFile OpenResult(const std::string& path, const std::string& keyPath, std::string* error);

}  // namespace tovkit
