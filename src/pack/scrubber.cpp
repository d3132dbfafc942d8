#include "pack/scrubber.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sys/name_escape.h"

namespace {

struct ByteTables {
  unsigned char fold[256];
  bool word[256];  // ASCII letters and digits; bytes from 0x80 are judged apart
  bool hex[256];
  bool digit[256];
  bool local[256];  // an e-mail address's local part
  bool label[256];  // a label of its domain
  bool punct1252[256];
  ByteTables() {
    for (int c = 0; c < 256; ++c) {
      fold[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      digit[c] = c >= '0' && c <= '9';
      const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      // "_" parts names in file names ("report_jsmith.txt"), so it ends a word.
      word[c] = alpha || digit[c];
      hex[c] = digit[c] || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      label[c] = alpha || digit[c] || c == '-';
      local[c] = label[c] || c == '.' || c == '_' || c == '%' || c == '+';
      // Windows-1252 punctuation and symbols; its letters in this range
      // (Š Œ Ž š œ ž Ÿ ª µ º) stay word bytes.
      punct1252[c] = (c >= 0x80 && c <= 0xBF && c != 0x8A && c != 0x8C && c != 0x8E && c != 0x9A &&
                      c != 0x9C && c != 0x9E && c != 0x9F && c != 0xAA && c != 0xB5 && c != 0xBA) ||
                     c == 0xD7 || c == 0xF7;
    }
  }
};
const ByteTables kT;

inline unsigned char U(char c) { return static_cast<unsigned char>(c); }

// Punctuation beyond ASCII ends a word: "«jsmith»" holds the name.
bool NonWordCodePoint(uint32_t cp) {
  return (cp <= 0xBF && cp != 0xAA && cp != 0xB5 && cp != 0xBA) || cp == 0xD7 || cp == 0xF7 ||
         (cp >= 0x2000 && cp <= 0x206F) || (cp >= 0x3000 && cp <= 0x3003) || cp == 0xFEFF ||
         (cp >= 0xFF01 && cp <= 0xFF0F);
}

std::string Fold(const std::string& text) {
  std::string folded(text);
  for (char& c : folded) c = static_cast<char>(kT.fold[U(c)]);
  return folded;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

int HexValue(unsigned char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

std::string Numbered(const char* pattern, uint32_t number) {
  char text[48];
  std::snprintf(text, sizeof text, pattern, static_cast<unsigned>(number));
  return text;
}

std::string DottedQuad(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", v >> 24, (v >> 16) & 255, (v >> 8) & 255,
                v & 255);
  return text;
}

// Exactly a dotted quad, each part 1-3 digits up to 255.
bool ParseDottedQuad(const char* p, size_t n, uint32_t* value) {
  uint32_t v = 0;
  size_t k = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (k >= n || p[k] != '.') return false;
      ++k;
    }
    uint32_t octet = 0;
    size_t digits = 0;
    while (k < n && kT.digit[U(p[k])] && digits < 3) octet = octet * 10 + (p[k++] - '0'), ++digits;
    if (digits == 0 || octet > 255) return false;
    v = v << 8 | octet;
  }
  *value = v;
  return k == n;
}

bool ParseIpv6(const char* p, size_t n, std::array<uint8_t, 16>* out) {
  uint16_t groups[8] = {};
  int count = 0;
  int gap = -1;
  size_t k = 0;
  if (n >= 2 && p[0] == ':' && p[1] == ':') {
    gap = 0;
    k = 2;
  } else if (n == 0 || p[0] == ':') {
    return false;
  }
  while (k < n) {
    const size_t start = k;
    uint32_t v = 0;
    while (k < n && kT.hex[U(p[k])] && k - start < 5) v = v * 16 + HexValue(U(p[k++]));
    if (k < n && p[k] == '.') {
      uint32_t quad = 0;
      if (count > 6 || !ParseDottedQuad(p + start, n - start, &quad)) return false;
      groups[count++] = static_cast<uint16_t>(quad >> 16);
      groups[count++] = static_cast<uint16_t>(quad);
      k = n;
      break;
    }
    if (k == start || k - start > 4 || count == 8) return false;
    groups[count++] = static_cast<uint16_t>(v);
    if (k == n) break;
    if (p[k] != ':') return false;
    ++k;
    if (k < n && p[k] == ':') {
      if (gap >= 0) return false;
      gap = count;
      ++k;
    } else if (k == n) {
      return false;
    }
  }
  if (gap < 0 ? count != 8 : count > 7) return false;
  uint16_t full[8] = {};
  const int tail = gap < 0 ? 0 : count - gap;
  for (int g = 0; g < count; ++g) {
    const int at = (gap < 0 || g < gap) ? g : 8 - tail + (g - gap);
    full[at] = groups[g];
  }
  for (int g = 0; g < 8; ++g) {
    (*out)[2 * g] = static_cast<uint8_t>(full[g] >> 8);
    (*out)[2 * g + 1] = static_cast<uint8_t>(full[g]);
  }
  return true;
}

// Lower case, the longest run of two or more zero groups as "::".
std::string Ipv6Text(const uint16_t (&g)[8]) {
  int bestAt = -1, bestLength = 1;
  for (int i = 0; i < 8;) {
    if (g[i] != 0) {
      ++i;
      continue;
    }
    int j = i;
    while (j < 8 && g[j] == 0) ++j;
    if (j - i > bestLength) bestAt = i, bestLength = j - i;
    i = j;
  }
  std::string text;
  char part[8];
  for (int i = 0; i < 8; ++i) {
    if (i == bestAt) {
      text += "::";
      i += bestLength - 1;
      continue;
    }
    if (!text.empty() && text.back() != ':') text += ':';
    std::snprintf(part, sizeof part, "%x", g[i]);
    text += part;
  }
  return text;
}

std::string Ipv6Text(const std::array<uint8_t, 16>& a) {
  uint16_t g[8];
  for (int i = 0; i < 8; ++i) g[i] = static_cast<uint16_t>(a[2 * i] << 8 | a[2 * i + 1]);
  return Ipv6Text(g);
}

std::string MacText(uint64_t v, char separator, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text(17, separator);
  for (int i = 0; i < 6; ++i) {
    const unsigned byte = static_cast<unsigned>((v >> (8 * (5 - i))) & 255);
    text[3 * i] = digits[byte >> 4];
    text[3 * i + 1] = digits[byte & 15];
  }
  return text;
}

const char* const kKindNames[] = {"host", "domain", "user", "word"};

std::string NamePseudonym(NameKind kind, uint32_t number, const std::string& original) {
  switch (kind) {
    case NameKind::Host:
      return Numbered("host%04u", number);
    case NameKind::Domain:
      // A DNS domain keeps its shape; "ACME\\jsmith" reads as a NetBIOS one.
      return Numbered(original.find('.') != std::string::npos ? "domain%04u.example" : "domain%04u",
                      number);
    case NameKind::User:
      return Numbered("user%04u", number);
    case NameKind::Word:
      break;
  }
  return Numbered("word%04u", number);
}

}  // namespace

Scrubber::Scrubber(int codePage) : codePage_(codePage) {}

void Scrubber::AddName(NameKind kind, const std::string& display,
                       const std::vector<std::string>& forms, const std::string& sameAs) {
  const std::string key = Fold(Trim(display));
  if (key.empty()) return;
  size_t index;
  const auto known = nameByFolded_.find(key);
  if (known != nameByFolded_.end()) {
    index = known->second;
  } else {
    Name name{kind, 0, Trim(display)};
    const auto shared = nameByFolded_.find(Fold(Trim(sameAs)));
    name.number =
        !sameAs.empty() && shared != nameByFolded_.end() && names_[shared->second].kind == kind
            ? names_[shared->second].number
            : ++counters_[static_cast<int>(kind)];
    index = names_.size();
    names_.push_back(name);
    nameByFolded_.emplace(key, index);
  }
  std::vector<std::string> all(forms);
  all.push_back(display);
  for (const std::string& form : all) {
    const std::string folded = Fold(Trim(form));
    if (folded.empty()) continue;
    const bool seen = std::any_of(patterns_.begin(), patterns_.end(),
                                  [&](const Pattern& p) { return p.folded == folded; });
    if (seen) continue;
    const unsigned char last = U(folded.back());
    patterns_.push_back({folded, NamePseudonym(names_[index].kind, names_[index].number, folded),
                         index, last >= 0x80 || kT.word[last]});
    nameByFolded_.emplace(folded, index);
    std::vector<size_t>& list = byFirst_[U(folded[0])];
    list.push_back(patterns_.size() - 1);
    // Longest first: "ws-jsmith" wins over "ws" where both start.
    std::stable_sort(list.begin(), list.end(), [this](size_t a, size_t b) {
      return patterns_[a].folded.size() > patterns_[b].folded.size();
    });
  }
}

bool Scrubber::WordAt(const unsigned char* s, size_t i, size_t end, size_t* length) const {
  const unsigned char c = s[i];
  *length = 1;
  if (c < 0x80) return kT.word[c];
  size_t n = 0;
  uint32_t cp = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, cp = c & 0x07;
  }
  if (n != 0 && i + n <= end) {
    size_t k = 1;
    for (; k < n && (s[i + k] & 0xC0) == 0x80; ++k) cp = cp << 6 | (s[i + k] & 0x3F);
    if (k == n) {
      *length = n;
      return !NonWordCodePoint(cp);
    }
  }
  // Not UTF-8: a byte of the code page.
  return !(codePage_ == 1252 && kT.punct1252[c]);
}

bool Scrubber::WordAfter(const char* s, size_t j, size_t end) const {
  size_t length = 0;
  return j < end && WordAt(reinterpret_cast<const unsigned char*>(s), j, end, &length);
}

void Scrubber::Seen(const char* kind, const std::string& original, const std::string& pseudonym) {
  const std::string key = std::string(kind) + ":" + original;
  if (seenRows_.emplace(key, seen_.size()).second) seen_.push_back({kind, original, pseudonym});
}

void Scrubber::ScrubRegion(const char* s, size_t begin, size_t end, std::string* out) {
  const auto* us = reinterpret_cast<const unsigned char*>(s);
  size_t emitted = begin;
  size_t i = begin;
  bool prevWord = false;  // a region starts the text, or follows a line end or blank
  nextAt_ = nullptr;
  std::string replacement;
  while (i < end) {
    size_t length = 1;
    const bool word = WordAt(us, i, end, &length);
    size_t matchEnd = 0;
    replacement.clear();
    if (!prevWord && TryAt(s, begin, i, end, &matchEnd, &replacement)) {
      out->append(s + emitted, i - emitted);
      *out += replacement;
      ++replacements_;
      const unsigned char last = us[matchEnd - 1];
      prevWord = last >= 0x80 || kT.word[last];
      emitted = i = matchEnd;
      continue;
    }
    prevWord = word;
    i += length;
  }
  out->append(s + emitted, end - emitted);
}

bool Scrubber::TryAt(const char* s, size_t begin, size_t i, size_t end, size_t* matchEnd,
                     std::string* out) {
  const unsigned char c = U(s[i]);
  if (kT.hex[c]) {
    if (TryMac(s, begin, i, end, matchEnd, out)) return true;
    if (kT.digit[c] && TryIpv4(s, begin, i, end, matchEnd, out)) return true;
    if (TryIpv6(s, begin, i, end, matchEnd, out)) return true;
  } else if (c == ':' && (i == begin || (s[i - 1] != ':' && s[i - 1] != '.'))) {
    if (TryIpv6(s, begin, i, end, matchEnd, out)) return true;
  }
  if (kT.word[c] && TryEmail(s, i, end, matchEnd, out)) return true;
  return TryName(s, i, end, matchEnd, out);
}

bool Scrubber::TryMac(const char* s, size_t begin, size_t i, size_t end, size_t* matchEnd,
                      std::string* out) {
  if (end - i < 17) return false;
  const char separator = s[i + 2];
  if (separator != ':' && separator != '-') return false;
  // Inside a longer run of hex pairs it is something else.
  if (i >= begin + 2 && s[i - 1] == separator && kT.hex[U(s[i - 2])]) return false;
  uint64_t v = 0;
  for (size_t k = 0; k < 6; ++k) {
    const char* g = s + i + 3 * k;
    if (!kT.hex[U(g[0])] || !kT.hex[U(g[1])] || (k < 5 && g[2] != separator)) return false;
    v = v << 8 | static_cast<uint64_t>(HexValue(U(g[0])) << 4 | HexValue(U(g[1])));
  }
  const size_t j = i + 17;
  if (WordAfter(s, j, end)) return false;
  if (j + 1 < end && s[j] == separator && kT.hex[U(s[j + 1])]) return false;
  if (v == 0 || v == 0xFFFFFFFFFFFFull) return false;  // no one's address
  auto found = macs_.find(v);
  // Locally administered, unicast: 02-00-00 and the number.
  if (found == macs_.end()) {
    found = macs_.emplace(v, static_cast<uint32_t>(macs_.size() + 1)).first;
    Seen("mac", MacText(v, ':', false), MacText(0x020000000000ull | found->second, ':', false));
  }
  *out = MacText(0x020000000000ull | found->second, separator, separator == '-');
  *matchEnd = j;
  return true;
}

std::string Scrubber::Ipv4Pseudonym(uint32_t address) {
  const auto cached = ipv4Seen_.find(address);
  if (cached != ipv4Seen_.end()) return cached->second;
  auto net = ipv4Nets_.find(address >> 8);
  if (net == ipv4Nets_.end())
    net = ipv4Nets_.emplace(address >> 8, static_cast<uint32_t>(ipv4Nets_.size())).first;
  // The benchmarking range 198.18.0.0/15 holds 512 networks of 256; then
  // the reserved 240.0.0.0/4. The host's own byte is kept: .1 stays the
  // gateway, .255 the broadcast.
  const uint32_t n = net->second;
  const uint32_t prefix =
      n < 512 ? (198u << 16 | (18u + n / 256) << 8 | (n % 256)) : (240u << 16) + (n - 512);
  const std::string text = DottedQuad(prefix << 8 | (address & 255));
  Seen("ipv4", DottedQuad(address), text);
  ipv4Seen_.emplace(address, text);
  return text;
}

bool Scrubber::TryIpv4(const char* s, size_t begin, size_t i, size_t end, size_t* matchEnd,
                       std::string* out) {
  // The tail of a version number "6.1.7601.1.2.3.4" is not an address.
  if (i >= begin + 2 && s[i - 1] == '.' && kT.word[U(s[i - 2])]) return false;
  size_t j = i;
  while (j < end && j - i < 16 && (kT.digit[U(s[j])] || s[j] == '.')) ++j;
  while (j > i && s[j - 1] == '.') --j;  // a sentence's full stop
  uint32_t v = 0;
  if (!ParseDottedQuad(s + i, j - i, &v)) return false;
  if (WordAfter(s, j, end) || (j + 1 < end && s[j] == '.' && kT.digit[U(s[j + 1])])) return false;
  const uint32_t first = v >> 24;
  // Loopback, "this network", multicast and reserved, masks, and network
  // numbers like 1.0.0.0 (file versions, mostly) name no one.
  if (first == 0 || first == 127 || first >= 224 || (v & 0xFFFFFF) == 0) return false;
  *out = Ipv4Pseudonym(v);
  *matchEnd = j;
  return true;
}

bool Scrubber::TryIpv6(const char* s, size_t begin, size_t i, size_t end, size_t* matchEnd,
                       std::string* out) {
  // Within a run of hex digits and colons tried from its start, "1::2::3",
  // a later piece is no address of its own.
  if (i > begin && s[i - 1] == ':') {
    size_t k = i - 1;
    while (k > begin && (kT.hex[U(s[k - 1])] || s[k - 1] == ':' || s[k - 1] == '.')) --k;
    size_t length = 0;
    if (k == begin || !WordAt(reinterpret_cast<const unsigned char*>(s), k - 1, end, &length))
      return false;
  }
  size_t j = i;
  int colons = 0;
  while (j < end && j - i < 48 && (kT.hex[U(s[j])] || s[j] == ':' || s[j] == '.')) {
    colons += s[j] == ':';
    ++j;
  }
  if (colons < 2 || WordAfter(s, j, end)) return false;
  size_t stop = j;
  while (stop > i && s[stop - 1] == '.') --stop;
  if (stop - i >= 2 && s[stop - 1] == ':' && s[stop - 2] != ':') --stop;  // "at fe80::1:"
  std::array<uint8_t, 16> a;
  if (!ParseIpv6(s + i, stop - i, &a)) return false;
  static const std::array<uint8_t, 16> kLoopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  const bool unspecified = std::all_of(a.begin(), a.end(), [](uint8_t b) { return b == 0; });
  if (unspecified || a == kLoopback || a[0] == 0xFF) return false;  // nor multicast
  const auto cached = ipv6Seen_.find(a);
  if (cached != ipv6Seen_.end()) {
    *out = cached->second;
    *matchEnd = stop;
    return true;
  }
  const bool mapped = std::all_of(a.begin(), a.begin() + 10, [](uint8_t b) { return b == 0; }) &&
                      a[10] == 0xFF && a[11] == 0xFF;
  std::string text;
  if (mapped) {
    text = "::ffff:" +
           Ipv4Pseudonym(static_cast<uint32_t>(a[12]) << 24 | a[13] << 16 | a[14] << 8 | a[15]);
  } else {
    const uint32_t h = ++ipv6Hosts_;
    uint16_t g[8] = {0, 0, 0, 0, 0, 0, static_cast<uint16_t>(h >> 16), static_cast<uint16_t>(h)};
    if (a[0] == 0xFE && (a[1] & 0xC0) == 0x80) {
      g[0] = 0xfe80;  // link-local stays link-local; its interface id goes
    } else {
      // One documentation /64 per network met: 2001:db8:<n>::/64.
      std::array<uint8_t, 8> prefix;
      std::copy(a.begin(), a.begin() + 8, prefix.begin());
      auto net = ipv6Nets_.find(prefix);
      if (net == ipv6Nets_.end())
        net = ipv6Nets_.emplace(prefix, static_cast<uint32_t>(ipv6Nets_.size() + 1)).first;
      g[0] = 0x2001, g[1] = 0xdb8;
      g[2] = static_cast<uint16_t>(net->second >> 16), g[3] = static_cast<uint16_t>(net->second);
    }
    text = Ipv6Text(g);
  }
  if (!mapped) Seen("ipv6", Ipv6Text(a), text);  // a mapped one has its IPv4 row
  ipv6Seen_.emplace(a, text);
  *out = text;
  *matchEnd = stop;
  return true;
}

uint32_t Scrubber::NumberFor(NameKind kind, const std::string& folded) {
  const auto given = nameByFolded_.find(folded);
  if (given != nameByFolded_.end() && names_[given->second].kind == kind) {
    names_[given->second].used = true;
    return names_[given->second].number;
  }
  const std::string key = std::to_string(static_cast<int>(kind)) + folded;
  auto found = emailNames_.find(key);
  if (found == emailNames_.end())
    found = emailNames_.emplace(key, ++counters_[static_cast<int>(kind)]).first;
  return found->second;
}

bool Scrubber::TryEmail(const char* s, size_t i, size_t end, size_t* matchEnd, std::string* out) {
  if (nextAt_ == nullptr || nextAt_ < s + i) {
    const void* at = std::memchr(s + i, '@', end - i);
    nextAt_ = at != nullptr ? static_cast<const char*>(at) : s + end;
  }
  const size_t at = static_cast<size_t>(nextAt_ - s);
  if (at >= end || at == i || at - i > 64) return false;
  for (size_t k = i; k < at; ++k) {
    if (!kT.local[U(s[k])]) return false;
  }
  size_t k = at + 1, stop = 0;
  int labels = 0;
  for (;;) {
    const size_t start = k;
    while (k < end && kT.label[U(s[k])]) ++k;
    if (k == start) break;
    ++labels;
    stop = k;
    if (k + 1 < end && s[k] == '.' && kT.label[U(s[k + 1])]) {
      ++k;
      continue;
    }
    break;
  }
  if (labels < 2 || WordAfter(s, stop, end)) return false;
  const std::string address = Fold(std::string(s + i, stop - i));
  const auto cached = emailSeen_.find(address);
  if (cached != emailSeen_.end()) {
    *out = cached->second;
    *matchEnd = stop;
    return true;
  }
  const std::string local = address.substr(0, at - i);
  const std::string domain = address.substr(at - i + 1);
  *out = Numbered("user%04u", NumberFor(NameKind::User, local)) + "@" +
         Numbered("domain%04u.example", NumberFor(NameKind::Domain, domain));
  Seen("email", address, *out);
  emailSeen_.emplace(address, *out);
  *matchEnd = stop;
  return true;
}

bool Scrubber::TryName(const char* s, size_t i, size_t end, size_t* matchEnd, std::string* out) {
  for (const size_t index : byFirst_[kT.fold[U(s[i])]]) {
    const Pattern& p = patterns_[index];
    const size_t n = p.folded.size();
    if (end - i < n) continue;
    size_t k = 0;
    while (k < n && kT.fold[U(s[i + k])] == U(p.folded[k])) ++k;
    if (k < n || (p.endsWord && WordAfter(s, i + n, end))) continue;
    names_[p.name].used = true;
    *out = p.pseudonym;
    *matchEnd = i + n;
    return true;
  }
  return false;
}

std::string Scrubber::ScrubText(const std::string& text) {
  std::string out;
  Stream stream(this);
  stream.Feed(text.data(), text.size(), &out);
  stream.Finish(&out);
  return out;
}

std::vector<MapRow> Scrubber::MapRows() const {
  std::vector<MapRow> rows;
  for (const Name& name : names_) {
    rows.push_back({kKindNames[static_cast<int>(name.kind)], name.display,
                    NamePseudonym(name.kind, name.number, name.display)});
  }
  rows.insert(rows.end(), seen_.begin(), seen_.end());
  return rows;
}

size_t Scrubber::originalsReplaced() const {
  return seen_.size() + static_cast<size_t>(std::count_if(names_.begin(), names_.end(),
                                                          [](const Name& n) { return n.used; }));
}

void Scrubber::Stream::Feed(const char* data, size_t size, std::string* out) {
  if (!started_ && size > 0) {
    started_ = true;
    // A UTF-8 BOM is no word: a name right after it is whole.
    if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
      out->append(data, 3);
      data += 3, size -= 3;
    }
  }
  pending_.append(data, size);
  size_t cut = pending_.rfind('\n');
  if (cut == std::string::npos) {
    if (pending_.size() < kMaxCarry) return;
    cut = pending_.size() - 1;
    while (cut > 0 && U(pending_[cut]) > ' ') --cut;
    if (U(pending_[cut]) > ' ') cut = pending_.size() - 1;
  }
  scrubber_->ScrubRegion(pending_.data(), 0, cut + 1, out);
  pending_.erase(0, cut + 1);
}

void Scrubber::Stream::Finish(std::string* out) {
  scrubber_->ScrubRegion(pending_.data(), 0, pending_.size(), out);
  pending_.clear();
}

bool Scrubber::Utf16Stream::Feed(const char* data, size_t size, std::string* out) {
  decoded_.clear();
  std::string bytes;
  if (!odd_.empty()) {
    bytes = odd_ + std::string(data, size);
    odd_.clear();
    data = bytes.data(), size = bytes.size();
  }
  const size_t whole = size & ~static_cast<size_t>(1);
  for (size_t k = 0; k < whole; k += 2) {
    const uint16_t u = static_cast<uint16_t>(U(data[k]) | U(data[k + 1]) << 8);
    if (u == 0) return false;
    if (high_ != 0) {
      if (u >= 0xDC00 && u < 0xE000) {
        sys::AppendUtf8(0x10000 + ((high_ - 0xD800u) << 10) + (u - 0xDC00u), &decoded_);
        high_ = 0;
        continue;
      }
      sys::AppendUtf8(high_, &decoded_);  // a lone half passes as it came
      high_ = 0;
    }
    if (u >= 0xD800 && u < 0xDC00) {
      high_ = u;
      continue;
    }
    sys::AppendUtf8(u, &decoded_);
  }
  if (whole < size) odd_.assign(data + whole, 1);
  scrubbed_.clear();
  inner_.Feed(decoded_.data(), decoded_.size(), &scrubbed_);
  Encode(scrubbed_, out);
  return true;
}

bool Scrubber::Utf16Stream::Finish(std::string* out) {
  decoded_.clear();
  if (high_ != 0) sys::AppendUtf8(high_, &decoded_);
  high_ = 0;
  scrubbed_.clear();
  inner_.Feed(decoded_.data(), decoded_.size(), &scrubbed_);
  inner_.Finish(&scrubbed_);
  Encode(scrubbed_, out);
  *out += odd_;  // a stray last byte stays
  odd_.clear();
  return true;
}

void Scrubber::Utf16Stream::Encode(const std::string& wtf8, std::string* out) {
  const auto put = [out](uint32_t unit) {
    *out += static_cast<char>(unit & 0xFF);
    *out += static_cast<char>(unit >> 8);
  };
  for (size_t k = 0; k < wtf8.size();) {
    const unsigned char c = U(wtf8[k]);
    uint32_t cp = c;
    size_t n = 1;
    if (c >= 0xF0) {
      cp = c & 0x07, n = 4;
    } else if (c >= 0xE0) {
      cp = c & 0x0F, n = 3;
    } else if (c >= 0xC0) {
      cp = c & 0x1F, n = 2;
    }
    for (size_t j = 1; j < n && k + j < wtf8.size(); ++j) cp = cp << 6 | (U(wtf8[k + j]) & 0x3F);
    k += n;
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
}

FileKind JudgeFileKind(const char* head, size_t size, size_t* bomLength) {
  *bomLength = 0;
  if (size >= 2 && U(head[0]) == 0xFF && U(head[1]) == 0xFE) {
    *bomLength = 2;
    return FileKind::Utf16;
  }
  if (std::memchr(head, 0, size) == nullptr) return FileKind::Text8;
  // Without a BOM: UTF-16LE holds its NUL bytes in odd places only, one
  // for every character of the ASCII range.
  size_t nuls = 0;
  for (size_t k = 0; k < size; ++k) {
    if (head[k] != 0) continue;
    if (k % 2 == 0) return FileKind::Binary;
    ++nuls;
  }
  return nuls * 4 >= size / 2 ? FileKind::Utf16 : FileKind::Binary;
}
