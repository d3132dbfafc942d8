#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include "sys/crypto.h"

namespace sys {

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_PKEY_CTX, ContextFree>;

Context ContextFor(const PublicKey& key, Key* holder) {
  const unsigned char* at = reinterpret_cast<const unsigned char*>(key.spki.data());
  holder->reset(d2i_PUBKEY(nullptr, &at, static_cast<long>(key.spki.size())));
  if (!*holder) return nullptr;
  return Context(EVP_PKEY_CTX_new(holder->get(), nullptr));
}

const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// ECDSA r || s as OpenSSL's DER signature.
bool EcdsaDer(const std::string& raw, std::string* out) {
  if (raw.size() != 64) return false;
  ECDSA_SIG* sig = ECDSA_SIG_new();
  BIGNUM* r = BN_bin2bn(Bytes(raw), 32, nullptr);
  BIGNUM* s = BN_bin2bn(Bytes(raw) + 32, 32, nullptr);
  if (sig == nullptr || r == nullptr || s == nullptr || !ECDSA_SIG_set0(sig, r, s)) {
    BN_free(r);
    BN_free(s);
    ECDSA_SIG_free(sig);
    return false;
  }
  unsigned char* encoded = nullptr;
  const int length = i2d_ECDSA_SIG(sig, &encoded);
  ECDSA_SIG_free(sig);
  if (length <= 0) return false;
  out->assign(reinterpret_cast<char*>(encoded), static_cast<size_t>(length));
  OPENSSL_free(encoded);
  return true;
}

}  // namespace

bool Sha256(const std::string& data, std::string* digest) {
  unsigned char out[32];
  unsigned int size = 0;
  if (!EVP_Digest(data.data(), data.size(), out, &size, EVP_sha256(), nullptr)) return false;
  digest->assign(reinterpret_cast<char*>(out), size);
  return true;
}

bool RandomBytes(size_t count, std::string* out) {
  out->assign(count, '\0');
  return RAND_bytes(reinterpret_cast<unsigned char*>(&(*out)[0]), static_cast<int>(count)) == 1;
}

bool VerifySignature(const PublicKey& key, SignatureScheme scheme, const std::string& digest,
                     const std::string& signature) {
  Key holder;
  Context context = ContextFor(key, &holder);
  if (!context || EVP_PKEY_verify_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) != 1)
    return false;
  std::string sig = signature;
  if (scheme == SignatureScheme::EcdsaP256Sha256) {
    if (key.rsa || !EcdsaDer(signature, &sig)) return false;
  } else {
    if (!key.rsa) return false;
    const bool pss = scheme == SignatureScheme::RsaPssSha256;
    if (EVP_PKEY_CTX_set_rsa_padding(context.get(),
                                     pss ? RSA_PKCS1_PSS_PADDING : RSA_PKCS1_PADDING) != 1 ||
        (pss && EVP_PKEY_CTX_set_rsa_pss_saltlen(context.get(), 32) != 1))
      return false;
  }
  return EVP_PKEY_verify(context.get(), Bytes(sig), sig.size(), Bytes(digest), digest.size()) == 1;
}

bool RsaPkcs1Encrypt(const PublicKey& key, const std::string& plain, std::string* out) {
  Key holder;
  Context context = ContextFor(key, &holder);
  size_t size = 0;
  if (!key.rsa || !context || EVP_PKEY_encrypt_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
      EVP_PKEY_encrypt(context.get(), nullptr, &size, Bytes(plain), plain.size()) != 1)
    return false;
  out->assign(size, '\0');
  if (EVP_PKEY_encrypt(context.get(), reinterpret_cast<unsigned char*>(&(*out)[0]), &size,
                       Bytes(plain), plain.size()) != 1)
    return false;
  out->resize(size);
  return true;
}

struct AesCbcEncryptor::State {
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  ~State() { EVP_CIPHER_CTX_free(context); }
};

AesCbcEncryptor::AesCbcEncryptor() : state_(new State) {}
AesCbcEncryptor::~AesCbcEncryptor() = default;

bool AesCbcEncryptor::Start(const std::string& key, const std::string& iv) {
  return state_->context != nullptr && key.size() == 32 && iv.size() == 16 &&
         EVP_EncryptInit_ex(state_->context, EVP_aes_256_cbc(), nullptr, Bytes(key), Bytes(iv)) ==
             1 &&
         EVP_CIPHER_CTX_set_padding(state_->context, 0) == 1;
}

bool AesCbcEncryptor::Encrypt(const unsigned char* in, size_t size, unsigned char* out) {
  int written = 0;
  return size % 16 == 0 &&
         EVP_EncryptUpdate(state_->context, out, &written, in, static_cast<int>(size)) == 1 &&
         static_cast<size_t>(written) == size;
}

}  // namespace sys
