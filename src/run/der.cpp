#include "run/der.h"

namespace der {

bool Reader::Head(unsigned char* tag, uint64_t* size, size_t* headSize) {
  const size_t left = static_cast<size_t>(end_ - at_);
  if (left < 2) return false;
  // Multi-byte tags never occur in what is read here.
  if ((at_[0] & 0x1f) == 0x1f) return false;
  uint64_t length = at_[1];
  size_t head = 2;
  if (length & 0x80) {
    const size_t count = length & 0x7f;
    // 0x80 is the indefinite length, which DER forbids.
    if (count == 0 || count > 8 || left < 2 + count) return false;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | at_[2 + i];
    head += count;
  }
  *tag = at_[0];
  *size = length;
  *headSize = head;
  return true;
}

bool Reader::Next(Item* item) {
  unsigned char tag = 0;
  uint64_t size = 0;
  size_t head = 0;
  if (!Head(&tag, &size, &head)) return false;
  const size_t left = static_cast<size_t>(end_ - at_) - head;
  if (size > left) {
    end_ = at_;  // failed for good
    return false;
  }
  item->tag = tag;
  item->whole = at_;
  item->content = at_ + head;
  item->size = static_cast<size_t>(size);
  item->wholeSize = head + item->size;
  at_ += item->wholeSize;
  return true;
}

bool Reader::Enter(unsigned char tag, uint64_t* size) {
  unsigned char found = 0;
  size_t head = 0;
  if (!Head(&found, size, &head) || found != tag) return false;
  at_ += head;
  return true;
}

bool Reader::Expect(unsigned char tag, Item* item) {
  unsigned char next = 0;
  if (!PeekTag(&next) || next != tag) return false;
  return Next(item);
}

bool Reader::PeekTag(unsigned char* tag) const {
  if (at_ >= end_) return false;
  *tag = at_[0];
  return true;
}

std::string Head(unsigned char tag, uint64_t size) {
  std::string out(1, static_cast<char>(tag));
  if (size < 0x80) return out + static_cast<char>(size);
  std::string bytes;
  for (uint64_t rest = size; rest != 0; rest >>= 8)
    bytes.insert(bytes.begin(), static_cast<char>(rest & 0xff));
  out += static_cast<char>(0x80 | bytes.size());
  return out + bytes;
}

std::string Wrap(unsigned char tag, const std::string& content) {
  return Head(tag, content.size()) + content;
}

}  // namespace der
