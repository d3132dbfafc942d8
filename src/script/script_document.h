#pragma once
// The script reader: a small, forgiving XML reader that turns a script file
// into a tree of elements. It never reports an error; whatever it cannot make
// sense of is dropped and reading goes on.
//
// The tree is held flat inside the document (one record per element, linked
// by index), so however deep a script nests, building, copying and destroying
// a document never recurse. ScriptNode is a small handle into that table.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ScriptDocument;

// An element or an attribute of a loaded document. A handle: cheap to copy,
// valid while its document lives and is not loaded again. A default-made
// handle is the null node, for which every query fails.
//
// Queries return false on failure and then leave their out-parameter empty
// (cleared string, empty list, null node, zero count).
class ScriptNode {
 public:
  ScriptNode() = default;

  bool IsNull() const { return document_ == nullptr; }
  bool IsAttribute() const { return document_ != nullptr && attribute_ >= 0; }

  // Element name, or attribute name.
  bool GetName(std::string* name) const;
  // Element: all character data directly inside it, concatenated in reading
  // order, references replaced. Attribute: its value.
  bool GetText(std::string* text) const;

  // Whether the element has child elements (text never counts). False for
  // attributes and the null node.
  bool HasChildren() const;
  // Child elements in document order. Fails for attributes and the null node;
  // an element without children succeeds with an empty list.
  bool GetChildren(std::vector<ScriptNode>* children) const;

  // Attributes are ordered by ascending byte order of their names
  // (case-sensitive: "Y" < "_z" < "x"); each name occurs once.
  bool GetAttributeCount(size_t* count) const;
  // The attribute at 0-based `index` in that order, as a node whose name is
  // the attribute name and whose text is the value. Fails when out of range.
  bool GetAttribute(size_t index, ScriptNode* attribute) const;
  // The attribute of exactly this name (case-sensitive). Fails when absent.
  bool GetAttributeByName(const std::string& name, ScriptNode* attribute) const;

  // The enclosing element; for an attribute, its element. Fails for the root
  // element, whose parent is the document rather than an element.
  bool GetParent(ScriptNode* parent) const;

  friend bool operator==(const ScriptNode& a, const ScriptNode& b) {
    return a.document_ == b.document_ && a.element_ == b.element_ && a.attribute_ == b.attribute_;
  }
  friend bool operator!=(const ScriptNode& a, const ScriptNode& b) { return !(a == b); }

 private:
  friend class ScriptDocument;
  ScriptNode(const ScriptDocument* document, int32_t element, int32_t attribute)
      : document_(document), element_(element), attribute_(attribute) {}

  const ScriptDocument* document_ = nullptr;
  int32_t element_ = -1;
  int32_t attribute_ = -1;  // -1: the node is the element itself
};

class ScriptDocument {
 public:
  struct Attribute {
    std::string name;
    std::string value;
  };
  struct Element {
    std::string name;
    std::string text;
    int32_t parent = -1;  // -1: the document (this is the root)
    std::vector<int32_t> children;
    std::vector<Attribute> attributes;  // ascending by name, names unique
  };

  ScriptDocument() = default;

  // Reads the file at `path` and builds the tree. Always true: a file that
  // cannot be read gives a document without a root.
  bool Load(const std::string& path);
  // The same from bytes already in memory (a file's raw content).
  void LoadFromBytes(std::string_view bytes);

  bool HasRoot() const { return !elements_.empty(); }
  // The document stands for its root element: every query goes to this node.
  // Without a root it is the null node, so every query fails.
  ScriptNode Root() const;

  // The flat table (index 0 is the root), for tests and tools.
  const std::vector<Element>& elements() const { return elements_; }

 private:
  friend class ScriptNode;
  friend class ScriptParser;

  // Parser events.
  void StartElement(const std::string& name, const std::vector<Attribute>& attributes);
  void EndElement();
  void AddText(const std::string& text);

  std::vector<Element> elements_;
  // -2 before the root's start tag, -1 the document itself (after the
  // root's end tag), otherwise the open element.
  int32_t open_ = -2;
};

// Reads script bytes and feeds the document's events. Text mode: a CR LF pair
// arrives as LF. Reading stops at the first zero byte, where the signature's
// text also ends, so nothing unsigned can follow it into the tree.
class ScriptParser {
 public:
  ScriptParser(std::string_view bytes, ScriptDocument* document);
  void Parse();

 private:
  int Peek() const;  // next character, or -1 at the end
  int Next();        // consumes it

  void HandOver();  // passes the pending character-data run on
  void AddCharacterData(char c);
  void ReadStartTag(char first);
  void ReadEndTag();
  void SkipMarkup();
  // Returns false when the attribute is invalid (not to be added).
  bool ReadAttribute(char first, ScriptDocument::Attribute* attribute);
  std::string ReadReference();
  std::string ReadNameAfter(char first);

  std::string text_;
  size_t position_ = 0;
  ScriptDocument* document_;
  std::vector<std::string> open_;
  std::string pending_;
  int pendingKind_ = 0;  // 0 none yet, 1 white space, 2 other characters
};
