#pragma once
// Text from a result (member names, the case id, log lines, collected
// files) shown to the engineer. Nothing in it may take over a terminal or a
// page: C0 and C1 controls, bidirectional controls and zero-width
// characters come out as visible escapes ("<U+202E>"), or as JSON's own
// escapes. One function does it for every output.

#include <string>

namespace tovkit {

enum class TextFor { Terminal, Json, Html };

// Valid UTF-8 is kept as it is; any other byte is read as Latin-1, so a raw
// 0x9B is the control U+009B and the output is always valid UTF-8.
// Terminal: controls (tab and line end too) as "<U+XXXX>". Json: the
// string's content, without quotes, "\u009b" for each. Html: "&", "<", ">",
// quotes as entities, tab and line end kept, the rest as "&lt;U+XXXX&gt;".
std::string EscapeUntrusted(const std::string& text, TextFor target);

// Shorthands for the three targets; JsonString adds the quotes.
inline std::string Printable(const std::string& text) {
  return EscapeUntrusted(text, TextFor::Terminal);
}
inline std::string JsonString(const std::string& text) {
  return "\"" + EscapeUntrusted(text, TextFor::Json) + "\"";
}
inline std::string HtmlEscape(const std::string& text) {
  return EscapeUntrusted(text, TextFor::Html);
}

}  // namespace tovkit
