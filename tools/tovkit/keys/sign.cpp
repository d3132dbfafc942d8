#include "sign.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "input_file.h"
#include "keys.h"
#include "run/key_signature.h"
#include "run/signature.h"
#include "run/text.h"
#include "sys/file_system.h"

namespace tovkit {

namespace {

const char kSignHelp[] =
    "usage: tovkit sign [--key ORG-KEY.pem --cert ORG-CERT.pem [--pss]] FILE...\n"
    "\n"
    "Signs each script (or FileList.csv) in place, as brindle.exe expects:\n"
    "the text's CRC-32 as a token before its first and its last '>'. A file\n"
    "that is signed already gets fresh tokens in place of the old ones. A file\n"
    "without a '>' after its first character and another one after that\n"
    "cannot be signed and is left unchanged.\n"
    "\n"
    "With --key and --cert the script is also signed with the organisation's\n"
    "key (SHA-256; RSA PKCS#1 v1.5, or PSS with --pss, or ECDSA P-256), in a\n"
    "first line that copies branded with that certificate require (tovkit\n"
    "brand); unbranded copies skip it and check the CRC-32 as before.\n";

const char kVerifyHelp[] =
    "usage: tovkit verify [--cert ORG-CERT.pem] FILE...\n"
    "\n"
    "Checks each script (or FileList.csv) as brindle.exe does, one line per\n"
    "file: OK, or BAD with the stored and the computed check value. Exit\n"
    "status 0 only when every file is OK. A key signature is reported too;\n"
    "with --cert it must verify against that certificate, as a branded copy\n"
    "checks it.\n";

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

// "_" and eight letters of the signature alphabet end at `end`.
bool TokenBefore(const std::string& text, size_t end) {
  if (end < 9 || text[end - 9] != '_') return false;
  std::string token = text.substr(end - 8, 8);
  DecodeSignature(&token);
  return token.find('X') == std::string::npos;
}

// Takes out whatever tokens an earlier signing left, so that a second
// signing never stacks new tokens onto old ones. Tokens that no longer
// match each other (a hand-edited file) are removed one by one.
void RemoveOldTokens(std::string* text) {
  if (StripSignature(text)) return;
  const size_t first = text->find('>');
  const size_t last = text->rfind('>');
  if (first == std::string::npos || !TokenBefore(*text, first)) return;
  if (last > first + 9 && TokenBefore(*text, last)) text->erase(last - 9, 9);
  text->erase(first - 9, 9);
}

struct KeyOptions {
  std::string key, cert;
  bool pss = false;
  Certificate certificate;
};

// The key signature line first, over the rest of the text, which is what a
// branded copy checks once the CRC tokens are out.
bool AddKeySignature(const KeyOptions& options, std::string* text, std::string* error) {
  KeySignature old;
  std::string body;
  bool present = false;
  if (!ParseKeySignature(*text, &old, &body, &present)) {
    if (present) {
      *error = "begins with a damaged key signature line; remove it first";
      return false;
    }
    body = *text;
  }
  KeySignature signature;
  if (body.find('>') == std::string::npos) {
    *error = "has no '>' to put the key signature after";
    return false;
  }
  if (!SignWithKey(options.key, options.certificate, options.pss, body, &signature, error))
    return false;
  *text = WithKeySignature(body, signature);
  return true;
}

int SignOne(const std::string& path, const KeyOptions* keyed, std::ostream& out,
            std::ostream& err) {
  std::string bytes, why;
  if (!ReadInputFile(path, &bytes, &why)) {
    err << path << ": " << why << "\n";
    return 1;
  }
  if (bytes.find('\0') != std::string::npos) {
    err << path << ": holds a zero byte, where brindle.exe stops reading; left unchanged\n";
    return 1;
  }
  std::string text = bytes;
  RemoveOldTokens(&text);
  std::string error;
  if (keyed != nullptr && !AddKeySignature(*keyed, &text, &error)) {
    err << path << ": " << error << "; left unchanged\n";
    return 1;
  }
  const uint32_t value = TextCrc(text);
  if (!InsertSignature(&text, value)) {
    err << path
        << ": cannot be signed: it needs a '>' after its first character and another one "
           "after that; left unchanged\n";
    return 1;
  }
  if (text == bytes) {
    out << path << ": signed already, " << CrcText(value) << "\n";
    return 0;
  }
  // A new file takes the script's name: a link there would otherwise carry
  // the signed text to wherever it points.
  std::error_code linkError;
  if (std::filesystem::is_symlink(path, linkError)) {
    err << path << ": is a link; sign the file it points to; left unchanged\n";
    return 1;
  }
  if (!WriteOutputFile(path, text, true, &why)) {
    err << path << ": " << why << "; left unchanged\n";
    return 1;
  }
  out << path << ": signed, " << CrcText(value)
      << (keyed != nullptr
              ? ", and with the key of " + CertificateFingerprint(keyed->certificate.der)
              : std::string())
      << "\n";
  return 0;
}

// What the key signature of a CRC-stripped text says, for verify and lint;
// *good tells whether a branded copy with `trusted` (if given) runs it.
std::string KeySignatureNote(const std::string& text, const Certificate* trusted, bool* good) {
  KeySignature signature;
  std::string body;
  bool present = false;
  *good = trusted == nullptr;
  if (!ParseKeySignature(text, &signature, &body, &present))
    return present ? "key signature damaged" : trusted != nullptr ? "no key signature" : "";
  const std::string note = std::string("key signature ") + SchemeName(signature.scheme);
  if (trusted == nullptr) return note + ", not checked (give --cert ORG-CERT.pem)";
  const std::string key = CertificateFingerprint(trusted->der);
  switch (CheckKeySignature(text, *trusted)) {
    case KeyCheck::Valid:
      *good = true;
      return note + ": verified with " + key;
    case KeyCheck::OtherKey:
      return note + ": made with another key than that of " + key;
    case KeyCheck::Changed:
      return note + ": changed after signing with " + key;
    default:
      return note + ": cannot be checked";
  }
}

}  // namespace

int Sign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (WantsHelp(args)) {
    out << kSignHelp;
    return 0;
  }
  KeyOptions options;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--key" && i + 1 < args.size()) {
      options.key = args[++i];
    } else if (args[i] == "--cert" && i + 1 < args.size()) {
      options.cert = args[++i];
    } else if (args[i] == "--pss") {
      options.pss = true;
    } else if (!args[i].empty() && args[i][0] == '-') {
      err << kSignHelp;
      return 2;
    } else {
      files.push_back(args[i]);
    }
  }
  const bool keyed = !options.key.empty() || !options.cert.empty() || options.pss;
  if (files.empty() || (keyed && (options.key.empty() || options.cert.empty()))) {
    err << kSignHelp;
    return 2;
  }
  std::string error;
  if (keyed && !ReadCertificateFile(options.cert, &options.certificate, &error)) {
    err << "tovkit sign: " << error << "\n";
    return 1;
  }
  int status = 0;
  for (const std::string& path : files) {
    if (SignOne(path, keyed ? &options : nullptr, out, err) != 0) status = 1;
  }
  return status;
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (WantsHelp(args)) {
    out << kVerifyHelp;
    return 0;
  }
  std::string certPath;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--cert" && i + 1 < args.size()) {
      certPath = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      err << kVerifyHelp;
      return 2;
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.empty()) {
    err << kVerifyHelp;
    return 2;
  }
  Certificate trusted;
  std::string error;
  if (!certPath.empty() && !ReadCertificateFile(certPath, &trusted, &error)) {
    err << "tovkit verify: " << error << "\n";
    return 2;
  }
  int status = 0;
  for (const std::string& path : files) {
    std::string text, why;
    if (!ReadInputFile(path, &text, &why)) {
      out << "BAD " << path << ": " << why << "\n";
      status = 1;
      continue;
    }
    text.resize(std::min(text.size(), text.find('\0')));  // read as brindle.exe reads it
    const uint32_t stored = ReadSignature(text);
    StripSignature(&text);
    const uint32_t computed = TextCrc(text);
    bool keyGood = true;
    const std::string note =
        KeySignatureNote(text, certPath.empty() ? nullptr : &trusted, &keyGood);
    const std::string suffix = note.empty() ? "" : " (" + note + ")";
    if (stored == computed && keyGood) {
      out << "OK  " << path << suffix << "\n";
    } else if (stored == computed) {
      out << "BAD " << path << ": " << note << "\n";
      status = 1;
    } else {
      out << "BAD " << path << ": stored " << CrcText(stored) << ", computed " << CrcText(computed)
          << suffix << "\n";
      status = 1;
    }
  }
  return status;
}

}  // namespace tovkit
