// tovkit's reading of an encrypted result's head from any bytes: no crash,
// and what it accepts lies within the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "envelope_reader.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tovkit::EnvelopeHead head;
  std::string error;
  tovkit::LooksLikeEnvelope(data, size);
  if (tovkit::ReadEnvelopeHead(data, size, size, &head, &error)) {
    Require(!head.encryptedKeys.empty() && head.iv.size() == 16);
    Require(head.contentOffset <= size && head.contentSize <= size - head.contentOffset);
  } else {
    Require(!error.empty());
  }
  return 0;
}
