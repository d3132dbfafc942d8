#pragma once
// What needs a private key: signing scripts and opening encrypted results.
// OpenSSL does it; a tovkit built without OpenSSL (tovkit.exe) says so.

#include <cstdio>
#include <string>

#include "run/certificate.h"
#include "run/key_signature.h"

namespace tovkit {

extern const char kNeedsOpenSsl[];
// False in a build without OpenSSL.
extern const bool kHasPrivateKeys;

// A certificate from a PEM or DER file; false with *error saying why.
bool ReadCertificateFile(const std::string& path, Certificate* out, std::string* error);

// The one name a certificate goes by everywhere in the kit: its SHA-256
// in upper-case hex pairs, "AB:CD:...", as `openssl x509 -fingerprint
// -sha256` prints it.
std::string CertificateFingerprint(const std::string& der);

// Signs message (SHA-256) with the PEM private key at keyPath, which must
// belong to certificate: RSA PKCS#1 v1.5 (or PSS) or ECDSA P-256.
bool SignWithKey(const std::string& keyPath, const Certificate& certificate, bool pss,
                 const std::string& message, KeySignature* out, std::string* error);

}  // namespace tovkit
