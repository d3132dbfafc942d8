#pragma once
// What the program needs from an X.509 certificate: who it names, whom it
// was issued by (an envelope names its recipient that way), and its public
// key, RSA or EC P-256. Read with the bounds-checked DER reader; a
// certificate it cannot read is refused, never half-used.

#include <string>

struct Certificate {
  enum class KeyKind { Rsa, EcP256 };
  std::string der;            // the whole certificate
  std::string issuer;         // the issuer Name, as encoded
  std::string serial;         // the serial number INTEGER, as encoded
  std::string subject;        // readable: "C=DE, O=Acme, CN=Acme Scripts"
  std::string publicKeyInfo;  // SubjectPublicKeyInfo, as encoded
  KeyKind kind = KeyKind::Rsa;
  std::string modulus, exponent;  // RSA, big-endian without leading zeros
  std::string ecX, ecY;           // P-256, 32 bytes each
};

// False (*out unspecified) for anything but a well-formed certificate with
// an RSA key of 2048 bits or more or an EC P-256 key.
bool ParseCertificate(const std::string& der, Certificate* out);

// The readable form of an encoded Name.
std::string NameText(const std::string& name);
