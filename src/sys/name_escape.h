#pragma once
// Names the system code page cannot hold. The run's narrow text writes each
// character the code page lacks as "<U+XXXX>" (its code point in hex, four
// to six digits). No file name can hold "<" or ">", so the narrow form of a
// name stays unambiguous, a name the code page holds keeps its bytes, and
// the wide form can always be had again (code_page_win.h).

#include <cstddef>
#include <cstdint>
#include <string>

namespace sys {

// "<U+041F>" for U+041F.
std::string NameEscape(uint32_t codePoint);

// Whether an escape begins at text[at]; then its code point and length.
bool ReadNameEscape(const std::string& text, size_t at, uint32_t* codePoint, size_t* length);

// Whether the text holds an escape at all.
bool HasNameEscape(const std::string& text);

// The code point as UTF-8 (a lone surrogate as its three bytes, as
// Windows names may hold one).
void AppendUtf8(uint32_t codePoint, std::string* out);

}  // namespace sys
