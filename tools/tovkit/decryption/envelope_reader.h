#pragma once
// The head of an encrypted result (CMS EnvelopedData in DER, as brindle.exe
// and `openssl cms -encrypt -outform DER` write it), read from the first
// bytes of the file without trusting any length in it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tovkit {

struct EnvelopeHead {
  std::vector<std::string> encryptedKeys;  // RSA key transport, one per recipient
  std::vector<std::string> recipients;     // "issuer, serial" for each, readable
  std::string iv;                          // AES-256-CBC
  uint64_t contentOffset = 0;
  uint64_t contentSize = 0;
};

// head: the file's first bytes (all of them, or at least up to the
// content); fileSize: the whole file's. False with *error saying why.
bool ReadEnvelopeHead(const unsigned char* head, size_t size, uint64_t fileSize, EnvelopeHead* out,
                      std::string* error);

// Whether a file's first bytes look like an envelope rather than gzip.
bool LooksLikeEnvelope(const unsigned char* head, size_t size);

}  // namespace tovkit
