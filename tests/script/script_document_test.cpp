#include "script/script_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

// Compact form of a tree: name[attr=value;...]'text'(children...); "-" when
// there is no root. Line feeds in texts show as "|".
std::string Show(const std::string& text) {
  std::string shown;
  for (char c : text) shown += c == '\n' ? std::string("|") : std::string(1, c);
  return shown;
}

std::string Print(const ScriptNode& node) {
  std::string name, text, out;
  if (!node.GetName(&name)) return "-";
  node.GetText(&text);
  out = name;
  size_t count = 0;
  node.GetAttributeCount(&count);
  for (size_t i = 0; i < count; ++i) {
    ScriptNode attribute;
    std::string key, value;
    EXPECT_TRUE(node.GetAttribute(i, &attribute));
    attribute.GetName(&key);
    attribute.GetText(&value);
    out += (i == 0 ? "[" : ";") + key + "=" + Show(value) + (i + 1 == count ? "]" : "");
  }
  if (!text.empty()) out += "'" + Show(text) + "'";
  std::vector<ScriptNode> children;
  EXPECT_TRUE(node.GetChildren(&children));
  EXPECT_EQ(node.HasChildren(), !children.empty());
  for (size_t i = 0; i < children.size(); ++i) {
    out += (i == 0 ? "(" : " ") + Print(children[i]) + (i + 1 == children.size() ? ")" : "");
  }
  return out;
}

std::string Parse(const std::string& bytes) {
  ScriptDocument document;
  document.LoadFromBytes(bytes);
  return Print(document.Root());
}

struct ParseCase {
  std::string input;
  std::string tree;
};

const ParseCase kCases[] = {
    // Nothing to build a root from.
    {"", "-"},
    {"just text", "-"},
    {"<!-- only a comment -->", "-"},
    {"<?xml version=\"1.0\"?><!DOCTYPE x><R/>", "R"},
    // Attributes: byte order of names, first occurrence wins.
    {"<R><FILES b=\"2\" a=\"1\"/></R>", "R(FILES[a=1;b=2])"},
    {"<R x='1' Y='2' _z='3'/>", "R[Y=2;_z=3;x=1]"},
    {"<R a='1' a='2'/>", "R[a=1]"},
    {"<R a = \"x'y\" b='x\"y'/>", "R[a=x'y;b=x\"y]"},
    // Text only, white space only, or a comment: no children.
    {"<R>  hello\n world </R>", "R'  hello| world '"},
    {"<R>\n\t</R>", "R'|\t'"},
    {"<R><!-- note --></R>", "R"},
    {"<R>a<B/>b<C>c</C>d</R>", "R'abd'(B C'c')"},
    // References.
    {"<R a='&quote;&quot;&apos;&amp;&lt;&gt;'/>", "R[a=\"\"'&<>]"},
    {"<R>&#65;&#x41;&#x6a;&#x6A;&nbsp;&#;&9x;</R>", "R'AAjj'"},
    {"<R>&#6Z;</R>", "R'<'"},          // a non-digit counts as 0: 60
    {"<R>&#65601;</R>", "R'A'"},       // cut to 16 bits: 65601 - 65536 = 65
    {"<R a='&amp' b='c'/>", "R[a=]"},  // the reference runs to the next ";"
    // A ">" inside a comment ends it; the rest is text.
    {"<R><!-- a > b --></R>", "R' b -->'"},
    {"<!-- a > b --><R/>", "R"},
    // End tags: exact case; the character after the name is consumed.
    {"<R><a>x</A>y</a>z</R>", "R'z'(a'xy')"},
    {"<R><a></a >b</R>", "R'>b'(a)"},
    {"<R></R>tail<B/>", "R'tail'(B)"},
    {"<R/><B x='1'/><C/>", "R(B[x=1] C)"},
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
    {"<R a", "R"},
    {"<R>x&amp", "R"},
    // Text mode and the end at a zero byte.
    {"<R>a\r\nb\rc</R>", "R'a|b\rc'"},
    {std::string("<R><A/>\0<B/></R>", 16), "R(A)"},
    // Names: letters, digits, ".", "-", "_", ":"; a signed root's token fits in.
    {"<ROOT_ABCDEFGH><x.y-z:1_/></ROOT_ABCDEFGH>", "ROOT_ABCDEFGH(x.y-z:1_)"},
    {"<1R/><R/>", "R"},
};

TEST(ScriptDocumentTest, ParsesEachCaseIntoItsTree) {
  for (const ParseCase& c : kCases) {
    EXPECT_EQ(Parse(c.input), c.tree) << "input: " << c.input;
  }
}

TEST(ScriptDocumentTest, QueriesOnAttributesAndMissingNodesFail) {
  ScriptDocument document;
  document.LoadFromBytes("<R><S Name='n' name='m'>t</S></R>");
  std::vector<ScriptNode> children;
  ASSERT_TRUE(document.Root().GetChildren(&children));
  ASSERT_EQ(children.size(), 1u);
  const ScriptNode section = children[0];

  ScriptNode attribute;
  std::string value;
  ASSERT_TRUE(section.GetAttributeByName("name", &attribute));
  attribute.GetText(&value);
  EXPECT_EQ(value, "m");
  EXPECT_FALSE(section.GetAttributeByName("NAME", &attribute));
  EXPECT_TRUE(attribute.IsNull());
  EXPECT_FALSE(section.GetAttribute(2, &attribute));

  ASSERT_TRUE(section.GetAttribute(0, &attribute));
  EXPECT_TRUE(attribute.IsAttribute());
  EXPECT_FALSE(attribute.HasChildren());
  EXPECT_FALSE(attribute.GetChildren(&children));
  ScriptNode parent;
  ASSERT_TRUE(attribute.GetParent(&parent));
  EXPECT_EQ(parent, section);
  ASSERT_TRUE(section.GetParent(&parent));
  EXPECT_EQ(parent, document.Root());
  EXPECT_FALSE(document.Root().GetParent(&parent));

  const ScriptNode none;
  std::string name = "stale";
  size_t count = 7;
  EXPECT_FALSE(none.GetName(&name));
  EXPECT_EQ(name, "");
  EXPECT_FALSE(none.GetAttributeCount(&count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(none.HasChildren());
}

TEST(ScriptDocumentTest, LoadReadsAFileAndAMissingFileGivesNoRoot) {
  testing_support::ScratchFolder folder;
  testing_support::WriteFile(folder / "a.tov",
                             "<R>\r\n<FILES Logs=\"%TEMP%\\*.log\"/>\r\n</R>\r\n");
  ScriptDocument document;
  EXPECT_TRUE(document.Load(folder / "a.tov"));
  EXPECT_EQ(Print(document.Root()), "R'||'(FILES[Logs=%TEMP%\\*.log])");
  EXPECT_TRUE(document.Load(folder / "missing.tov"));
  EXPECT_FALSE(document.HasRoot());
}

TEST(ScriptDocumentTest, DeepNestingNeitherRecursesNorCrashes) {
  const int depth = 100000;
  std::string bytes;
  for (int i = 0; i < depth; ++i) bytes += "<a x='1'>";
  for (int i = 0; i < depth; ++i) bytes += "</a>";
  bytes += "<b/>";

  ScriptDocument document;
  document.LoadFromBytes(bytes);
  ScriptDocument copy = document;  // copying is flat as well
  int levels = 0;
  for (ScriptNode node = copy.Root(); !node.IsNull(); ++levels) {
    std::vector<ScriptNode> children;
    node.GetChildren(&children);
    node = children.empty() ? ScriptNode() : children.front();
  }
  EXPECT_EQ(levels, depth);
  std::vector<ScriptNode> children;
  copy.Root().GetChildren(&children);
  EXPECT_EQ(children.size(), 2u);  // the nested a, and b after the root ended

  // Unclosed to the end of the file, too.
  std::string open;
  for (int i = 0; i < depth; ++i) open += "<a>";
  document.LoadFromBytes(open);
  EXPECT_EQ(document.elements().size(), static_cast<size_t>(depth));
}

}  // namespace
