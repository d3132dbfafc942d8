#include "pack/envelope_output.h"

#include <algorithm>

#include "run/der.h"
#include "run/key_signature.h"
#include "sys/open_file.h"

namespace {

const char kEnvelopedDataOid[] = "\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x03";
const char kDataOid[] = "\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x01";
const char kAes256CbcOid[] = "\x06\x09\x60\x86\x48\x01\x65\x03\x04\x01\x2a";
const char kRsaEncryption[] = "\x30\x0d\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x01\x05\x00";
const std::string kVersion0("\x02\x01\x00", 3);
constexpr size_t kChunk = 64 * 1024;
// Content from this size on has 4-byte lengths, as the head reserves.
constexpr uint64_t kReservedCipherSize = uint64_t{1} << 24;

std::string Literal(const char* bytes, size_t size) { return std::string(bytes, size - 1); }

// KeyTransRecipientInfo, version 0: the certificate by issuer and serial.
std::string RecipientInfos(const Certificate& recipient, const std::string& encryptedKey) {
  const std::string issuerAndSerial =
      der::Wrap(der::kSequence, recipient.issuer + recipient.serial);
  return der::Wrap(der::kSet,
                   der::Wrap(der::kSequence, kVersion0 + issuerAndSerial +
                                                 Literal(kRsaEncryption, sizeof kRsaEncryption) +
                                                 der::Wrap(der::kOctetString, encryptedKey)));
}

}  // namespace

std::string EnvelopeHead(const std::string& recipientInfos, const std::string& iv,
                         uint64_t cipherSize) {
  const std::string contentPrefix =
      Literal(kDataOid, sizeof kDataOid) +
      der::Wrap(der::kSequence,
                Literal(kAes256CbcOid, sizeof kAes256CbcOid) + der::Wrap(der::kOctetString, iv));
  const std::string contentHead = der::Head(0x80, cipherSize);  // [0] IMPLICIT OCTET STRING
  const uint64_t contentInfoSize = contentPrefix.size() + contentHead.size() + cipherSize;
  const std::string contentInfoHead =
      der::Head(der::kSequence, contentInfoSize) + contentPrefix + contentHead;
  const uint64_t envelopedSize =
      kVersion0.size() + recipientInfos.size() + contentInfoHead.size() + cipherSize;
  const std::string envelopedHead =
      der::Head(der::kSequence, envelopedSize) + kVersion0 + recipientInfos + contentInfoHead;
  const uint64_t explicitSize = envelopedHead.size() + cipherSize;
  const std::string explicitHead = der::Head(0xa0, explicitSize);
  const std::string oid = Literal(kEnvelopedDataOid, sizeof kEnvelopedDataOid);
  return der::Head(der::kSequence, oid.size() + explicitHead.size() + explicitSize) + oid +
         explicitHead + envelopedHead;
}

EnvelopeOutput::EnvelopeOutput(std::FILE* file, const Certificate& recipient) : file_(file) {
  std::string key, encryptedKey;
  failed_ = file_ == nullptr || !sys::RandomBytes(32, &key) || !sys::RandomBytes(16, &iv_) ||
            !sys::RsaPkcs1Encrypt(PublicKeyOf(recipient), key, &encryptedKey) ||
            !cipher_.Start(key, iv_);
  if (failed_) return;
  recipientInfos_ = RecipientInfos(recipient, encryptedKey);
  const std::string head = EnvelopeHead(recipientInfos_, iv_, kReservedCipherSize);
  reservedHead_ = head.size();
  // Provisional lengths until Close; a run cut short still leaves the
  // content key in the file, for whoever has to recover what was written.
  failed_ = std::fwrite(head.data(), 1, head.size(), file_) != head.size();
}

EnvelopeOutput::~EnvelopeOutput() {
  if (file_ != nullptr) std::fclose(file_);
}

bool EnvelopeOutput::Write(const void* bytes, size_t size) {
  if (failed_) return false;
  pending_.append(static_cast<const char*>(bytes), size);
  if (pending_.size() >= kChunk) EncryptPending(false);
  return !failed_;
}

bool EnvelopeOutput::Flush() {
  return !failed_ && EncryptPending(false) && std::fflush(file_) == 0;
}

// Whole blocks go out; the rest waits. The last call adds PKCS#7 padding.
bool EnvelopeOutput::EncryptPending(bool last) {
  if (last)
    pending_.append(16 - pending_.size() % 16, static_cast<char>(16 - pending_.size() % 16));
  const size_t size = pending_.size() - pending_.size() % 16;
  if (size == 0) return true;
  encrypted_.resize(size);
  unsigned char* out = reinterpret_cast<unsigned char*>(&encrypted_[0]);
  if (!cipher_.Encrypt(reinterpret_cast<const unsigned char*>(pending_.data()), size, out) ||
      std::fwrite(out, 1, size, file_) != size) {
    failed_ = true;
    return false;
  }
  cipherSize_ += size;
  pending_.erase(0, size);
  return true;
}

// Copies the content within the file, in chunks, from the end when it
// moves back so that nothing is overwritten before it is read.
bool EnvelopeOutput::MoveContent(uint64_t from, uint64_t to) {
  std::string buffer(kChunk, '\0');
  for (uint64_t done = 0; done < cipherSize_;) {
    const size_t size = static_cast<size_t>(std::min<uint64_t>(kChunk, cipherSize_ - done));
    const uint64_t at = to < from ? done : cipherSize_ - done - size;
    if (!sys::SeekFile(file_, from + at) || std::fread(&buffer[0], 1, size, file_) != size ||
        !sys::SeekFile(file_, to + at) || std::fwrite(buffer.data(), 1, size, file_) != size)
      return false;
    done += size;
  }
  return to >= from || sys::TruncateFile(file_, to + cipherSize_);
}

bool EnvelopeOutput::Close() {
  if (file_ == nullptr) return false;
  bool ok = !failed_ && EncryptPending(true);
  if (ok) {
    const std::string head = EnvelopeHead(recipientInfos_, iv_, cipherSize_);
    ok = (head.size() == reservedHead_ || MoveContent(reservedHead_, head.size())) &&
         sys::SeekFile(file_, 0) && std::fwrite(head.data(), 1, head.size(), file_) == head.size();
  }
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok && closed;
}
