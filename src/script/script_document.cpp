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

bool IsNamedReference(const std::string& name) {
  for (const char* known : {"amp", "apos", "quot", "quote", "lt", "gt"}) {
    if (name == known) return true;
  }
  return !name.empty() && name[0] == '#';
}

// A character as a message shows it.
std::string Shown(int c) {
  if (c == -1) return "the end of the file";
  if (c == '\n') return "a line end";
  if (c < 32 || c > 126) return "a control or non-ASCII byte";
  return std::string("'") + static_cast<char>(c) + "'";
}

// A long piece of the file, cut for a message.
std::string Cut(const std::string& text) {
  const size_t kShown = 24;
  std::string shown = text.substr(0, text.find('\n'));
  if (shown.size() > kShown || shown.size() < text.size()) {
    shown.resize(std::min(shown.size(), kShown));
    shown += "...";
  }
  return shown;
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

bool ScriptNode::GetPosition(SourcePosition* position) const {
  *position = SourcePosition();
  if (IsNull()) return false;
  const auto& element = document_->elements_[element_];
  *position = attribute_ >= 0 ? element.attributes[attribute_].position : element.position;
  return true;
}

bool ScriptNode::GetValuePosition(SourcePosition* position) const {
  *position = SourcePosition();
  if (!IsAttribute()) return false;
  *position = document_->elements_[element_].attributes[attribute_].valuePosition;
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
  problems_.clear();
  open_ = -2;
  ScriptParser(bytes, this).Parse();
}

ScriptNode ScriptDocument::Root() const {
  return HasRoot() ? ScriptNode(this, 0, -1) : ScriptNode();
}

void ScriptDocument::StartElement(const std::string& name, const std::vector<Attribute>& attributes,
                                  SourcePosition position) {
  Element element;
  element.name = name;
  element.position = position;
  element.attributes = attributes;
  // Byte order of the names; of two equal names the first one read stays.
  std::stable_sort(element.attributes.begin(), element.attributes.end(),
                   [](const Attribute& a, const Attribute& b) { return a.name < b.name; });
  for (size_t i = 1; i < element.attributes.size(); ++i) {
    const Attribute& repeated = element.attributes[i];
    if (repeated.name == element.attributes[i - 1].name) {
      Problem(repeated.position,
              "attribute '" + repeated.name + "' is repeated; the first one counts",
              "Attribute " + repeated.name + " of <" + name + "> on line " +
                  std::to_string(repeated.position.line) +
                  " was dropped: an attribute of that name comes before it");
    }
  }
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

void ScriptDocument::Problem(SourcePosition position, std::string message, std::string loss) {
  problems_.push_back(ReadProblem{position, std::move(message), std::move(loss)});
}

void ScriptDocument::AddText(const std::string& text) {
  if (open_ == -2) return;  // before the root: dropped
  elements_[open_ == -1 ? 0 : open_].text += text;
}

// -------------------------------------------------------------- ScriptParser

ScriptParser::ScriptParser(std::string_view bytes, ScriptDocument* document) : document_(document) {
  text_.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\0') {
      stoppedAtZero_ = true;
      break;
    }
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text_.push_back(bytes[i]);
  }
  // CR LF became LF above, so counting LF gives the file's own lines.
  lineStarts_.push_back(0);
  for (size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\n') lineStarts_.push_back(i + 1);
  }
}

SourcePosition ScriptParser::PositionAt(size_t offset) const {
  const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
  SourcePosition position;
  position.line = static_cast<int32_t>(next - lineStarts_.begin());
  position.column = static_cast<int32_t>(offset - *(next - 1) + 1);
  return position;
}

void ScriptParser::Problem(size_t offset, std::string message, std::string loss) {
  document_->Problem(PositionAt(offset), std::move(message), std::move(loss));
}

std::string ScriptParser::Dropped(size_t offset, const std::string& what,
                                  const std::string& reason) const {
  return what + " on line " + std::to_string(PositionAt(offset).line) + " was dropped: " + reason;
}

std::string ScriptParser::Loss(bool say, size_t offset, const std::string& what,
                               const std::string& reason) const {
  return say ? Dropped(offset, what, reason) : std::string();
}

std::string ScriptParser::RestLost(size_t offset, const std::string& how) const {
  return "The rest of the script from line " + std::to_string(PositionAt(offset).line) + " " + how;
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
  if (kind == 2 && open_.empty()) {
    const bool beforeRoot = !document_->HasRoot();
    bool& noted = beforeRoot ? textBeforeRootNoted_ : textAfterRootNoted_;
    if (!noted) {
      Problem(position_ - 1, beforeRoot ? "text before the root element is ignored"
                                        : "text after the root element");
      noted = true;
    }
  }
  if (pendingKind_ != 0 && kind != pendingKind_) HandOver();
  pending_.push_back(c);
  pendingKind_ = kind;
}

void ScriptParser::Parse() {
  for (int c = Next(); c != -1; c = Next()) {
    const size_t at = position_ - 1;
    if (c == '&') {
      pending_ += ReadReference(at);
      continue;
    }
    if (c != '<') {
      AddCharacterData(static_cast<char>(c));
      continue;
    }
    HandOver();
    const int d = Next();
    if (d == '!' || d == '?') {
      SkipMarkup(at);
    } else if (d == '/') {
      ReadEndTag(at);
    } else if (IsNameStart(d)) {
      ReadStartTag(static_cast<char>(d), at);
    } else {
      // "<" and that character are dropped, and a tag they began is text.
      Problem(at, "'<' followed by " + Shown(d) + " is dropped",
              Dropped(at, "Markup", "'<' is followed by " + Shown(d)));
    }
  }
  // An unfinished run at the end is dropped; open elements stay as they are.
  for (size_t i = 0; i < open_.size(); ++i) {
    Problem(openAt_[i], "element <" + open_[i] + "> is never closed");
  }
  if (stoppedAtZero_) Problem(text_.size(), "reading stops at a zero byte");
  if (!document_->HasRoot()) Problem(0, "no element: the script does nothing");
}

std::string ScriptParser::ReadNameAfter(char first) {
  std::string name(1, first);
  while (IsNameChar(Peek())) name.push_back(static_cast<char>(Next()));
  return name;
}

void ScriptParser::SkipMarkup(size_t markupStart) {
  const size_t contentStart = position_;
  int c = Next();
  for (; c != -1 && c != '>'; c = Next()) {
  }
  const std::string content = text_.substr(contentStart, position_ - contentStart);
  if (c == -1) {
    const std::string markup = "markup '<" + Cut(text_.substr(markupStart + 1)) + "'";
    Problem(markupStart, markup + " has no '>': the rest of the file is skipped",
            RestLost(markupStart, "was dropped: " + markup + " has no '>'"));
  } else if (content.compare(0, 2, "--") == 0 &&
             (content.size() < 5 || content.compare(content.size() - 3, 2, "--") != 0)) {
    // No nesting of markup here: a comment ends at its first ">".
    Problem(position_ - 1, "the comment ends at this '>'; what follows is read as text");
  }
}

std::string ScriptParser::ReadReference(size_t ampersand) {
  std::string name;
  for (;;) {
    const int c = Next();
    if (c == -1) {
      // No ";" before the end: lost.
      Problem(ampersand, "'&' without ';': the rest of the file is lost",
              RestLost(ampersand, "was dropped: '&' has no ';' after it"));
      return std::string();
    }
    if (c == ';') break;
    name.push_back(static_cast<char>(c));
  }
  if (!IsNamedReference(name)) {
    Problem(ampersand, "unknown reference '&" + Cut(name) + ";' is replaced by nothing");
  }
  return ReplaceReference(name);
}

void ScriptParser::ReadEndTag(size_t tagStart) {
  std::string name;
  while (IsNameChar(Peek())) name.push_back(static_cast<char>(Next()));
  const int end = Next();  // whatever ends the name is consumed, even when it is not ">"
  const std::string tag = "</" + name + ">";
  if (!open_.empty() && open_.back() == name) {
    open_.pop_back();
    openAt_.pop_back();
    document_->EndElement();
  } else if (open_.empty()) {
    Problem(tagStart, "end tag " + tag + " with no element open is ignored");
    return;
  } else {
    Problem(tagStart, "end tag " + tag + " does not match the open element <" + open_.back() + ">");
    return;
  }
  if (end != '>') {
    Problem(tagStart, "end tag " + tag + " is followed by " + Shown(end) +
                          ", which it swallows; the rest is read as text");
  }
}

bool ScriptParser::ReadAttribute(char first, size_t nameStart, const std::string& element,
                                 bool sayLoss, ScriptDocument::Attribute* attribute) {
  attribute->name = ReadNameAfter(first);
  attribute->value.clear();
  attribute->position = PositionAt(nameStart);
  const std::string dropped = "attribute '" + attribute->name + "' is dropped: ";
  const std::string what = "Attribute " + attribute->name + " of <" + element + ">";
  while (IsSpace(Peek())) Next();
  if (Next() != '=') {
    Problem(nameStart, dropped + "'=' expected after its name",
            Loss(sayLoss, nameStart, what, "'=' is missing after its name"));
    return false;
  }
  while (IsSpace(Peek())) Next();
  const int quote = Next();
  if (quote != '"' && quote != '\'') {
    Problem(nameStart, dropped + "its value needs quotes",
            Loss(sayLoss, nameStart, what, "its value is not in quotes"));
    return false;
  }
  attribute->valuePosition = PositionAt(position_);
  for (;;) {
    const size_t at = position_;
    const int c = Next();
    if (c == -1) {
      // The end of the file ends the value.
      Problem(nameStart, "the value of attribute '" + attribute->name + "' has no closing quote",
              RestLost(nameStart, "was read into the value of attribute " + attribute->name +
                                      " of <" + element + ">: its closing quote is missing"));
      return true;
    }
    if (c == quote) return true;
    if (c == '<') {
      Problem(at, dropped + "'<' in its value",
              Loss(sayLoss, nameStart, what, "its value holds '<'"));
      return false;
    }
    if (c == '&') {
      attribute->value += ReadReference(at);
    } else {
      attribute->value.push_back(static_cast<char>(c));
    }
  }
}

void ScriptParser::ReadStartTag(char first, size_t tagStart) {
  const std::string name = ReadNameAfter(first);
  std::vector<ScriptDocument::Attribute> attributes;
  bool empty = false;
  bool attributeLost = false;
  const std::string dropped = "element <" + name + "> is dropped: ";
  for (;;) {
    const size_t at = position_;
    const int c = Next();
    if (c == '>') break;
    if (c == -1) {
      Problem(tagStart, "the tag of <" + name + "> has no '>'");
      break;
    }
    if (IsSpace(c)) continue;
    if (c == '/') {
      const int d = Next();
      if (d == '>') {
        empty = true;
        break;
      }
      if (d == -1) break;
      // Dropped; the rest of the tag is read as character data.
      Problem(at, dropped + "'/' not followed by '>'",
              Dropped(tagStart, "Element <" + name + ">", "'/' in its tag is not followed by '>'"));
      return;
    }
    if (!IsNameStart(c)) {
      Problem(at, dropped + "unexpected " + Shown(c) + " in its tag",
              Dropped(tagStart, "Element <" + name + ">", "its tag holds " + Shown(c)));
      return;
    }
    ScriptDocument::Attribute attribute;
    if (ReadAttribute(static_cast<char>(c), at, name, !attributeLost, &attribute)) {
      attributes.push_back(std::move(attribute));
    } else {
      attributeLost = true;
    }
  }
  if (document_->HasRoot() && open_.empty()) {
    Problem(tagStart, "element <" + name + "> after the end of the root element");
  }
  document_->StartElement(name, attributes, PositionAt(tagStart));
  if (empty) {
    document_->EndElement();
  } else {
    open_.push_back(name);
    openAt_.push_back(tagStart);
  }
}
