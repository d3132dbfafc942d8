#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "decrypt.h"
#include "envelope_reader.h"
#include "input_file.h"
#include "openssl_owned.h"
#include "sys/open_file.h"

namespace tovkit {

bool DecryptEnvelope(std::FILE* in, const std::string& keyPath, std::FILE* out,
                     std::string* error) {
  if (std::fseek(in, 0, SEEK_END) != 0) {
    *error = "cannot be read";
    return false;
  }
  const uint64_t fileSize = static_cast<uint64_t>(ftello(in));
  // The head is small; a megabyte holds it with any number of recipients.
  std::vector<unsigned char> head(static_cast<size_t>(std::min<uint64_t>(fileSize, 1 << 20)));
  EnvelopeHead envelope;
  if (!sys::SeekFile(in, 0) || std::fread(head.data(), 1, head.size(), in) != head.size() ||
      !ReadEnvelopeHead(head.data(), head.size(), fileSize, &envelope, error))
    return false;
  Owned<EVP_PKEY> key = ReadKey(keyPath, error);
  if (!key) return false;
  std::string contentKey;
  for (const std::string& encrypted : envelope.encryptedKeys) {
    Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(key.get(), nullptr));
    unsigned char plain[512];
    size_t size = sizeof plain;
    if (context && EVP_PKEY_decrypt_init(context.get()) == 1 &&
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) == 1 &&
        EVP_PKEY_decrypt(context.get(), plain, &size, Bytes(encrypted), encrypted.size()) == 1 &&
        size == 32) {
      contentKey.assign(reinterpret_cast<char*>(plain), size);
      break;
    }
  }
  if (contentKey.empty()) {
    *error = "this key does not open the file; it was encrypted for:";
    for (const std::string& who : envelope.recipients) *error += "\n  " + who;
    return false;
  }
  Owned<EVP_CIPHER_CTX> cipher(EVP_CIPHER_CTX_new());
  if (!cipher || !sys::SeekFile(in, envelope.contentOffset) ||
      EVP_DecryptInit_ex(cipher.get(), EVP_aes_256_cbc(), nullptr, Bytes(contentKey),
                         Bytes(envelope.iv)) != 1) {
    *error = "cannot be read";
    return false;
  }
  std::vector<unsigned char> chunk(64 * 1024), plain(64 * 1024 + 16);
  for (uint64_t left = envelope.contentSize; left > 0;) {
    const size_t size = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
    int written = 0;
    if (std::fread(chunk.data(), 1, size, in) != size ||
        EVP_DecryptUpdate(cipher.get(), plain.data(), &written, chunk.data(),
                          static_cast<int>(size)) != 1 ||
        std::fwrite(plain.data(), 1, static_cast<size_t>(written), out) !=
            static_cast<size_t>(written)) {
      *error = "cannot be read or written";
      return false;
    }
    left -= size;
  }
  int written = 0;
  if (EVP_DecryptFinal_ex(cipher.get(), plain.data(), &written) != 1) {
    *error = "damaged: the content does not decrypt to a whole file";
    return false;
  }
  if (std::fwrite(plain.data(), 1, static_cast<size_t>(written), out) !=
          static_cast<size_t>(written) ||
      std::fflush(out) != 0) {
    *error = "cannot be written";
    return false;
  }
  return true;
}

}  // namespace tovkit
