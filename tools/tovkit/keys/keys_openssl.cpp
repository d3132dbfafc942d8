#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "keys.h"

#include "input_file.h"
#include "openssl_owned.h"
#include "sys/open_file.h"

namespace tovkit {

const bool kHasPrivateKeys = true;

namespace {

// OpenSSL's DER ECDSA signature as r || s, 32 bytes each.
bool RawEcdsa(const std::vector<unsigned char>& der, std::string* out) {
  const unsigned char* at = der.data();
  Owned<ECDSA_SIG> sig(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(der.size())));
  if (!sig) return false;
  unsigned char raw[64];
  if (BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), raw, 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), raw + 32, 32) != 32)
    return false;
  out->assign(reinterpret_cast<char*>(raw), 64);
  return true;
}

}  // namespace

bool SignWithKey(const std::string& keyPath, const Certificate& certificate, bool pss,
                 const std::string& message, KeySignature* out, std::string* error) {
  Owned<EVP_PKEY> key = ReadKey(keyPath, error);
  if (!key) return false;
  const unsigned char* at = Bytes(certificate.publicKeyInfo);
  Owned<EVP_PKEY> pub(
      d2i_PUBKEY(nullptr, &at, static_cast<long>(certificate.publicKeyInfo.size())));
  if (!pub || EVP_PKEY_eq(key.get(), pub.get()) != 1) {
    *error = keyPath + ": this key does not belong to the certificate";
    return false;
  }
  const bool rsa = certificate.kind == Certificate::KeyKind::Rsa;
  Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* options = nullptr;
  size_t size = 0;
  if (!context ||
      EVP_DigestSignInit(context.get(), &options, EVP_sha256(), nullptr, key.get()) != 1 ||
      (rsa && pss &&
       (EVP_PKEY_CTX_set_rsa_padding(options, RSA_PKCS1_PSS_PADDING) != 1 ||
        EVP_PKEY_CTX_set_rsa_pss_saltlen(options, 32) != 1)) ||
      EVP_DigestSign(context.get(), nullptr, &size, Bytes(message), message.size()) != 1) {
    *error = "signing failed";
    return false;
  }
  std::vector<unsigned char> signature(size);
  if (EVP_DigestSign(context.get(), signature.data(), &size, Bytes(message), message.size()) != 1) {
    *error = "signing failed";
    return false;
  }
  signature.resize(size);
  out->scheme = !rsa  ? sys::SignatureScheme::EcdsaP256Sha256
                : pss ? sys::SignatureScheme::RsaPssSha256
                      : sys::SignatureScheme::RsaPkcs1Sha256;
  if (!rsa) return RawEcdsa(signature, &out->value) && KeyIdOf(certificate, &out->keyId);
  out->value.assign(signature.begin(), signature.end());
  return KeyIdOf(certificate, &out->keyId);
}

}  // namespace tovkit
