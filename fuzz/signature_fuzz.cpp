// The signature operations on any text: no crash, and signing then checking
// always agrees with itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "run/signature.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // Checking as the run driver does.
  std::string stripped = text;
  const uint32_t stored = ReadSignature(stripped);
  if (!StripSignature(&stripped)) Require(stripped == text);
  Require(CheckSignature(text) == (stored == TextCrc(stripped)));

  // Signing: the signed text checks, and stripping gives the text back.
  std::string signedText = text;
  const uint32_t value = TextCrc(text);
  if (InsertSignature(&signedText, value)) {
    Require(signedText.size() == text.size() + 18);
    Require(ReadSignature(signedText) == value);
    Require(CheckSignature(signedText));
    Require(StripSignature(&signedText) && signedText == text);
  } else {
    Require(signedText == text);
  }

  // The alphabet: every character maps somewhere, and back for hex digits.
  std::string token = text.substr(0, 16);
  EncodeSignature(&token);
  DecodeSignature(&token);
  Require(token.size() == std::min<size_t>(text.size(), 16));
  return 0;
}
