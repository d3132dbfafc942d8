#pragma once
// Text between UTF-16 and the system code page, where the platform hands
// over wide text (directory values, performance-data instance names).

#include <windows.h>

#include <cstddef>
#include <string>

#include "sys/name_escape.h"
#include "sys/path_form.h"

namespace sys {

inline std::wstring WideText(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], length);
  return wide;
}

// False when the text cannot be converted; an empty text converts. `flags`
// as WideCharToMultiByte takes them (WC_NO_BEST_FIT_CHARS: "?" for a
// character the code page lacks, never a look-alike).
inline bool CodePageText(const wchar_t* wide, size_t size, DWORD flags, std::string* text) {
  text->clear();
  if (size == 0) return true;
  const int count = static_cast<int>(size);
  const int length =
      ::WideCharToMultiByte(CP_ACP, flags, wide, count, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return false;
  text->resize(static_cast<size_t>(length));
  return ::WideCharToMultiByte(CP_ACP, flags, wide, count, &(*text)[0], length, nullptr, nullptr) ==
         length;
}

// The wide form of a narrow path of the run, escapes (name_escape.h)
// turned back into the characters they stand for; in the "\\?\" form when
// parsing would change a name in it (path_form.h).
inline std::wstring WidePath(const std::string& path) {
  const std::string verbatim = VerbatimPath(path);
  const std::string& narrow = verbatim.empty() ? path : verbatim;
  std::wstring wide;
  size_t run = 0;
  const auto flush = [&](size_t end) {
    if (end > run) wide += WideText(narrow.substr(run, end - run));
  };
  for (size_t at = narrow.find('<'); at != std::string::npos; at = narrow.find('<', at + 1)) {
    uint32_t c = 0;
    size_t length = 0;
    if (!ReadNameEscape(narrow, at, &c, &length)) continue;
    flush(at);
    if (c >= 0x10000) {
      wide += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      wide += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      wide += static_cast<wchar_t>(c);
    }
    run = at + length;
    at = run - 1;
  }
  flush(narrow.size());
  return wide;
}

// A wide name as the run's narrow text: the code page's bytes, and an
// escape for each character the code page lacks (never a "?" or a
// look-alike, which would name another file or none).
inline std::string NarrowName(const wchar_t* wide, size_t size) {
  const auto convert = [](const wchar_t* from, size_t n, std::string* to) {
    BOOL lost = FALSE;
    to->clear();
    const int count = static_cast<int>(n);
    const int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, from, count, nullptr, 0,
                                             nullptr, &lost);
    if (length <= 0 || lost) return false;
    to->resize(static_cast<size_t>(length));
    return ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, from, count, &(*to)[0], length,
                                 nullptr, &lost) == length &&
           !lost;
  };
  std::string narrow;
  if (size == 0 || convert(wide, size, &narrow)) return narrow;
  narrow.clear();
  std::string one;
  for (size_t i = 0; i < size;) {
    size_t units = 1;
    uint32_t c = static_cast<uint16_t>(wide[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < size && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(wide[i + 1]) - 0xDC00);
      units = 2;
    }
    narrow += convert(wide + i, units, &one) ? one : NameEscape(c);
    i += units;
  }
  return narrow;
}

}  // namespace sys
