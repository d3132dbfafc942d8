// OpenSSL objects with an owner, and a private key read from a PEM file:
// shared by the key commands and decryption (built only with OpenSSL).
#pragma once

#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <memory>
#include <string>

#include "input_file.h"

namespace tovkit {

struct Free {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
  void operator()(EVP_CIPHER_CTX* p) const { EVP_CIPHER_CTX_free(p); }
  void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
  void operator()(std::FILE* p) const { std::fclose(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

inline Owned<EVP_PKEY> ReadKey(const std::string& path, std::string* error) {
  std::string why;  // a FIFO or a folder is refused at once, never waited on
  Owned<std::FILE> file(OpenInputFile(path, &why));
  Owned<EVP_PKEY> key(file ? PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!file) {
    *error = path + ": " + why;
  } else if (!key) {
    *error = path + ": not a readable PEM private key (an encrypted one is not taken)";
  }
  return key;
}

inline const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace tovkit
