#pragma once
// Replaces what names a customer's machine, people and network in the text
// a run collected: host, domain and user names, the script's own words,
// IPv4 and IPv6 addresses, MAC and e-mail addresses. Every original gets
// one pseudonym for the whole run, shaped like what it replaces so that
// relationships survive: two addresses of one /24 stay in one /24, an
// e-mail of a known user at the machine's domain becomes that user's
// pseudonym at that domain's. Names match whole words, ignoring ASCII case;
// a name is given in every byte form a file may hold it in (UTF-8, the code
// page, their upper and lower case), so one pass serves both kinds of
// 8-bit text. UTF-16 text is scrubbed through a lossless 8-bit form.
// Free text a person typed can still hold names nobody gave.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

enum class NameKind { Host, Domain, User, Word };

struct MapRow {
  std::string kind;  // "host", "domain", "user", "word", "ipv4", "ipv6", "mac", "email"
  std::string original;
  std::string pseudonym;
};

class Scrubber {
 public:
  // codePage: the system's ANSI code page; under 1252 its punctuation
  // bytes end words as ASCII punctuation does.
  explicit Scrubber(int codePage = 1252);

  // A name and the byte forms it may take in a file. `display` is what the
  // map shows. A name given again (any form, any case) keeps its first
  // pseudonym; `sameAs`, when it names a name given earlier, shares its
  // number (a host's DNS name with its NetBIOS name).
  void AddName(NameKind kind, const std::string& display, const std::vector<std::string>& forms,
               const std::string& sameAs = std::string());

  // The whole text, scrubbed; 8-bit text (UTF-8 or the code page).
  std::string ScrubText(const std::string& text);

  // Scrubs an 8-bit text that arrives in pieces. Tokens never span a line
  // end, so each piece is scrubbed up to its last line end and the rest
  // waits for the next one (or is cut at a blank after kMaxCarry bytes).
  class Stream {
   public:
    static constexpr size_t kMaxCarry = 4u << 20;
    explicit Stream(Scrubber* scrubber) : scrubber_(scrubber) {}
    // Appends to *out what can be scrubbed so far.
    void Feed(const char* data, size_t size, std::string* out);
    void Finish(std::string* out);

   private:
    Scrubber* scrubber_;
    std::string pending_;
    bool started_ = false;
  };

  // UTF-16LE text in pieces; the BOM, when there is one, is the caller's.
  // False once a U+0000 shows the text is not text.
  class Utf16Stream {
   public:
    explicit Utf16Stream(Scrubber* scrubber) : inner_(scrubber) {}
    bool Feed(const char* data, size_t size, std::string* out);
    bool Finish(std::string* out);

   private:
    void Encode(const std::string& wtf8, std::string* out);
    Stream inner_;
    std::string odd_;       // a byte left of an odd piece
    uint16_t high_ = 0;     // a high surrogate waiting for its low half
    std::string decoded_;   // reused between pieces
    std::string scrubbed_;  // likewise
  };

  // Every registered name, then every address and e-mail met, in order.
  std::vector<MapRow> MapRows() const;
  uint64_t replacements() const { return replacements_; }
  // Originals replaced at least once.
  size_t originalsReplaced() const;

 private:
  struct Name {
    NameKind kind;
    uint32_t number;
    std::string display;
    bool used = false;
  };
  struct Pattern {
    std::string folded;
    std::string pseudonym;
    size_t name;
    bool endsWord;
  };

  void ScrubRegion(const char* s, size_t begin, size_t end, std::string* out);
  bool TryAt(const char* s, size_t begin, size_t i, size_t end, size_t* matchEnd, std::string* out);
  bool TryMac(const char* s, size_t begin, size_t i, size_t end, size_t* matchEnd,
              std::string* out);
  bool TryIpv4(const char* s, size_t begin, size_t i, size_t end, size_t* matchEnd,
               std::string* out);
  bool TryIpv6(const char* s, size_t begin, size_t i, size_t end, size_t* matchEnd,
               std::string* out);
  bool TryEmail(const char* s, size_t i, size_t end, size_t* matchEnd, std::string* out);
  bool TryName(const char* s, size_t i, size_t end, size_t* matchEnd, std::string* out);
  bool WordAfter(const char* s, size_t j, size_t end) const;
  bool WordAt(const unsigned char* s, size_t i, size_t end, size_t* length) const;

  std::string Ipv4Pseudonym(uint32_t address);
  // The number of a name met inside an e-mail address: a given name's
  // own, or one of its own kind from then on.
  uint32_t NumberFor(NameKind kind, const std::string& folded);
  void Seen(const char* kind, const std::string& original, const std::string& pseudonym);

  int codePage_;
  std::vector<Name> names_;
  std::unordered_map<std::string, size_t> nameByFolded_;
  std::vector<Pattern> patterns_;
  std::array<std::vector<size_t>, 256> byFirst_;  // longest first
  uint32_t counters_[4] = {0, 0, 0, 0};

  std::map<uint32_t, uint32_t> ipv4Nets_;  // original /24 -> index
  std::map<std::array<uint8_t, 8>, uint32_t> ipv6Nets_;
  uint32_t ipv6Hosts_ = 0;
  // Each original's pseudonym, once made.
  std::unordered_map<uint32_t, std::string> ipv4Seen_;
  std::map<std::array<uint8_t, 16>, std::string> ipv6Seen_;
  std::unordered_map<std::string, std::string> emailSeen_;
  std::map<uint64_t, uint32_t> macs_;
  std::map<std::string, uint32_t> emailNames_;  // kind digit + folded -> number
  std::map<std::string, size_t> seenRows_;      // kind + original -> row
  std::vector<MapRow> seen_;
  uint64_t replacements_ = 0;

  // Where the next '@' of the region is (its end when none); null: not
  // looked for yet.
  const char* nextAt_ = nullptr;
};

// What a collected file holds, judged from its first bytes: UTF-16LE (a
// BOM, or NUL bytes only in odd places), 8-bit text (no NUL), or binary.
enum class FileKind { Text8, Utf16, Binary };
FileKind JudgeFileKind(const char* head, size_t size, size_t* bomLength);
