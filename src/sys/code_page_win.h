#pragma once
// Text between UTF-16 and the system code page, where the platform hands
// over wide text (directory values, performance-data instance names).

#include <windows.h>

#include <cstddef>
#include <string>

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

}  // namespace sys
