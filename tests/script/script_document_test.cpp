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
      {"<R x='1' Y='2' _z='3'/>", "R[Y=2][_z=3][x=1]"},
      {"<R a = \"x'y\" b='x\"y' a='2'/>", "R[a=x'y][b=x\"y]"},
      // Text only, white space only, or a comment: no children.
      {"<R>\n\t<!-- note --></R>", "R'\n\t'"},
      {"<R>a<B/>b<C>c</C>d</R>", "R'abd'(B)(C'c')"},
      // References.
      {"<R a='&quote;&quot;&apos;&amp;&lt;&gt;'/>", "R[a=\"\"'&<>]"},
      // A non-digit counts as 0 (&#6Z; is 60), the value is cut to 16 bits;
      // up to 255 it is the byte itself.
      {"<R>&#65;&#x41;&#x6a;&#x6A;&nbsp;&#;&9x;&#6Z;&#65601;&#255;&#256;</R>", "R'AAjj<A\xff?'"},
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

// Positions are what a checking tool points at; CR LF counts as one line
// end, a tab as one column.
TEST(ScriptDocumentTest, KeepsWhereElementsAndAttributesStand) {
  ScriptDocument document;
  document.LoadFromBytes("<R>\r\n\t<FILES  b=\"2\"\r\n a='x'/></R>");
  const auto& files = document.elements()[1];
  EXPECT_EQ(files.position.line, 2);
  EXPECT_EQ(files.position.column, 2);
  ASSERT_EQ(files.attributes.size(), 2u);
  EXPECT_EQ(files.attributes[0].position.line, 3);  // a, sorted first
  EXPECT_EQ(files.attributes[0].position.column, 2);
  EXPECT_EQ(files.attributes[0].valuePosition.column, 5);
  EXPECT_EQ(files.attributes[1].position.column, 10);
  EXPECT_TRUE(document.problems().empty());
}

TEST(ScriptDocumentTest, NotesWhatItDropsWithoutReadingOtherwise) {
  const struct {
    std::string input;
    std::string problems;  // "line:column message|..."
  } kCases[] = {
      {"<R><A></B></R>",
       "1:7 end tag </B> does not match the open element <A>|"
       "1:11 end tag </R> does not match the open element <A>|"
       "1:1 element <R> is never closed|1:4 element <A> is never closed"},
      {"<R></R >",
       "1:4 end tag </R> is followed by ' ', which it swallows; the rest is read as text|"
       "1:8 text after the root element"},
      {"<R a=1/>", "1:4 attribute 'a' is dropped: its value needs quotes"},
      {"<R a='<'/>",
       "1:7 attribute 'a' is dropped: '<' in its value|"
       "1:8 element <R> is dropped: unexpected ''' in its tag|"
       "1:9 text before the root element is ignored|1:1 no element: the script does nothing"},
      {"<R a/>",
       "1:4 attribute 'a' is dropped: '=' expected after its name|"
       "1:1 element <R> is never closed"},
      {"<R $/>",
       "1:4 element <R> is dropped: unexpected '$' in its tag|"
       "1:5 text before the root element is ignored|1:1 no element: the script does nothing"},
      {"<R/>x<S/>",
       "1:5 text after the root element|1:6 element <S> after the end of the root element"},
      {"<R>&nbsp;&amp;&apos;&quote;&quot;&lt;&gt;</R>",
       "1:4 unknown reference '&nbsp;' is replaced by nothing"},
      {"<R>&amp</R>",
       "1:4 '&' without ';': the rest of the file is lost|1:1 element <R> is never closed"},
      {"<!-- a > b --><R/>",
       "1:8 the comment ends at this '>'; what follows is read as text|"
       "1:10 text before the root element is ignored"},
      {"<R/><!-- a -->", ""},
      {std::string("<R/>\0<S/>", 9), "1:5 reading stops at a zero byte"},
  };
  for (const auto& c : kCases) {
    ScriptDocument document;
    document.LoadFromBytes(c.input);
    std::string problems;
    for (const ReadProblem& p : document.problems()) {
      problems += (problems.empty() ? "" : "|") + std::to_string(p.position.line) + ":" +
                  std::to_string(p.position.column) + " " + p.message;
    }
    EXPECT_EQ(problems, c.problems) << c.input;
  }
}

}  // namespace
