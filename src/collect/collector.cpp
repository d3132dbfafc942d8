#include "collect/collector.h"

bool ActionElement::Attribute(size_t node, const std::string& name, std::string* value) const {
  value->clear();
  if (node >= nodes.size()) return false;
  for (const auto& attribute : nodes[node].attributes) {
    if (attribute.first == name) {
      *value = attribute.second;
      return true;
    }
  }
  return false;
}
