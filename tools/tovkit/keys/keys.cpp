#include "keys.h"

#include <cctype>

#include "input_file.h"
#include "run/bytes.h"
#include "sys/crypto.h"

namespace tovkit {

const char kNeedsOpenSsl[] =
    "this needs a private key, which this build of tovkit cannot use (it has no OpenSSL): "
    "use the Linux tovkit";

std::string CertificateFingerprint(const std::string& der) {
  std::string digest;
  if (!sys::Sha256(der, &digest)) return "(no SHA-256 here)";
  const std::string text = HexText(digest);
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    if (!out.empty()) out += ':';
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    out += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
  }
  return out;
}

// PEM is base64 between its armour lines; anything else is taken as DER.
bool ReadCertificateFile(const std::string& path, Certificate* out, std::string* error) {
  std::string bytes, why;
  if (!ReadInputFile(path, &bytes, &why)) {
    *error = path + ": " + why;
    return false;
  }
  const std::string begin = "-----BEGIN CERTIFICATE-----";
  const size_t start = bytes.find(begin);
  size_t count = 0;
  for (size_t at = start; at != std::string::npos; at = bytes.find(begin, at + 1)) ++count;
  if (count > 1) {
    *error = path + ": holds " + std::to_string(count) +
             " certificates; give a file with only the one meant";
    return false;
  }
  if (start == std::string::npos && bytes.find("PRIVATE KEY-----") != std::string::npos) {
    *error = path + ": is a private key, not a certificate; give the certificate (ORG-CERT.pem)";
    return false;
  }
  if (start != std::string::npos) {
    const size_t end = bytes.find("-----END CERTIFICATE-----", start);
    std::string base64;
    for (size_t i = start + begin.size(); i < end && i < bytes.size(); ++i)
      if (bytes[i] != '\r' && bytes[i] != '\n' && bytes[i] != ' ' && bytes[i] != '\t')
        base64 += bytes[i];
    if (end == std::string::npos || !Base64Decode(base64, &bytes)) {
      *error = path + ": damaged PEM certificate";
      return false;
    }
  }
  if (!ParseCertificate(bytes, out)) {
    *error = path + ": not a certificate with an RSA key of 2048 bits or more or an EC P-256 key";
    return false;
  }
  return true;
}

}  // namespace tovkit
