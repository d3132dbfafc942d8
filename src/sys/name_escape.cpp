#include "sys/name_escape.h"

#include <cstdio>

namespace sys {

std::string NameEscape(uint32_t codePoint) {
  char text[16];
  std::snprintf(text, sizeof text, "<U+%04X>", static_cast<unsigned>(codePoint));
  return text;
}

bool ReadNameEscape(const std::string& text, size_t at, uint32_t* codePoint, size_t* length) {
  if (text.compare(at, 3, "<U+") != 0) return false;
  uint32_t value = 0;
  size_t i = at + 3;
  for (; i < text.size() && i - at - 3 < 6; ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) break;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  const size_t digits = i - at - 3;
  if (digits < 4 || i >= text.size() || text[i] != '>' || value > 0x10FFFF) return false;
  *codePoint = value;
  *length = i + 1 - at;
  return true;
}

bool HasNameEscape(const std::string& text) {
  uint32_t codePoint = 0;
  size_t length = 0;
  for (size_t at = text.find("<U+"); at != std::string::npos; at = text.find("<U+", at + 1)) {
    if (ReadNameEscape(text, at, &codePoint, &length)) return true;
  }
  return false;
}

void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace sys
