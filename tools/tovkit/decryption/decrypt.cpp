#include "decrypt.h"

#include <cstdio>

#include "envelope_reader.h"
#include "input_file.h"
#include "keys.h"
#include "sys/file_system.h"

namespace tovkit {

namespace {

const char kUsage[] =
    "usage: tovkit decrypt RESULT.tgz.p7m --key KEY.pem [-o RESULT.tgz]\n"
    "\n"
    "Opens a result that a branded brindle.exe encrypted for your certificate\n"
    "(CMS, as 'openssl cms -decrypt -inform DER -binary' opens it) and writes the\n"
    "very .tgz it packed. Without -o the output is the name without .p7m, which\n"
    "must not exist yet.\n";

bool IsEnvelope(std::FILE* file) {
  unsigned char head[64];
  const size_t size = std::fread(head, 1, sizeof head, file);
  std::rewind(file);
  return LooksLikeEnvelope(head, size);
}

}  // namespace

OpenedFile OpenResult(const std::string& path, const std::string& keyPath, std::string* error) {
  std::string why;
  OpenedFile file(OpenInputFile(path, &why));
  if (!file) {
    *error = why;
    return nullptr;
  }
  if (!IsEnvelope(file.get())) return file;
  if (keyPath.empty()) {
    *error = "encrypted: give --key KEY.pem";
    return nullptr;
  }
  OpenedFile plain(std::tmpfile());
  if (!plain) {
    *error = "no room for a temporary file";
    return nullptr;
  }
  if (!DecryptEnvelope(file.get(), keyPath, plain.get(), error)) return nullptr;
  std::rewind(plain.get());
  return plain;
}

int Decrypt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string input, key, output;
  for (size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--help" || args[i] == "-h") {
      out << kUsage;
      return 0;
    } else if (args[i] == "--key" && hasValue) {
      key = args[++i];
    } else if (args[i] == "-o" && hasValue) {
      output = args[++i];
    } else if (!args[i].empty() && args[i][0] != '-' && input.empty()) {
      input = args[i];
    } else {
      err << kUsage;
      return 2;
    }
  }
  if (input.empty() || key.empty()) {
    err << kUsage;
    return 2;
  }
  const bool replace = !output.empty();
  if (output.empty()) {
    const std::string suffix = ".p7m";
    const bool named = input.size() > suffix.size() &&
                       input.compare(input.size() - suffix.size(), suffix.size(), suffix) == 0;
    output = named ? input.substr(0, input.size() - suffix.size()) : input + ".tgz";
    if (sys::PathExists(output)) {
      err << "tovkit decrypt: " << output << " exists already; name another with -o\n";
      return 1;
    }
  }
  if (IsOneOfInputs(output, {input, key})) {
    err << "tovkit decrypt: the output would overwrite its input " << output << "\n";
    return 2;
  }
  std::string why;
  OpenedFile in(OpenInputFile(input, &why));
  if (!in) {
    err << "tovkit decrypt: " << input << ": " << why << "\n";
    return 1;
  }
  // Written beside and renamed at the end: a failure leaves an existing
  // file of that name as it was, and half a result never passes for one.
  OutputFile target(output);
  std::string error;
  if (!target.Open(&error)) {
    err << "tovkit decrypt: " << output << ": " << error << "\n";
    return 1;
  }
  if (!DecryptEnvelope(in.get(), key, target.file(), &error)) {
    err << "tovkit decrypt: " << input << ": " << error << "\n";
    return 1;
  }
  if (!target.Commit(replace, &error)) {
    err << "tovkit decrypt: " << output << ": " << error << "\n";
    return 1;
  }
  out << output << ": decrypted\n";
  return 0;
}

}  // namespace tovkit
