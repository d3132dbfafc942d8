#include "envelope_reader.h"

#include <cstring>

#include "run/certificate.h"
#include "run/der.h"
#include "run/key_signature.h"

namespace tovkit {

namespace {

const unsigned char kEnvelopedData[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x03};
const unsigned char kRsaEncryption[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01};
const unsigned char kRsaOaep[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x07};
const unsigned char kAes256Cbc[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x01, 0x2a};

template <size_t N>
bool IsOid(const der::Item& item, const unsigned char (&oid)[N]) {
  return item.tag == der::kOid && item.size == N && std::memcmp(item.content, oid, N) == 0;
}

bool Fail(std::string* error, const char* why) {
  *error = why;
  return false;
}

// A streamed envelope (`openssl cms -encrypt -stream`): BER with lengths
// left open, which this reader does not take.
bool IsStreamed(const unsigned char* head, size_t size) {
  return size >= 2 + 2 + sizeof kEnvelopedData && head[0] == der::kSequence && head[1] == 0x80 &&
         head[2] == der::kOid && head[3] == sizeof kEnvelopedData &&
         std::memcmp(head + 4, kEnvelopedData, sizeof kEnvelopedData) == 0;
}

// One RecipientInfo; only key transport to an issuer and serial is kept.
void ReadRecipient(const der::Item& info, EnvelopeHead* out, bool* oaep) {
  if (info.tag != der::kSequence) return;  // key agreement, KEK or password
  der::Reader fields(info);
  der::Item version, id, algorithm, key, oid;
  if (!fields.Expect(der::kInteger, &version) || !fields.Next(&id) ||
      !fields.Expect(der::kSequence, &algorithm) || !fields.Expect(der::kOctetString, &key))
    return;
  der::Reader alg(algorithm);
  if (!alg.Expect(der::kOid, &oid)) return;
  if (IsOid(oid, kRsaOaep)) *oaep = true;
  if (!IsOid(oid, kRsaEncryption)) return;
  std::string who = "subject key id";
  if (id.tag == der::kSequence) {
    der::Reader parts(id);
    der::Item issuer, serial;
    if (parts.Expect(der::kSequence, &issuer) && parts.Expect(der::kInteger, &serial))
      who = NameText(issuer.Whole()) + ", serial " + HexText(serial.Content());
  }
  out->encryptedKeys.push_back(key.Content());
  out->recipients.push_back(who);
}

}  // namespace

bool LooksLikeEnvelope(const unsigned char* head, size_t size) {
  if (IsStreamed(head, size)) return true;
  der::Reader reader(head, size);
  uint64_t length = 0;
  der::Item oid;
  return reader.Enter(der::kSequence, &length) && reader.Expect(der::kOid, &oid) &&
         IsOid(oid, kEnvelopedData);
}

bool ReadEnvelopeHead(const unsigned char* head, size_t size, uint64_t fileSize, EnvelopeHead* out,
                      std::string* error) {
  *out = EnvelopeHead();
  if (IsStreamed(head, size)) {
    return Fail(error,
                "streamed (BER) CMS; re-encode it with `openssl cms -cmsout -inform DER "
                "-outform DER`");
  }
  der::Reader reader(head, size);
  uint64_t length = 0;
  der::Item oid, version, item;
  if (!reader.Enter(der::kSequence, &length) || !reader.Expect(der::kOid, &oid) ||
      !IsOid(oid, kEnvelopedData))
    return Fail(error, "not a CMS enveloped-data file");
  if (!reader.Enter(0xa0, &length) || !reader.Enter(der::kSequence, &length) ||
      !reader.Expect(der::kInteger, &version))
    return Fail(error, "damaged envelope (or not in DER)");
  unsigned char tag = 0;
  if (reader.PeekTag(&tag) && tag == 0xa0 && !reader.Next(&item))  // originator info
    return Fail(error, "damaged envelope");
  der::Item recipients;
  if (!reader.Expect(der::kSet, &recipients)) return Fail(error, "damaged recipient list");
  der::Reader each(recipients);
  bool oaep = false;
  while (each.Next(&item)) ReadRecipient(item, out, &oaep);
  if (out->encryptedKeys.empty() && oaep)
    return Fail(error, "RSA-OAEP key transport is not supported");
  if (out->encryptedKeys.empty())
    return Fail(error, "no recipient with an RSA key: tovkit opens only those");
  der::Item contentType, algorithm, algOid, iv;
  if (!reader.Enter(der::kSequence, &length) || !reader.Expect(der::kOid, &contentType) ||
      !reader.Expect(der::kSequence, &algorithm))
    return Fail(error, "damaged content description");
  der::Reader alg(algorithm);
  if (!alg.Expect(der::kOid, &algOid) || !IsOid(algOid, kAes256Cbc) ||
      !alg.Expect(der::kOctetString, &iv) || iv.size != 16)
    return Fail(error, "content not in AES-256-CBC: tovkit opens only that");
  out->iv = iv.Content();
  uint64_t contentSize = 0;
  if (!reader.Enter(0x80, &contentSize))
    return Fail(error, "no encrypted content in one piece (a streamed, BER envelope?)");
  out->contentOffset = static_cast<uint64_t>(reader.Position() - head);
  out->contentSize = contentSize;
  if (contentSize == 0 || contentSize % 16 != 0 || out->contentOffset > fileSize ||
      contentSize > fileSize - out->contentOffset)
    return Fail(error, "encrypted content cut short or damaged");
  return true;
}

}  // namespace tovkit
