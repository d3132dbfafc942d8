// The script reader: any bytes in, a tree out, and every query on every node
// consistent with the tree. A broken invariant aborts, so libFuzzer keeps it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "script/script_document.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckAttributes(const ScriptNode& element) {
  size_t count = 0;
  Require(element.GetAttributeCount(&count));
  std::string previous;
  for (size_t i = 0; i < count; ++i) {
    ScriptNode attribute, byName, parent;
    std::string name, value, again;
    Require(element.GetAttribute(i, &attribute) && attribute.IsAttribute());
    Require(attribute.GetName(&name) && attribute.GetText(&value) && !name.empty());
    Require(i == 0 || previous < name);  // ascending, each name once
    previous = name;
    Require(element.GetAttributeByName(name, &byName) && byName == attribute);
    Require(attribute.GetParent(&parent) && parent == element);
    Require(!attribute.HasChildren());
    std::vector<ScriptNode> none;
    Require(!attribute.GetChildren(&none) && none.empty());
  }
  ScriptNode outside;
  Require(!element.GetAttribute(count, &outside) && outside.IsNull());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptDocument document;
  document.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  const ScriptDocument copy = document;
  Require(copy.elements().size() == document.elements().size());

  // Walk with an explicit stack, as deep scripts demand of every walker.
  size_t visited = 0;
  std::vector<ScriptNode> stack;
  if (document.HasRoot()) {
    stack.push_back(document.Root());
  } else {
    std::string name = "x";
    Require(!document.Root().GetName(&name) && name.empty());
  }
  while (!stack.empty()) {
    const ScriptNode node = stack.back();
    stack.pop_back();
    ++visited;
    std::string name, text;
    Require(node.GetName(&name) && !name.empty() && node.GetText(&text));
    CheckAttributes(node);
    std::vector<ScriptNode> children;
    Require(node.GetChildren(&children));
    Require(node.HasChildren() == !children.empty());
    for (const ScriptNode& child : children) {
      ScriptNode parent;
      Require(child.GetParent(&parent) && parent == node);
      stack.push_back(child);
    }
  }
  Require(visited == document.elements().size());
  return 0;
}
