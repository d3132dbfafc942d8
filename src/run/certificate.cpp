#include "run/certificate.h"

#include "run/der.h"

namespace {

const unsigned char kRsaOid[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01};
const unsigned char kEcOid[] = {0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01};
const unsigned char kP256Oid[] = {0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07};

template <size_t N>
bool Is(const der::Item& item, const unsigned char (&oid)[N]) {
  if (item.tag != der::kOid || item.size != N) return false;
  for (size_t i = 0; i < N; ++i)
    if (item.content[i] != oid[i]) return false;
  return true;
}

// A positive INTEGER without its sign byte.
bool Unsigned(const der::Item& item, std::string* out) {
  if (item.tag != der::kInteger || item.size == 0 || (item.content[0] & 0x80)) return false;
  size_t skip = 0;
  while (skip + 1 < item.size && item.content[skip] == 0) ++skip;
  *out = std::string(reinterpret_cast<const char*>(item.content + skip), item.size - skip);
  return true;
}

std::string AttributeName(const der::Item& oid) {
  // 2.5.4.N, the attribute types that names use in practice.
  if (oid.size == 3 && oid.content[0] == 0x55 && oid.content[1] == 0x04) {
    switch (oid.content[2]) {
      case 3:
        return "CN";
      case 6:
        return "C";
      case 7:
        return "L";
      case 8:
        return "ST";
      case 10:
        return "O";
      case 11:
        return "OU";
      default:
        break;
    }
  }
  std::string text;
  unsigned long value = 0;
  for (size_t i = 0; i < oid.size; ++i) {
    value = (value << 7) | (oid.content[i] & 0x7f);
    if (oid.content[i] & 0x80) continue;
    if (text.empty())
      text = value < 80 ? std::to_string(value / 40) + "." + std::to_string(value % 40)
                        : "2." + std::to_string(value - 80);
    else
      text += "." + std::to_string(value);
    value = 0;
  }
  return text.empty() ? "?" : text;
}

bool ReadKey(const der::Item& spki, Certificate* out) {
  der::Reader fields(spki);
  der::Item algorithm, bits;
  if (!fields.Expect(der::kSequence, &algorithm) || !fields.Expect(der::kBitString, &bits) ||
      bits.size < 2 || bits.content[0] != 0)
    return false;
  der::Reader alg(algorithm);
  der::Item oid, parameter;
  if (!alg.Expect(der::kOid, &oid)) return false;
  der::Reader key(bits.content + 1, bits.size - 1);
  if (Is(oid, kRsaOid)) {
    der::Item rsa, n, e;
    if (!key.Expect(der::kSequence, &rsa)) return false;
    der::Reader numbers(rsa);
    if (!numbers.Next(&n) || !numbers.Next(&e) || !Unsigned(n, &out->modulus) ||
        !Unsigned(e, &out->exponent))
      return false;
    out->kind = Certificate::KeyKind::Rsa;
    return out->modulus.size() >= 256 && out->modulus.size() <= 2048 && out->exponent.size() <= 8;
  }
  if (Is(oid, kEcOid) && alg.Next(&parameter) && Is(parameter, kP256Oid)) {
    if (bits.size != 66 || bits.content[1] != 0x04) return false;  // uncompressed point
    const char* point = reinterpret_cast<const char*>(bits.content + 2);
    out->ecX.assign(point, 32);
    out->ecY.assign(point + 32, 32);
    out->kind = Certificate::KeyKind::EcP256;
    return true;
  }
  return false;
}

}  // namespace

std::string NameText(const std::string& name) {
  std::string text;
  der::Reader outer(reinterpret_cast<const unsigned char*>(name.data()), name.size());
  der::Item sequence, set, pair, oid, value;
  if (!outer.Expect(der::kSequence, &sequence)) return text;
  der::Reader sets(sequence);
  while (sets.Expect(der::kSet, &set)) {
    der::Reader pairs(set);
    while (pairs.Expect(der::kSequence, &pair)) {
      der::Reader fields(pair);
      if (!fields.Expect(der::kOid, &oid) || !fields.Next(&value)) continue;
      if (!text.empty()) text += ", ";
      text += AttributeName(oid) + "=";
      for (size_t i = 0; i < value.size; ++i) {
        const unsigned char c = value.content[i];
        text += c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c);
      }
    }
  }
  return text;
}

bool ParseCertificate(const std::string& bytes, Certificate* out) {
  der::Reader file(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  der::Item certificate, tbs, item, issuer, subject, spki;
  if (!file.Expect(der::kSequence, &certificate) || !file.AtEnd()) return false;
  der::Reader outer(certificate);
  if (!outer.Expect(der::kSequence, &tbs)) return false;
  der::Reader fields(tbs);
  unsigned char tag = 0;
  if (fields.PeekTag(&tag) && tag == 0xa0 && !fields.Next(&item)) return false;  // version
  if (!fields.Expect(der::kInteger, &item)) return false;
  out->serial = item.Whole();
  if (!fields.Expect(der::kSequence, &item) || !fields.Expect(der::kSequence, &issuer) ||
      !fields.Expect(der::kSequence, &item) || !fields.Expect(der::kSequence, &subject) ||
      !fields.Expect(der::kSequence, &spki))
    return false;
  out->der = bytes;
  out->issuer = issuer.Whole();
  out->subject = NameText(subject.Whole());
  out->publicKeyInfo = spki.Whole();
  return ReadKey(spki, out);
}
