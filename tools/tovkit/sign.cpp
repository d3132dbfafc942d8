#include "sign.h"

#include <algorithm>
#include <cstdio>

#include "input_file.h"

#include "run/signature.h"
#include "run/text.h"
#include "sys/file_system.h"

namespace tovkit {

namespace {

const char kSignHelp[] =
    "usage: tovkit sign FILE...\n"
    "\n"
    "Signs each script (or FileList.csv) in place, as brindle.exe expects:\n"
    "the text's CRC-32 as a token before its first and its last '>'. A file\n"
    "that is signed already gets fresh tokens in place of the old ones. A file\n"
    "without a '>' after its first character and another one after that\n"
    "cannot be signed and is left unchanged.\n";

const char kVerifyHelp[] =
    "usage: tovkit verify FILE...\n"
    "\n"
    "Checks each script (or FileList.csv) as brindle.exe does, one line per\n"
    "file: OK, or BAD with the stored and the computed check value. Exit\n"
    "status 0 only when every file is OK.\n";

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

int SignOne(const std::string& path, std::ostream& out, std::ostream& err) {
  std::string bytes, why;
  if (!ReadInputFile(path, &bytes, &why)) {
    err << path << ": cannot be read" << (why.empty() ? "" : ": " + why) << "\n";
    return 1;
  }
  if (bytes.find('\0') != std::string::npos) {
    err << path << ": holds a zero byte, where brindle.exe stops reading; left unchanged\n";
    return 1;
  }
  std::string text = bytes;
  RemoveOldTokens(&text);
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
  // The signed text is never shorter than the file, so writing over it in
  // place (as brindle.exe signs its file list) leaves no old bytes behind.
  const bool written =
      text.size() >= bytes.size() ? WriteTextFile(text, path) : sys::WriteWholeFile(path, text);
  if (!written) {
    err << path << ": cannot be written\n";
    return 1;
  }
  out << path << ": signed, " << CrcText(value) << "\n";
  return 0;
}

}  // namespace

int Sign(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (WantsHelp(args)) {
    out << kSignHelp;
    return 0;
  }
  if (args.empty()) {
    err << kSignHelp;
    return 2;
  }
  int status = 0;
  for (const std::string& path : args) {
    if (SignOne(path, out, err) != 0) status = 1;
  }
  return status;
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (WantsHelp(args)) {
    out << kVerifyHelp;
    return 0;
  }
  if (args.empty()) {
    err << kVerifyHelp;
    return 2;
  }
  int status = 0;
  for (const std::string& path : args) {
    std::string text, why;
    if (!ReadInputFile(path, &text, &why)) {
      out << "BAD " << path << ": cannot be read" << (why.empty() ? "" : ": " + why) << "\n";
      status = 1;
      continue;
    }
    text.resize(std::min(text.size(), text.find('\0')));  // read as brindle.exe reads it
    const uint32_t stored = ReadSignature(text);
    StripSignature(&text);
    const uint32_t computed = TextCrc(text);
    if (stored == computed) {
      out << "OK  " << path << "\n";
    } else {
      out << "BAD " << path << ": stored " << CrcText(stored) << ", computed " << CrcText(computed)
          << "\n";
      status = 1;
    }
  }
  return status;
}

}  // namespace tovkit
