#include "script/script_document.h"

#include <algorithm>

#include "sys/file_system.h"

namespace {

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
// ASCII only: a byte above 127 is never part of a name.
bool IsLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsNameStart(int c) { return IsLetter(c) || c == ':' || c == '_'; }
bool IsNameChar(int c) {
  return IsLetter(c) || IsDigit(c) || c == '.' || c == '-' || c == '_' || c == ':';
}

int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value >= 0 && value < base ? value : 0;
}

// A character reference names a 16-bit character; texts are narrow. Values up
// to 255 are taken as the byte itself (Latin-1, which the Western code page
// agrees with), larger ones become "?". A zero would cut the text short in
// every "A" call downstream, so it yields nothing.
std::string NarrowCharacter(uint32_t value) {
  if (value == 0) return std::string();
  if (value > 255) return "?";
  return std::string(1, static_cast<char>(value));
}

std::string ReplaceReference(const std::string& name) {
  if (name == "amp") return "&";
  if (name == "apos") return "'";
  if (name == "quot" || name == "quote") return "\"";
  if (name == "lt") return "<";
  if (name == "gt") return ">";
  if (!name.empty() && name[0] == '#') {
    const bool hex = name.size() > 1 && name[1] == 'x';
    const int base = hex ? 16 : 10;
    uint32_t value = 0;
    for (size_t i = hex ? 2 : 1; i < name.size(); ++i) {
      value = (value * base + DigitValue(name[i], base)) & 0xFFFF;
    }
    return NarrowCharacter(value);
  }
  // Any other name would come from the entity table, which scripts cannot
  // fill, so well-formed or not it is replaced by nothing.
  return std::string();
}

}  // namespace

// ---------------------------------------------------------------- ScriptNode

bool ScriptNode::GetName(std::string* name) const {
  name->clear();
  if (IsNull()) return false;
  const auto& element = document_->elements_[element_];
  *name = attribute_ >= 0 ? element.attributes[attribute_].name : element.name;
  return true;
}

bool ScriptNode::GetText(std::string* text) const {
  text->clear();
  if (IsNull()) return false;
  const auto& element = document_->elements_[element_];
  *text = attribute_ >= 0 ? element.attributes[attribute_].value : element.text;
  return true;
}

bool ScriptNode::HasChildren() const {
  return !IsNull() && attribute_ < 0 && !document_->elements_[element_].children.empty();
}

bool ScriptNode::GetChildren(std::vector<ScriptNode>* children) const {
  children->clear();
  if (IsNull() || attribute_ >= 0) return false;
  const auto& indexes = document_->elements_[element_].children;
  children->reserve(indexes.size());
  for (int32_t index : indexes) children->push_back(ScriptNode(document_, index, -1));
  return true;
}

bool ScriptNode::GetAttributeCount(size_t* count) const {
  *count = 0;
  if (IsNull() || attribute_ >= 0) return false;
  *count = document_->elements_[element_].attributes.size();
  return true;
}

bool ScriptNode::GetAttribute(size_t index, ScriptNode* attribute) const {
  *attribute = ScriptNode();
  if (IsNull() || attribute_ >= 0) return false;
  if (index >= document_->elements_[element_].attributes.size()) return false;
  *attribute = ScriptNode(document_, element_, static_cast<int32_t>(index));
  return true;
}

bool ScriptNode::GetAttributeByName(const std::string& name, ScriptNode* attribute) const {
  *attribute = ScriptNode();
  if (IsNull() || attribute_ >= 0) return false;
  const auto& list = document_->elements_[element_].attributes;
  const auto found = std::lower_bound(
      list.begin(), list.end(), name,
      [](const ScriptDocument::Attribute& a, const std::string& n) { return a.name < n; });
  if (found == list.end() || found->name != name) return false;
  *attribute = ScriptNode(document_, element_, static_cast<int32_t>(found - list.begin()));
  return true;
}

bool ScriptNode::GetParent(ScriptNode* parent) const {
  *parent = ScriptNode();
  if (IsNull()) return false;
  if (attribute_ >= 0) {
    *parent = ScriptNode(document_, element_, -1);
    return true;
  }
  const int32_t index = document_->elements_[element_].parent;
  if (index < 0) return false;
  *parent = ScriptNode(document_, index, -1);
  return true;
}

// ------------------------------------------------------------ ScriptDocument

bool ScriptDocument::Load(const std::string& path) {
  std::string bytes;
  sys::ReadWholeFile(path, &bytes);  // unreadable: no bytes, no root
  LoadFromBytes(bytes);
  return true;
}

void ScriptDocument::LoadFromBytes(std::string_view bytes) {
  elements_.clear();
  open_ = -2;
  ScriptParser(bytes, this).Parse();
}

ScriptNode ScriptDocument::Root() const {
  return HasRoot() ? ScriptNode(this, 0, -1) : ScriptNode();
}

void ScriptDocument::StartElement(const std::string& name,
                                  const std::vector<Attribute>& attributes) {
  Element element;
  element.name = name;
  element.attributes = attributes;
  // Byte order of the names; of two equal names the first one read stays.
  std::stable_sort(element.attributes.begin(), element.attributes.end(),
                   [](const Attribute& a, const Attribute& b) { return a.name < b.name; });
  element.attributes.erase(
      std::unique(element.attributes.begin(), element.attributes.end(),
                  [](const Attribute& a, const Attribute& b) { return a.name == b.name; }),
      element.attributes.end());

  const auto index = static_cast<int32_t>(elements_.size());
  if (open_ != -2) {
    // After the root has ended the document stands for it, so a further
    // top-level element becomes the root's last child.
    element.parent = open_ == -1 ? 0 : open_;
    elements_[element.parent].children.push_back(index);
  }
  elements_.push_back(std::move(element));
  open_ = index;
}

void ScriptDocument::EndElement() {
  if (open_ >= 0) open_ = elements_[open_].parent;
}

void ScriptDocument::AddText(const std::string& text) {
  if (open_ == -2) return;  // before the root: dropped
  elements_[open_ == -1 ? 0 : open_].text += text;
}

// -------------------------------------------------------------- ScriptParser

ScriptParser::ScriptParser(std::string_view bytes, ScriptDocument* document) : document_(document) {
  text_.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\0') break;
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text_.push_back(bytes[i]);
  }
}

int ScriptParser::Peek() const {
  return position_ < text_.size() ? static_cast<unsigned char>(text_[position_]) : -1;
}

int ScriptParser::Next() {
  const int c = Peek();
  if (c != -1) ++position_;
  return c;
}

void ScriptParser::HandOver() {
  if (!pending_.empty()) document_->AddText(pending_);
  pending_.clear();
  pendingKind_ = 0;
}

void ScriptParser::AddCharacterData(char c) {
  // White space and other characters arrive as separate runs. It matters only
  // at the end of the file, where the unfinished run is dropped.
  const int kind = IsSpace(static_cast<unsigned char>(c)) ? 1 : 2;
  if (pendingKind_ != 0 && kind != pendingKind_) HandOver();
  pending_.push_back(c);
  pendingKind_ = kind;
}

void ScriptParser::Parse() {
  for (int c = Next(); c != -1; c = Next()) {
    if (c == '&') {
      pending_ += ReadReference();
      continue;
    }
    if (c != '<') {
      AddCharacterData(static_cast<char>(c));
      continue;
    }
    HandOver();
    const int d = Next();
    if (d == '!' || d == '?') {
      SkipMarkup();
    } else if (d == '/') {
      ReadEndTag();
    } else if (IsNameStart(d)) {
      ReadStartTag(static_cast<char>(d));
    }
    // Anything else: "<" and that character are dropped.
  }
  // An unfinished run at the end is dropped; open elements stay as they are.
}

std::string ScriptParser::ReadNameAfter(char first) {
  std::string name(1, first);
  while (IsNameChar(Peek())) name.push_back(static_cast<char>(Next()));
  return name;
}

void ScriptParser::SkipMarkup() {
  for (int c = Next(); c != -1 && c != '>'; c = Next()) {
  }
}

std::string ScriptParser::ReadReference() {
  std::string name;
  for (;;) {
    const int c = Next();
    if (c == -1) return std::string();  // no ";" before the end: lost
    if (c == ';') break;
    name.push_back(static_cast<char>(c));
  }
  return ReplaceReference(name);
}

void ScriptParser::ReadEndTag() {
  std::string name;
  while (IsNameChar(Peek())) name.push_back(static_cast<char>(Next()));
  Next();  // whatever ends the name is consumed, even when it is not ">"
  if (!open_.empty() && open_.back() == name) {
    open_.pop_back();
    document_->EndElement();
  }
}

bool ScriptParser::ReadAttribute(char first, ScriptDocument::Attribute* attribute) {
  attribute->name = ReadNameAfter(first);
  attribute->value.clear();
  while (IsSpace(Peek())) Next();
  if (Next() != '=') return false;
  while (IsSpace(Peek())) Next();
  const int quote = Next();
  if (quote != '"' && quote != '\'') return false;
  for (;;) {
    const int c = Next();
    if (c == -1 || c == quote) return true;  // the end of the file ends the value
    if (c == '<') return false;
    if (c == '&') {
      attribute->value += ReadReference();
    } else {
      attribute->value.push_back(static_cast<char>(c));
    }
  }
}

void ScriptParser::ReadStartTag(char first) {
  const std::string name = ReadNameAfter(first);
  std::vector<ScriptDocument::Attribute> attributes;
  bool empty = false;
  for (;;) {
    const int c = Next();
    if (c == -1 || c == '>') break;
    if (IsSpace(c)) continue;
    if (c == '/') {
      const int d = Next();
      if (d == '>') {
        empty = true;
        break;
      }
      if (d == -1) break;
      return;  // dropped; the rest of the tag is read as character data
    }
    if (!IsNameStart(c)) return;  // dropped, as above
    ScriptDocument::Attribute attribute;
    if (ReadAttribute(static_cast<char>(c), &attribute)) attributes.push_back(std::move(attribute));
  }
  document_->StartElement(name, attributes);
  if (empty) {
    document_->EndElement();
  } else {
    open_.push_back(name);
  }
}
