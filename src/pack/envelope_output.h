#pragma once
// The result encrypted for one recipient: CMS EnvelopedData (RFC 5652) in
// DER, the content key sent with RSA PKCS#1 v1.5 to the recipient's
// certificate, the content in AES-256-CBC. `openssl cms -decrypt -inform
// DER -binary` opens it.
//
// Written as a stream: DER states every length up front, so the head goes
// out with room for 4-byte lengths and is written again at the end. Only a
// result under 16 MiB (shorter lengths) or over 4 GiB (longer ones) has to
// move its content once to fit.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "pack/output_sink.h"
#include "run/certificate.h"
#include "sys/crypto.h"

// The envelope's head for content of cipherSize bytes: everything up to the
// encrypted content, which ends the file.
std::string EnvelopeHead(const std::string& recipientInfos, const std::string& iv,
                         uint64_t cipherSize);

class EnvelopeOutput : public OutputSink {
 public:
  // file: opened for writing and reading ("w+b"), owned from then on.
  EnvelopeOutput(std::FILE* file, const Certificate& recipient);
  ~EnvelopeOutput() override;
  EnvelopeOutput(const EnvelopeOutput&) = delete;
  EnvelopeOutput& operator=(const EnvelopeOutput&) = delete;

  bool Write(const void* bytes, size_t size) override;
  bool Flush() override;
  bool Close() override;

 private:
  bool EncryptPending(bool last);
  bool MoveContent(uint64_t from, uint64_t to);

  std::FILE* file_;
  bool failed_ = false;
  sys::AesCbcEncryptor cipher_;
  std::string recipientInfos_, iv_;
  uint64_t reservedHead_ = 0;
  uint64_t cipherSize_ = 0;
  std::string pending_;
  std::string encrypted_;
};
