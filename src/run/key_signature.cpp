#include "run/key_signature.h"

#include <cstring>

namespace {

const char kLineStart[] = "\r\n<?brindle-signature ";
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const sys::SignatureScheme kSchemes[] = {sys::SignatureScheme::RsaPkcs1Sha256,
                                         sys::SignatureScheme::RsaPssSha256,
                                         sys::SignatureScheme::EcdsaP256Sha256};

// name="value" at the start of *rest, then one space or the end.
bool Field(std::string* rest, const char* name, std::string* value) {
  const std::string head = std::string(name) + "=\"";
  if (rest->compare(0, head.size(), head) != 0) return false;
  const size_t end = rest->find('"', head.size());
  if (end == std::string::npos) return false;
  *value = rest->substr(head.size(), end - head.size());
  rest->erase(0, end + 1);
  if (!rest->empty() && (*rest)[0] == ' ') rest->erase(0, 1);
  return true;
}

bool HexDecode(const std::string& text, std::string* bytes) {
  if (text.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int value = 0;
    for (size_t j = i; j < i + 2; ++j) {
      const char c = text[j];
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) return false;
      value = value * 16 + digit;
    }
    *bytes += static_cast<char>(value);
  }
  return true;
}

}  // namespace

const char* SchemeName(sys::SignatureScheme scheme) {
  switch (scheme) {
    case sys::SignatureScheme::RsaPssSha256:
      return "rsa-pss-sha256";
    case sys::SignatureScheme::EcdsaP256Sha256:
      return "ecdsa-p256-sha256";
    default:
      return "rsa-pkcs1-sha256";
  }
}

std::string HexText(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text += kDigits[c >> 4];
    text += kDigits[c & 15];
  }
  return text;
}

std::string Base64Encode(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    uint32_t group = 0;
    for (size_t j = 0; j < 3; ++j)
      group = (group << 8) | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0);
    for (size_t j = 0; j < 4; ++j) text += j <= n ? kAlphabet[(group >> (18 - 6 * j)) & 63] : '=';
  }
  return text;
}

bool Base64Decode(const std::string& text, std::string* bytes) {
  if (text.size() % 4 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t group = 0;
    size_t pad = 0;
    for (size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      const char* at = c == '\0' ? nullptr : std::strchr(kAlphabet, c);
      if (c == '=' && i + 4 == text.size() && j >= 2) {
        ++pad;
        group <<= 6;
        continue;
      }
      if (at == nullptr || pad > 0) return false;
      group = (group << 6) | static_cast<uint32_t>(at - kAlphabet);
    }
    for (size_t j = 0; j < 3 - pad; ++j)
      *bytes += static_cast<char>((group >> (16 - 8 * j)) & 0xff);
  }
  return true;
}

bool ParseKeySignature(const std::string& text, KeySignature* signature, std::string* message,
                       bool* present) {
  if (present != nullptr) *present = false;
  const size_t startSize = sizeof kLineStart - 1;
  const size_t first = text.find('>');
  if (first == std::string::npos || text.compare(first + 1, startSize, kLineStart) != 0)
    return false;
  if (present != nullptr) *present = true;
  const size_t start = first + 1 + startSize;
  const size_t end = text.find("?>", start);
  if (end == std::string::npos) return false;
  std::string rest = text.substr(start, end - start);
  std::string key, alg, value;
  if (!Field(&rest, "key", &key) || !Field(&rest, "alg", &alg) || !Field(&rest, "value", &value) ||
      !rest.empty() || !HexDecode(key, &signature->keyId) || signature->keyId.size() != 32 ||
      !Base64Decode(value, &signature->value) || signature->value.empty())
    return false;
  bool known = false;
  for (sys::SignatureScheme scheme : kSchemes) {
    if (alg != SchemeName(scheme)) continue;
    signature->scheme = scheme;
    known = true;
  }
  if (!known) return false;
  *message = text.substr(0, first + 1) + text.substr(end + 2);
  return true;
}

std::string WithKeySignature(const std::string& message, const KeySignature& signature) {
  const size_t first = message.find('>');
  if (first == std::string::npos) return std::string();
  return message.substr(0, first + 1) + kLineStart + "key=\"" + HexText(signature.keyId) +
         "\" alg=\"" + SchemeName(signature.scheme) + "\" value=\"" +
         Base64Encode(signature.value) + "\"?>" + message.substr(first + 1);
}

sys::PublicKey PublicKeyOf(const Certificate& certificate) {
  sys::PublicKey key;
  key.rsa = certificate.kind == Certificate::KeyKind::Rsa;
  key.spki = certificate.publicKeyInfo;
  key.modulus = certificate.modulus;
  key.exponent = certificate.exponent;
  key.ecX = certificate.ecX;
  key.ecY = certificate.ecY;
  return key;
}

bool KeyIdOf(const Certificate& certificate, std::string* id) {
  return sys::Sha256(certificate.publicKeyInfo, id);
}

KeyCheck CheckKeySignature(const std::string& text, const Certificate& trusted) {
  KeySignature signature;
  std::string message, trustedId, digest;
  bool present = false;
  if (!ParseKeySignature(text, &signature, &message, &present))
    return present ? KeyCheck::Unusable : KeyCheck::Missing;
  if (!KeyIdOf(trusted, &trustedId)) return KeyCheck::Unusable;
  if (signature.keyId != trustedId) return KeyCheck::OtherKey;
  if (!sys::Sha256(message, &digest)) return KeyCheck::Unusable;
  return sys::VerifySignature(PublicKeyOf(trusted), signature.scheme, digest, signature.value)
             ? KeyCheck::Valid
             : KeyCheck::Changed;
}
