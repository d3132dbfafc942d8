#include <windows.h>
// After windows.h: bcrypt.h needs its types.
#include <bcrypt.h>

#include <vector>

#include "sys/crypto.h"

namespace sys {

namespace {

// bcrypt.dll exists from Vista on; loaded here, so that the program still
// starts on older systems, where only a branded copy cannot do its part.
struct Cng {
  decltype(&::BCryptOpenAlgorithmProvider) open = nullptr;
  decltype(&::BCryptCloseAlgorithmProvider) close = nullptr;
  decltype(&::BCryptGetProperty) getProperty = nullptr;
  decltype(&::BCryptSetProperty) setProperty = nullptr;
  decltype(&::BCryptCreateHash) createHash = nullptr;
  decltype(&::BCryptHashData) hashData = nullptr;
  decltype(&::BCryptFinishHash) finishHash = nullptr;
  decltype(&::BCryptDestroyHash) destroyHash = nullptr;
  decltype(&::BCryptGenRandom) genRandom = nullptr;
  decltype(&::BCryptImportKeyPair) importKeyPair = nullptr;
  decltype(&::BCryptGenerateSymmetricKey) generateKey = nullptr;
  decltype(&::BCryptDestroyKey) destroyKey = nullptr;
  decltype(&::BCryptEncrypt) encrypt = nullptr;
  decltype(&::BCryptVerifySignature) verify = nullptr;
};

template <typename Fn>
bool Find(HMODULE module, const char* name, Fn* target) {
  *target = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return *target != nullptr;
}

const Cng* LoadCng() {
  static Cng cng;
  HMODULE module = ::LoadLibraryA("bcrypt.dll");
  if (module == nullptr) return nullptr;
  const bool all = Find(module, "BCryptOpenAlgorithmProvider", &cng.open) &&
                   Find(module, "BCryptCloseAlgorithmProvider", &cng.close) &&
                   Find(module, "BCryptGetProperty", &cng.getProperty) &&
                   Find(module, "BCryptSetProperty", &cng.setProperty) &&
                   Find(module, "BCryptCreateHash", &cng.createHash) &&
                   Find(module, "BCryptHashData", &cng.hashData) &&
                   Find(module, "BCryptFinishHash", &cng.finishHash) &&
                   Find(module, "BCryptDestroyHash", &cng.destroyHash) &&
                   Find(module, "BCryptGenRandom", &cng.genRandom) &&
                   Find(module, "BCryptImportKeyPair", &cng.importKeyPair) &&
                   Find(module, "BCryptGenerateSymmetricKey", &cng.generateKey) &&
                   Find(module, "BCryptDestroyKey", &cng.destroyKey) &&
                   Find(module, "BCryptEncrypt", &cng.encrypt) &&
                   Find(module, "BCryptVerifySignature", &cng.verify);
  return all ? &cng : nullptr;
}

const Cng* Api() {
  static const Cng* const api = LoadCng();
  return api;
}

bool Ok(NTSTATUS status) { return status >= 0; }

class Algorithm {
 public:
  explicit Algorithm(const wchar_t* name) {
    if (Api() != nullptr && !Ok(Api()->open(&handle_, name, nullptr, 0))) handle_ = nullptr;
  }
  ~Algorithm() {
    if (handle_ != nullptr) Api()->close(handle_, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }
  // The buffer a hash or key object needs (Vista wants it from the caller).
  ULONG ObjectLength() const {
    DWORD length = 0;
    ULONG size = 0;
    if (!Ok(Api()->getProperty(handle_, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&length),
                               sizeof length, &size, 0)))
      return 0;
    return length;
  }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class Key {
 public:
  Key() = default;
  ~Key() {
    if (handle_ != nullptr) Api()->destroyKey(handle_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  BCRYPT_KEY_HANDLE* put() { return &handle_; }
  BCRYPT_KEY_HANDLE get() const { return handle_; }

 private:
  BCRYPT_KEY_HANDLE handle_ = nullptr;
};

PUCHAR Mutable(const std::string& text) {
  return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
}

// The key as the public blob CNG imports.
bool ImportPublic(const PublicKey& key, Algorithm* algorithm, Key* out) {
  std::string blob;
  const wchar_t* type = nullptr;
  if (key.rsa) {
    if (key.modulus.empty()) return false;
    BCRYPT_RSAKEY_BLOB header = {};
    header.Magic = BCRYPT_RSAPUBLIC_MAGIC;
    ULONG bits = static_cast<ULONG>(key.modulus.size()) * 8;
    for (unsigned char top = static_cast<unsigned char>(key.modulus[0]); top < 0x80 && bits > 0;
         top = static_cast<unsigned char>(top << 1))
      --bits;
    header.BitLength = bits;
    header.cbPublicExp = static_cast<ULONG>(key.exponent.size());
    header.cbModulus = static_cast<ULONG>(key.modulus.size());
    blob.assign(reinterpret_cast<const char*>(&header), sizeof header);
    blob += key.exponent + key.modulus;
    type = BCRYPT_RSAPUBLIC_BLOB;
  } else {
    if (key.ecX.size() != 32 || key.ecY.size() != 32) return false;
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    blob.assign(reinterpret_cast<const char*>(&header), sizeof header);
    blob += key.ecX + key.ecY;
    type = BCRYPT_ECCPUBLIC_BLOB;
  }
  return algorithm->get() != nullptr &&
         Ok(Api()->importKeyPair(algorithm->get(), nullptr, type, out->put(), Mutable(blob),
                                 static_cast<ULONG>(blob.size()), 0));
}

}  // namespace

bool Sha256(const std::string& data, std::string* digest) {
  Algorithm algorithm(BCRYPT_SHA256_ALGORITHM);
  if (algorithm.get() == nullptr) return false;
  std::vector<UCHAR> object(algorithm.ObjectLength() + 1);
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!Ok(Api()->createHash(algorithm.get(), &hash, object.data(),
                            static_cast<ULONG>(object.size()), nullptr, 0, 0)))
    return false;
  digest->assign(32, '\0');
  const bool done = Ok(Api()->hashData(hash, Mutable(data), static_cast<ULONG>(data.size()), 0)) &&
                    Ok(Api()->finishHash(hash, Mutable(*digest), 32, 0));
  Api()->destroyHash(hash);
  return done;
}

bool RandomBytes(size_t count, std::string* out) {
  Algorithm algorithm(BCRYPT_RNG_ALGORITHM);
  out->assign(count, '\0');
  return algorithm.get() != nullptr &&
         Ok(Api()->genRandom(algorithm.get(), Mutable(*out), static_cast<ULONG>(count), 0));
}

bool VerifySignature(const PublicKey& key, SignatureScheme scheme, const std::string& digest,
                     const std::string& signature) {
  const bool ecdsa = scheme == SignatureScheme::EcdsaP256Sha256;
  if (ecdsa == key.rsa) return false;
  Algorithm algorithm(ecdsa ? BCRYPT_ECDSA_P256_ALGORITHM : BCRYPT_RSA_ALGORITHM);
  Key handle;
  if (!ImportPublic(key, &algorithm, &handle)) return false;
  BCRYPT_PKCS1_PADDING_INFO pkcs1 = {BCRYPT_SHA256_ALGORITHM};
  BCRYPT_PSS_PADDING_INFO pss = {BCRYPT_SHA256_ALGORITHM, 32};
  void* padding = nullptr;
  ULONG flags = 0;
  if (scheme == SignatureScheme::RsaPkcs1Sha256) {
    padding = &pkcs1;
    flags = BCRYPT_PAD_PKCS1;
  } else if (scheme == SignatureScheme::RsaPssSha256) {
    padding = &pss;
    flags = BCRYPT_PAD_PSS;
  }
  return Ok(Api()->verify(handle.get(), padding, Mutable(digest), static_cast<ULONG>(digest.size()),
                          Mutable(signature), static_cast<ULONG>(signature.size()), flags));
}

bool RsaPkcs1Encrypt(const PublicKey& key, const std::string& plain, std::string* out) {
  Algorithm algorithm(BCRYPT_RSA_ALGORITHM);
  Key handle;
  ULONG size = 0;
  if (!key.rsa || !ImportPublic(key, &algorithm, &handle) ||
      !Ok(Api()->encrypt(handle.get(), Mutable(plain), static_cast<ULONG>(plain.size()), nullptr,
                         nullptr, 0, nullptr, 0, &size, BCRYPT_PAD_PKCS1)))
    return false;
  out->assign(size, '\0');
  if (!Ok(Api()->encrypt(handle.get(), Mutable(plain), static_cast<ULONG>(plain.size()), nullptr,
                         nullptr, 0, Mutable(*out), size, &size, BCRYPT_PAD_PKCS1)))
    return false;
  out->resize(size);
  return true;
}

struct AesCbcEncryptor::State {
  Algorithm algorithm{BCRYPT_AES_ALGORITHM};
  std::vector<UCHAR> object;
  Key key;
  std::string iv;  // CNG carries the chain on in this buffer
};

AesCbcEncryptor::AesCbcEncryptor() : state_(new State) {}
AesCbcEncryptor::~AesCbcEncryptor() = default;

bool AesCbcEncryptor::Start(const std::string& key, const std::string& iv) {
  State& state = *state_;
  if (state.algorithm.get() == nullptr || key.size() != 32 || iv.size() != 16) return false;
  if (!Ok(Api()->setProperty(state.algorithm.get(), BCRYPT_CHAINING_MODE,
                             reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                             sizeof BCRYPT_CHAIN_MODE_CBC, 0)))
    return false;
  state.object.assign(state.algorithm.ObjectLength() + 1, 0);
  state.iv = iv;
  return Ok(Api()->generateKey(state.algorithm.get(), state.key.put(), state.object.data(),
                               static_cast<ULONG>(state.object.size()), Mutable(key), 32, 0));
}

bool AesCbcEncryptor::Encrypt(const unsigned char* in, size_t size, unsigned char* out) {
  ULONG written = 0;
  return size % 16 == 0 && state_->key.get() != nullptr &&
         Ok(Api()->encrypt(state_->key.get(), const_cast<PUCHAR>(in), static_cast<ULONG>(size),
                           nullptr, Mutable(state_->iv), 16, out, static_cast<ULONG>(size),
                           &written, 0)) &&
         written == size;
}

}  // namespace sys
