// The cryptography stand-in of a POSIX build without OpenSSL (the 32-bit
// test build): every primitive is missing, so a branded copy refuses and an
// encrypted result fails as a write error, never falls back to clear text.

#include "sys/crypto.h"

namespace sys {

bool Sha256(const std::string&, std::string*) { return false; }
bool RandomBytes(size_t, std::string*) { return false; }
bool VerifySignature(const PublicKey&, SignatureScheme, const std::string&, const std::string&) {
  return false;
}
bool RsaPkcs1Encrypt(const PublicKey&, const std::string&, std::string*) { return false; }

struct AesCbcEncryptor::State {};
AesCbcEncryptor::AesCbcEncryptor() : state_(new State) {}
AesCbcEncryptor::~AesCbcEncryptor() = default;
bool AesCbcEncryptor::Start(const std::string&, const std::string&) { return false; }
bool AesCbcEncryptor::Encrypt(const unsigned char*, size_t, unsigned char*) { return false; }

}  // namespace sys
