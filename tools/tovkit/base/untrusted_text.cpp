#include "untrusted_text.h"

#include <cstdint>
#include <cstdio>

namespace tovkit {

namespace {

// Length of the well-formed UTF-8 sequence at `at` and its code point; 0
// when there is none (overlong forms and surrogates included).
size_t Utf8Sequence(const std::string& text, size_t at, uint32_t* point) {
  const unsigned char c = static_cast<unsigned char>(text[at]);
  size_t length = 0;
  uint32_t code = 0;
  if (c < 0x80) {
    *point = c;
    return 1;
  }
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, code = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    length = 3, code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, code = c & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return 0;
  if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return 0;
  *point = code;
  return length;
}

// Characters that move the cursor, start a sequence, turn the reading
// direction or hide themselves.
bool Hidden(uint32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF;
}

void AppendUtf8(uint32_t c, std::string* out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string EscapeUntrusted(const std::string& text, TextFor target) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t c = 0;
    size_t length = Utf8Sequence(text, i, &c);
    if (length == 0) {
      c = static_cast<unsigned char>(text[i]);
      length = 1;
    }
    i += length;
    char escaped[24];
    if (target == TextFor::Json) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
        continue;
      }
      if (Hidden(c)) {
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
        out += escaped;
        continue;
      }
    } else if (target == TextFor::Html) {
      const char* entity = c == '&'    ? "&amp;"
                           : c == '<'  ? "&lt;"
                           : c == '>'  ? "&gt;"
                           : c == '"'  ? "&quot;"
                           : c == '\'' ? "&#39;"
                                       : nullptr;
      if (entity != nullptr) {
        out += entity;
        continue;
      }
      if (Hidden(c) && c != '\t' && c != '\n') {
        std::snprintf(escaped, sizeof escaped, "&lt;U+%04X&gt;", static_cast<unsigned>(c));
        out += escaped;
        continue;
      }
    } else if (Hidden(c)) {
      std::snprintf(escaped, sizeof escaped, "<U+%04X>", static_cast<unsigned>(c));
      out += escaped;
      continue;
    }
    AppendUtf8(c, &out);
  }
  return out;
}

}  // namespace tovkit
