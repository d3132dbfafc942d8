// The key signature line on any text: no crash, a line that parses comes
// back the same from its parts, and the signed rest is the text without it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "run/key_signature.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  KeySignature signature;
  std::string message;
  bool present = false;
  if (ParseKeySignature(text, &signature, &message, &present)) {
    Require(present && message.size() < text.size());
    KeySignature again;
    std::string rest;
    const std::string rebuilt = WithKeySignature(message, signature);
    Require(ParseKeySignature(rebuilt, &again, &rest) && rest == message &&
            again.keyId == signature.keyId && again.value == signature.value);
  }
  std::string bytes;
  if (Base64Decode(text, &bytes)) Require(Base64Encode(bytes).size() == text.size());
  return 0;
}
