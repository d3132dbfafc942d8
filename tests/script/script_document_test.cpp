#include "script/script_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Compact form of a tree: name[attr=value]...'text'(child)...; "-" when
// there is no root.
std::string Print(const ScriptDocument& document, int32_t index = 0) {
  if (!document.HasRoot()) return "-";
  const ScriptDocument::Element& e = document.elements()[index];
  std::string out = e.name;
  for (const auto& a : e.attributes) out += "[" + a.name + "=" + a.value + "]";
  if (!e.text.empty()) out += "'" + e.text + "'";
  for (int32_t child : e.children) out += "(" + Print(document, child) + ")";
  return out;
}

TEST(ScriptDocumentTest, ParsesEachCaseIntoItsTree) {
  const struct {
    std::string input;
    std::string tree;
  } kCases[] = {
      // Nothing to build a root from.
      {"just text", "-"},
      {"<?xml version=\"1.0\"?><!DOCTYPE x><R/>", "R"},
      // Attributes: byte order of names, first occurrence wins.
      {"<R><FILES b=\"2\" a=\"1\"/></R>", "R(FILES[a=1][b=2])"},
      {"<R x='1' Y='2' _z='3'/>", "R[Y=2][_z=3][x=1]"},
      {"<R a = \"x'y\" b='x\"y' a='2'/>", "R[a=x'y][b=x\"y]"},
      // Text only, white space only, or a comment: no children.
      {"<R>\n\t<!-- note --></R>", "R'\n\t'"},
      {"<R>a<B/>b<C>c</C>d</R>", "R'abd'(B)(C'c')"},
      // References.
      {"<R a='&quote;&quot;&apos;&amp;&lt;&gt;'/>", "R[a=\"\"'&<>]"},
      // A non-digit counts as 0 (&#6Z; is 60), the value is cut to 16 bits.
      {"<R>&#65;&#x41;&#x6a;&#x6A;&nbsp;&#;&9x;&#6Z;&#65601;</R>", "R'AAjj<A'"},
      {"<R a='&amp' b='c'/>", "R[a=]"},  // the reference runs to the next ";"
      // A ">" inside a comment ends it; the rest is text.
      {"<R><!-- a > b --></R>", "R' b -->'"},
      {"<!-- a > b --><R/>", "R"},
      // End tags: exact case; the character after the name is consumed.
      {"<R><a>x</A>y</a>z</R>", "R'z'(a'xy')"},
      {"<R><a></a >b</R>", "R'>b'(a)"},
      {"<R></R>tail<B x='1'/><C/>", "R'tail'(B[x=1])(C)"},
      // Broken attributes are dropped; the tag goes on after the failing character.
      {"<R a='x<y' b='2'/>", "R[b=2]"},
      {"<R a=x b='2'/>", "R[b=2]"},
      {"<R a b='2'/>", "-"},  // "b" is consumed as the missing "=", then "=" drops R
      {"<R><E a b='2'/></R>", "R''2'/>'"},
      // Dropped elements: "/" not before ">", or a stray character.
      {"<R><E / ></R>", "R'>'"},
      {"<R><E #/></R>", "R'/>'"},
      {"<R>< E/>x</R>", "R'E/>x'"},
      // End of file: the open elements stay; an unfinished run is dropped.
      {"<R>ab cd", "R'ab '"},
      {"<R><E a='1", "R(E[a=1])"},
      {"<R>x&amp", "R"},
      // Text mode and the end at a zero byte.
      {"<R>a\r\nb\rc</R>", "R'a\nb\rc'"},
      {std::string("<R><A/>\0<B/></R>", 16), "R(A)"},
      // Names: letters, digits, ".", "-", "_", ":"; a signed root's token fits in.
      {"<ROOT_ABCDEFGH><x.y-z:1_/></ROOT_ABCDEFGH>", "ROOT_ABCDEFGH(x.y-z:1_)"},
  };
  for (const auto& c : kCases) {
    ScriptDocument document;
    document.LoadFromBytes(c.input);
    EXPECT_EQ(Print(document), c.tree) << "input: " << c.input;
  }
}

TEST(ScriptDocumentTest, QueriesOnAttributesAndMissingNodesFail) {
  ScriptDocument document;
  document.LoadFromBytes("<R><S Name='n' name='m'/></R>");
  std::vector<ScriptNode> children;
  ASSERT_TRUE(document.Root().GetChildren(&children));
  ScriptNode attribute, parent;
  std::string text;
  ASSERT_TRUE(children.at(0).GetAttributeByName("name", &attribute));  // exact case
  EXPECT_TRUE(attribute.GetText(&text) && text == "m");
  EXPECT_FALSE(children[0].GetAttributeByName("NAME", &attribute));
  EXPECT_FALSE(children[0].GetAttribute(2, &attribute));
  EXPECT_TRUE(children[0].GetParent(&parent) && parent == document.Root());
  EXPECT_FALSE(document.Root().GetParent(&parent));

  // A file that cannot be read gives no root (walking it does nothing).
  EXPECT_TRUE(document.Load("no such file.tov"));
  EXPECT_FALSE(document.HasRoot());
}

TEST(ScriptDocumentTest, DeepNestingNeitherRecursesNorCrashes) {
  std::string open, close;
  for (int i = 0; i < 100000; ++i) {
    open += "<a x='1'>";
    close += "</a>";
  }
  // Every end tag matched: what follows the root's end is its child.
  ScriptDocument document;
  document.LoadFromBytes(open + close + "<b/>");
  ScriptDocument copy = document;
  std::vector<ScriptNode> children;
  copy.Root().GetChildren(&children);
  EXPECT_EQ(children.size(), 2u);
}

}  // namespace
