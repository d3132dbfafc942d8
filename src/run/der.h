#pragma once
// A bounds-checked reader of DER (definite lengths, one-byte tags) for the
// certificates and envelopes that come from outside, and the few writer
// helpers the envelope needs. Nothing here trusts a length it has not
// checked against what is left.

#include <cstddef>
#include <cstdint>
#include <string>

namespace der {

constexpr unsigned char kInteger = 0x02;
constexpr unsigned char kBitString = 0x03;
constexpr unsigned char kOctetString = 0x04;
constexpr unsigned char kNull = 0x05;
constexpr unsigned char kOid = 0x06;
constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kSet = 0x31;

struct Item {
  unsigned char tag = 0;
  const unsigned char* content = nullptr;
  size_t size = 0;                       // of the content
  const unsigned char* whole = nullptr;  // tag, length and content
  size_t wholeSize = 0;
  std::string Content() const { return std::string(reinterpret_cast<const char*>(content), size); }
  std::string Whole() const { return std::string(reinterpret_cast<const char*>(whole), wholeSize); }
};

class Reader {
 public:
  Reader(const unsigned char* data, size_t size) : at_(data), end_(data + size) {}
  explicit Reader(const Item& item) : Reader(item.content, item.size) {}
  // The next item; false (item untouched, reader failed) when it does not
  // fit or is not DER as read here.
  bool Next(Item* item);
  // The next item only when it has this tag.
  bool Expect(unsigned char tag, Item* item);
  // Reads only tag and length: the content may run past the buffer (the
  // head of a stream). *size is the content length as stated.
  bool Head(unsigned char* tag, uint64_t* size, size_t* headSize);
  // Reads the head of a constructed item with this tag and goes on inside
  // it: what follows is its content.
  bool Enter(unsigned char tag, uint64_t* size);
  bool AtEnd() const { return at_ == end_; }
  const unsigned char* Position() const { return at_; }
  bool PeekTag(unsigned char* tag) const;

 private:
  const unsigned char* at_;
  const unsigned char* end_;
};

// Tag and length as DER writes them.
std::string Head(unsigned char tag, uint64_t size);
std::string Wrap(unsigned char tag, const std::string& content);

}  // namespace der
