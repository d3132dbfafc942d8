#pragma once
// A script signed with an organisation's key carries, right after the first
// ">" of its text (its root's start tag), a line the script reader skips as
// markup:
//   CR LF <?brindle-signature key="HEX" alg="NAME" value="BASE64"?>
// There it leaves the checksum tokens where they were, in the root's start
// and end tags. key: SHA-256 of the signer's SubjectPublicKeyInfo, in hex;
// alg: rsa-pkcs1-sha256, rsa-pss-sha256 or ecdsa-p256-sha256; value: the
// signature (ECDSA as r || s) over the rest of the text, which is the
// script without that line and without its checksum tokens.

#include <string>

#include "run/certificate.h"
#include "sys/crypto.h"

struct KeySignature {
  std::string keyId;  // 32 bytes
  sys::SignatureScheme scheme = sys::SignatureScheme::RsaPkcs1Sha256;
  std::string value;
};

// The line in text (checksum tokens already removed), and the signed rest.
// False when the text has no such line in its place; a line that begins
// right but does not parse also gives false, with *present set.
bool ParseKeySignature(const std::string& text, KeySignature* signature, std::string* message,
                       bool* present = nullptr);
// The message with the line put in; "" when it has no ">".
std::string WithKeySignature(const std::string& message, const KeySignature& signature);
const char* SchemeName(sys::SignatureScheme scheme);

enum class KeyCheck { Valid, Missing, OtherKey, Changed, Unusable };
// text: the script with its checksum tokens removed.
KeyCheck CheckKeySignature(const std::string& text, const Certificate& trusted);
// The key id of a certificate: SHA-256 of its SubjectPublicKeyInfo.
bool KeyIdOf(const Certificate& certificate, std::string* id);
sys::PublicKey PublicKeyOf(const Certificate& certificate);

std::string HexText(const std::string& bytes);
std::string Base64Encode(const std::string& bytes);
bool Base64Decode(const std::string& text, std::string* bytes);
