// The certificate reader on any bytes: no crash, and what it accepts has a
// key of the kinds the program can use.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "run/certificate.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string der(reinterpret_cast<const char*>(data), size);
  Certificate certificate;
  if (ParseCertificate(der, &certificate)) {
    Require(certificate.der == der);
    if (certificate.kind == Certificate::KeyKind::Rsa)
      Require(certificate.modulus.size() >= 256 && !certificate.exponent.empty());
    else
      Require(certificate.ecX.size() == 32 && certificate.ecY.size() == 32);
  }
  NameText(der);
  return 0;
}
