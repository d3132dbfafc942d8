#include "run/local_text.h"

#include <cstdio>

namespace {
// What GetPrivateProfileStringA's 1024-character buffer can return.
constexpr size_t kMaxValue = 1023;

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos;
       at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}
}  // namespace

void LocalTextSections(uint32_t lcid, std::string sections[3]) {
  char exact[16];
  std::snprintf(exact, sizeof exact, "%04X", static_cast<unsigned>(lcid));
  sections[0] = exact;
  sections[1] = "00" + sections[0].substr(2);
  sections[2] = "04" + sections[0].substr(2);
}

std::string LocalisationFilePath(const std::string& modulePath) {
  const size_t dot = modulePath.rfind('.');
  if (dot == std::string::npos) return std::string();
  return modulePath.substr(0, dot) + ".LOC";
}

std::string ExpandTextEscapes(const std::string& value) {
  std::string text = value;
  ReplaceAll(&text, "\\n", "\n");
  ReplaceAll(&text, "\\t", "\t");
  return text;
}

std::string LookUpLocalText(uint32_t lcid, const std::string& group, const std::string& name,
                            const std::string& defaultText, const ProfileReader& read) {
  std::string sections[3];
  LocalTextSections(lcid, sections);
  const std::string key = group + "_" + name;
  std::string text;
  for (const std::string& section : sections) {
    text = read(section, key);
    if (!text.empty()) break;
  }
  // An empty value counts as missing in the last section too, so that a
  // translator's blank line never blanks a message box.
  if (text.empty()) text = defaultText;
  if (text.size() > kMaxValue) text.resize(kMaxValue);
  return ExpandTextEscapes(text);
}
