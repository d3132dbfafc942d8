#include "keys.h"

#include "input_file.h"

namespace tovkit {

const char kNeedsOpenSsl[] =
    "this needs a private key, which this build of tovkit cannot use (it has no OpenSSL): "
    "use the Linux tovkit";

// PEM is base64 between its armour lines; anything else is taken as DER.
bool ReadCertificateFile(const std::string& path, Certificate* out, std::string* error) {
  std::string bytes, why;
  if (!ReadInputFile(path, &bytes, &why)) {
    *error = path + ": " + why;
    return false;
  }
  const std::string begin = "-----BEGIN CERTIFICATE-----";
  const size_t start = bytes.find(begin);
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
