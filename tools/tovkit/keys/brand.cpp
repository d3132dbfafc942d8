#include "brand.h"

#include <cctype>
#include <cstdint>

#include "input_file.h"
#include "keys.h"
#include "run/brand.h"
#include "run/bytes.h"
#include "sys/crypto.h"
#include "sys/file_system.h"

namespace tovkit {

namespace {

const char kUsage[] =
    "usage: tovkit brand BRINDLE.EXE --trust ORG-CERT.pem [--encrypt-to RECIPIENT-CERT.pem]\n"
    "                    -o OUT.exe\n"
    "       tovkit brand --show BRINDLE.EXE\n"
    "\n"
    "Writes a copy of brindle.exe that runs only scripts signed with the key of\n"
    "ORG-CERT (tovkit sign --key) and, with --encrypt-to, writes its result\n"
    "encrypted for RECIPIENT-CERT (RESULT.tgz.p7m; tovkit decrypt). Sign the\n"
    "copy with Authenticode afterwards, if at all. --show prints what a copy\n"
    "carries.\n";

struct PeFields {
  size_t checksum = 0;      // offset of the optional header's CheckSum
  bool signedCode = false;  // an Authenticode signature is attached
};

// Where the checksum lives and whether a signature is attached; false for
// a file that is not a PE image.
bool ReadPe(const std::string& file, PeFields* out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
  if (file.size() < 0x40 || file.compare(0, 2, "MZ") != 0) return false;
  const size_t pe = ReadLittle32(bytes, 0x3c);
  if (pe > file.size() || file.size() - pe < 24 + 2 ||
      file.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
    return false;
  const size_t optional = pe + 24;
  const uint16_t magic = ReadLittle16(bytes, optional);
  const size_t directories = optional + (magic == 0x20b ? 112 : 96);
  if (magic != 0x10b && magic != 0x20b) return false;
  if (file.size() < directories + 5 * 8) return false;
  out->checksum = optional + 64;
  out->signedCode = ReadLittle32(bytes, directories + 4 * 8 + 4) != 0;
  return true;
}

// False for a certificate that cannot be read.
bool Describe(std::ostream& out, const char* role, const std::string& der) {
  Certificate certificate;
  if (!ParseCertificate(der, &certificate)) {
    out << role << ": unreadable certificate\n";
    return false;
  }
  out << role << ": " << certificate.subject << "\n"
      << "  key: "
      << (certificate.kind == Certificate::KeyKind::EcP256
              ? std::string("EC P-256")
              : "RSA " + std::to_string(certificate.modulus.size() * 8))
      << "\n  SHA256 Fingerprint=" << CertificateFingerprint(der) << "\n";
  return true;
}

int Show(const std::string& path, std::ostream& out, std::ostream& err) {
  std::string file;
  size_t offset = 0;
  std::string why;
  if (!ReadInputFile(path, &file, &why)) {
    err << "tovkit brand: " << path << ": " << why << "\n";
    return 2;
  }
  if (!FindBrandBlock(file, &offset)) {
    err << "tovkit brand: " << path << " has no brand block (not brindle.exe?)\n";
    return 1;
  }
  BrandCertificates certificates;
  if (!ParseBrandBlock(reinterpret_cast<const unsigned char*>(file.data()) + offset,
                       file.size() - offset, &certificates)) {
    out << path << ": brand block damaged: this copy runs no script\n";
    return 1;
  }
  if (certificates.trust.empty() && certificates.recipient.empty()) {
    out << path << ": unbranded\n";
    return 0;
  }
  out << path << ": branded\n";
  bool readable = true;
  if (!certificates.trust.empty())
    readable = Describe(out, "runs scripts signed by", certificates.trust);
  if (!certificates.recipient.empty())
    readable = Describe(out, "encrypts results for", certificates.recipient) && readable;
  if (!readable) {
    err << "tovkit brand: " << path << ": a certificate of its brand block cannot be read\n";
    return 1;
  }
  return 0;
}

}  // namespace

uint32_t PeChecksum(const std::string& file, size_t checksumOffset) {
  uint64_t sum = 0;
  for (size_t i = 0; i < file.size(); i += 2) {
    if (i >= checksumOffset && i < checksumOffset + 4) continue;
    uint32_t word = static_cast<unsigned char>(file[i]);
    if (i + 1 < file.size())
      word |= static_cast<uint32_t>(static_cast<unsigned char>(file[i + 1])) << 8;
    sum += word;
    sum = (sum & 0xffff) + (sum >> 16);
  }
  sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<uint32_t>(sum + file.size());
}

int Brand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string program, trust, recipient, output;
  bool show = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--help" || arg == "-h") {
      out << kUsage;
      return 0;
    } else if (arg == "--show") {
      show = true;
    } else if (arg == "--trust" && hasValue) {
      // The brand block holds one certificate to trust: a second one is
      // refused rather than one of them dropped.
      if (!trust.empty()) {
        err << "tovkit brand: a copy trusts one certificate; --trust is given more than once\n";
        return 2;
      }
      trust = args[++i];
    } else if (arg == "--encrypt-to" && hasValue) {
      recipient = args[++i];
    } else if (arg == "-o" && hasValue) {
      output = args[++i];
    } else if (!arg.empty() && arg[0] != '-' && program.empty()) {
      program = arg;
    } else {
      err << kUsage;
      return 2;
    }
  }
  if (show && !program.empty() && trust.empty() && recipient.empty() && output.empty())
    return Show(program, out, err);
  if (show || program.empty() || trust.empty() || output.empty()) {
    err << kUsage;
    return 2;
  }
  const std::string folder = FolderOfOutput(output);
  if (!sys::FolderExists(folder)) {
    err << "tovkit brand: " << output << ": its folder " << folder << " does not exist\n";
    return 2;
  }
  if (IsOneOfInputs(output, {program, trust, recipient})) {
    err << "tovkit brand: the copy would overwrite its input " << output << "\n";
    return 2;
  }
  std::string file, error, why;
  BrandCertificates certificates;
  Certificate parsed;
  if (!ReadCertificateFile(trust, &parsed, &error)) {
    err << "tovkit brand: " << error << "\n";
    return 1;
  }
  certificates.trust = parsed.der;
  if (!recipient.empty()) {
    if (!ReadCertificateFile(recipient, &parsed, &error)) {
      err << "tovkit brand: " << error << "\n";
      return 1;
    }
    if (parsed.kind != Certificate::KeyKind::Rsa) {
      err << "tovkit brand: " << recipient << ": results are encrypted to RSA keys only\n";
      return 1;
    }
    certificates.recipient = parsed.der;
  }
  size_t offset = 0;
  PeFields pe;
  std::string block;
  if (!ReadInputFile(program, &file, &why)) {
    err << "tovkit brand: " << program << ": " << why << "\n";
    return 1;
  }
  if (!ReadPe(file, &pe) || !FindBrandBlock(file, &offset)) {
    err << "tovkit brand: " << program << " is not a brindle.exe with a brand block\n";
    return 1;
  }
  if (pe.signedCode) {
    err << "tovkit brand: " << program
        << " carries an Authenticode signature, which branding would break: brand the "
           "unsigned program, then sign the copy\n";
    return 1;
  }
  if (!BuildBrandBlock(certificates, &block)) {
    err << "tovkit brand: the certificates do not fit the " << kBrandBlockSize
        << "-byte brand block\n";
    return 1;
  }
  BrandCertificates old;
  if (ParseBrandBlock(reinterpret_cast<const unsigned char*>(file.data()) + offset,
                      file.size() - offset, &old) &&
      (!old.trust.empty() || !old.recipient.empty())) {
    out << program << " is branded already; the copy replaces that brand:\n";
    if (!old.trust.empty()) Describe(out, "  ran scripts signed by", old.trust);
    if (!old.recipient.empty()) Describe(out, "  encrypted results for", old.recipient);
  }
  file.replace(offset, block.size(), block);
  // A checksum of 0 means none; a stated one must stay right.
  const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
  if (ReadLittle32(bytes, pe.checksum) != 0) {
    const uint32_t sum = PeChecksum(file, pe.checksum);
    for (int i = 0; i < 4; ++i) file[pe.checksum + i] = static_cast<char>((sum >> (8 * i)) & 0xff);
  }
  if (!WriteOutputFile(output, file, true, &why)) {
    err << "tovkit brand: " << output << ": " << why << "\n";
    return 1;
  }
  return Show(output, out, err);
}

}  // namespace tovkit
