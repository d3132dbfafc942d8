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

// A place in the script file: 1-based line and column (in bytes, a tab
// counting one). Zero for a place that is not known.
struct SourcePosition {
  int32_t line = 0;
  int32_t column = 0;
};

// Something the reader dropped or took otherwise than it is written.
struct ReadProblem {
  SourcePosition position;
  std::string message;
  // When something written in the script is lost to the walk (an
  // attribute, an element, the rest of the file): the sentence the run's
  // log gives it as an ERROR, e.g. "Attribute Logs of <FILES> on line 7
  // was dropped: its value is not in quotes". Empty for what the reader
  // reads otherwise than written but keeps (an end tag that does not
  // match, text outside the root...).
  std::string loss;
};

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

  // Element: where its "<" stands. Attribute: where its name starts.
  bool GetPosition(SourcePosition* position) const;
  // Attribute only: where its value starts, just after the opening quote.
  bool GetValuePosition(SourcePosition* position) const;

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
    SourcePosition position;
    SourcePosition valuePosition;
  };
  struct Element {
    std::string name;
    std::string text;
    int32_t parent = -1;  // -1: the document (this is the root)
    std::vector<int32_t> children;
    std::vector<Attribute> attributes;  // ascending by name, names unique
    SourcePosition position;
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
  // What the last load dropped or took otherwise than written, in the order
  // met. The reading itself is the same with or without anyone looking.
  const std::vector<ReadProblem>& problems() const { return problems_; }

 private:
  friend class ScriptNode;
  friend class ScriptParser;

  // Parser events.
  void StartElement(const std::string& name, const std::vector<Attribute>& attributes,
                    SourcePosition position);
  void EndElement();
  void AddText(const std::string& text);
  void Problem(SourcePosition position, std::string message, std::string loss = std::string());

  std::vector<Element> elements_;
  std::vector<ReadProblem> problems_;
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
  SourcePosition PositionAt(size_t offset) const;
  void Problem(size_t offset, std::string message, std::string loss = std::string());
  // "<what> on line N was dropped: <reason>", N the line of `offset`.
  std::string Dropped(size_t offset, const std::string& what, const std::string& reason) const;
  // Dropped(...) when `say`, else "".
  std::string Loss(bool say, size_t offset, const std::string& what,
                   const std::string& reason) const;
  // "The rest of the script from line N <how>".
  std::string RestLost(size_t offset, const std::string& how) const;

  void HandOver();  // passes the pending character-data run on
  void AddCharacterData(char c);
  void ReadStartTag(char first, size_t tagStart);
  void ReadEndTag(size_t tagStart);
  void SkipMarkup(size_t markupStart);
  // Returns false when the attribute is invalid (not to be added).
  // `sayLoss` false: its loss is not told (a loss in its tag was).
  bool ReadAttribute(char first, size_t nameStart, const std::string& element, bool sayLoss,
                     ScriptDocument::Attribute* attribute);
  std::string ReadReference(size_t ampersand);
  std::string ReadNameAfter(char first);

  std::string text_;
  size_t position_ = 0;
  std::vector<size_t> lineStarts_;  // offsets in text_ where a line begins
  bool stoppedAtZero_ = false;
  bool textBeforeRootNoted_ = false, textAfterRootNoted_ = false;
  ScriptDocument* document_;
  std::vector<std::string> open_;
  std::vector<size_t> openAt_;  // where each open element's "<" stands
  std::string pending_;
  int pendingKind_ = 0;  // 0 none yet, 1 white space, 2 other characters
};
