#include "run/signature.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "sys/file_system.h"

namespace {

// The letters that stand for "0123456789ABCDEF", in that order. Fixed
// forever: every signed script and file list in the field carries tokens
// written with this table, so changing a letter invalidates all of them.
// None of the letters is a hexadecimal digit or the "X" of a foreign
// character, so a token can never be mistaken for plain hexadecimal.
constexpr char kSignatureAlphabet[] = "MZHQKTWGRPJVNLSY";
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr size_t kTokenLength = 9;  // "_" + eight letters

struct Places {
  size_t first;
  size_t last;
};

// The text qualifies when its first ">" is not its first character and a
// later ">" exists.
bool FindPlaces(const std::string& text, Places* places) {
  const size_t first = text.find('>');
  const size_t last = text.rfind('>');
  if (first == std::string::npos || first < 1 || last <= first) return false;
  *places = {first, last};
  return true;
}

bool FirstTokenInPlace(const std::string& text, const Places& places) {
  if (places.first < kTokenLength) return false;
  return text.rfind('_', places.first - 1) == places.first - kTokenLength;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ReadTextFile(std::string* text, const std::string& path) {
  text->clear();
  if (path.empty() || !sys::ReadWholeFile(path, text)) {
    text->clear();
    return false;
  }
  const size_t zero = text->find('\0');
  if (zero != std::string::npos) text->resize(zero);
  return true;
}

bool WriteTextFile(const std::string& text, const std::string& path) {
  if (text.empty() || path.empty()) return false;
  // "r+" opens for writing at the start without creating or truncating.
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(sys::SystemPath(path).c_str(), "r+b"));
  if (!file) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  return std::fclose(file.release()) == 0 && written;
}

uint32_t ReadSignature(const std::string& text) {
  Places places;
  if (!FindPlaces(text, &places) || !FirstTokenInPlace(text, places)) return 0;
  std::string token = text.substr(places.first - 8, 8);
  DecodeSignature(&token);
  // As "%lx" reads it: hexadecimal digits up to the first other character.
  uint32_t value = 0;
  size_t digits = 0;
  for (; digits < token.size(); ++digits) {
    const char* digit = std::strchr(kHexDigits, token[digits]);
    if (token[digits] == '\0' || digit == nullptr) break;
    value = value * 16 + static_cast<uint32_t>(digit - kHexDigits);
  }
  return digits == 0 ? 0 : value;
}

bool StripSignature(std::string* text) {
  Places places;
  if (!FindPlaces(*text, &places) || !FirstTokenInPlace(*text, places)) return false;
  // The second token must be a copy of the first and must not overlap it:
  // removing it unread would let the bytes before the last ">" change
  // without the check noticing.
  if (places.last - places.first <= kTokenLength ||
      text->compare(places.last - kTokenLength, kTokenLength, *text, places.first - kTokenLength,
                    kTokenLength) != 0) {
    return false;
  }
  text->erase(places.last - kTokenLength, kTokenLength);
  text->erase(places.first - kTokenLength, kTokenLength);
  return true;
}

uint32_t TextCrc(const std::string& text) {
  uLong crc = crc32(0L, Z_NULL, 0);
  const auto* bytes = reinterpret_cast<const Bytef*>(text.data());
  size_t left = text.size();
  while (left > 0) {
    const uInt chunk = left > (1u << 30) ? (1u << 30) : static_cast<uInt>(left);
    crc = crc32(crc, bytes, chunk);
    bytes += chunk;
    left -= chunk;
  }
  return static_cast<uint32_t>(crc);
}

bool InsertSignature(std::string* text, uint32_t value) {
  Places places;
  if (!FindPlaces(*text, &places)) return false;
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08lX", static_cast<unsigned long>(value));
  std::string token = digits;
  EncodeSignature(&token);
  token.insert(0, 1, '_');
  // The later place first, so that the earlier one is still where it was.
  text->insert(places.last, token);
  text->insert(places.first, token);
  return true;
}

void EncodeSignature(std::string* token) {
  for (char& c : *token) {
    const char* digit = c == '\0' ? nullptr : std::strchr(kHexDigits, c);
    c = digit ? kSignatureAlphabet[digit - kHexDigits] : 'X';
  }
}

void DecodeSignature(std::string* token) {
  for (char& c : *token) {
    const char* letter = c == '\0' ? nullptr : std::strchr(kSignatureAlphabet, c);
    c = letter ? kHexDigits[letter - kSignatureAlphabet] : 'X';
  }
}

bool CheckSignature(const std::string& text) {
  std::string copy = text;
  const uint32_t stored = ReadSignature(copy);
  StripSignature(&copy);
  return stored == TextCrc(copy);
}
