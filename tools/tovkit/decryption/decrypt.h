#pragma once
// tovkit decrypt, and encrypted results opened for inspect and report.

#include <ostream>
#include <string>
#include <vector>

#include <cstdio>

#include "input_file.h"

namespace tovkit {

int Decrypt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The result file at path, ready to read: an encrypted one is opened with
// the key at keyPath into a temporary file that goes away when closed.
// Null with *error saying why.
// Opens the envelope in `in` with the PEM private key at keyPath and
// writes its content to `out`. Memory stays bounded. False with *error
// saying why (always, in a build without OpenSSL).
bool DecryptEnvelope(std::FILE* in, const std::string& keyPath, std::FILE* out, std::string* error);

OpenedFile OpenResult(const std::string& path, const std::string& keyPath, std::string* error);

}  // namespace tovkit
