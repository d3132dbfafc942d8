#pragma once
// The few cryptographic primitives the program uses, from the system: CNG
// (bcrypt.dll, loaded on first use so that the program still starts where
// it is missing) on Windows, OpenSSL for the POSIX stand-in. No cipher,
// hash or random source of our own. Every call returns false when the
// primitive is not there or fails; outputs are then unspecified.

#include <cstddef>
#include <memory>
#include <string>

namespace sys {

struct PublicKey {
  bool rsa = true;
  std::string spki;               // SubjectPublicKeyInfo as encoded
  std::string modulus, exponent;  // RSA, big-endian
  std::string ecX, ecY;           // P-256, 32 bytes each
};

enum class SignatureScheme { RsaPkcs1Sha256, RsaPssSha256, EcdsaP256Sha256 };

bool Sha256(const std::string& data, std::string* digest);
bool RandomBytes(size_t count, std::string* out);
// An ECDSA signature is r and s, 32 bytes each; PSS uses a 32-byte salt.
bool VerifySignature(const PublicKey& key, SignatureScheme scheme, const std::string& digest,
                     const std::string& signature);
bool RsaPkcs1Encrypt(const PublicKey& key, const std::string& plain, std::string* out);

// AES-256-CBC without padding, one stream: each Encrypt continues the chain.
class AesCbcEncryptor {
 public:
  AesCbcEncryptor();
  ~AesCbcEncryptor();
  AesCbcEncryptor(const AesCbcEncryptor&) = delete;
  AesCbcEncryptor& operator=(const AesCbcEncryptor&) = delete;
  bool Start(const std::string& key, const std::string& iv);
  // size is a multiple of 16; out has room for size bytes.
  bool Encrypt(const unsigned char* in, size_t size, unsigned char* out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace sys
