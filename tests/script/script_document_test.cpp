#include "script/script_document.h"

#include <gtest/gtest.h>

#include <string>

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
      // Attributes: byte order of names, first occurrence wins.
      {"<R x=\"a'b\" Y='c\"d' _z='3' x='2'/>", "R[Y=c\"d][_z=3][x=a'b]"},
      // References.
      {"<R a='&quote;&quot;&apos;&amp;&lt;&gt;'/>", "R[a=\"\"'&<>]"},
      // A non-digit counts as 0 (&#6Z; is 60), the value is cut to 16 bits;
      // up to 255 it is the byte itself.
      {"<R>&#65;&#x41;&#x6a;&#x6A;&nbsp;&#;&9x;&#6Z;&#65601;&#255;&#256;</R>", "R'AAjj<A\xff?'"},
      // A ">" inside a comment ends it; the rest is text.
      {"<R><!-- a > b --></R>", "R' b -->'"},
      // End tags: exact case; the character after the name is consumed.
      {"<R><a>x</A>y</a>z</R>tail<B x='1'/>", "R'ztail'(a'xy')(B[x=1])"},
      // Broken attributes are dropped; the tag goes on after the failing character.
      {"<R a b='2'/>", "-"},  // "b" is consumed as the missing "=", then "=" drops R
      // End of file: the open elements stay; an unfinished run is dropped.
      {"<R>ab cd", "R'ab '"},
      // Text mode and the end at a zero byte.
      {std::string("<R>a\r\nb\rc<A/>\0<B/></R>", 22), "R'a\nb\rc'(A)"},
      // Names: letters, digits, ".", "-", "_", ":"; a signed root's token fits in.
      {"<ROOT_ABCDEFGH><x.y-z:1_/></ROOT_ABCDEFGH>", "ROOT_ABCDEFGH(x.y-z:1_)"},
  };
  for (const auto& c : kCases) {
    ScriptDocument document;
    document.LoadFromBytes(c.input);
    EXPECT_EQ(Print(document), c.tree) << "input: " << c.input;
  }
}

TEST(ScriptDocumentTest, NotesWhatItDropsWithoutReadingOtherwise) {
  const struct {
    std::string input;
    std::string problems;  // "line:column message|..."
  } kCases[] = {
      {"<R></R >",
       "1:4 end tag </R> is followed by ' ', which it swallows; the rest is read as text|"
       "1:8 text after the root element"},
      {"<R a='<'/>",
       "1:7 attribute 'a' is dropped: '<' in its value|"
       "1:8 element <R> is dropped: unexpected ''' in its tag|"
       "1:9 text before the root element is ignored|1:1 no element: the script does nothing"},
      {"<R/>x<S/>",
       "1:5 text after the root element|1:6 element <S> after the end of the root element"},
      {"<R>&amp</R>",
       "1:4 '&' without ';': the rest of the file is lost|1:1 element <R> is never closed"},
      {"<R/><!-- a -->", ""},
      {"<R>&nbsp;&amp;&apos;&quote;&quot;&lt;&gt;&#65;</R>",
       "1:4 unknown reference '&nbsp;' is replaced by nothing"},
      {std::string("<R>a\r\nb\rc</R>\0<S/>", 18), "2:8 reading stops at a zero byte"},
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

// What the run's log calls lost: only what the walk will not see, never
// markup the reader closes or keeps anyway (a signed script's root end tag).
TEST(ScriptDocumentTest, NamesWhatTheWalkLoses) {
  const std::pair<std::string, std::string> kCases[] = {
      {"<R>\n<FILES Logs=C:\\x/>",
       "Attribute Logs of <FILES> on line 2 was dropped: its value is not in quotes"},
      // After the first attribute of a tag only a dropped element is told:
      // the rest of a broken attribute reads as more broken ones.
      {"<R><F a='1' b='<' c/></R>",
       "Attribute b of <F> on line 1 was dropped: its value holds '<'|"
       "Element <F> on line 1 was dropped: its tag holds '''"},
      {"<R><F a='1' a='2'/></R>",
       "Attribute a of <F> on line 1 was dropped: an attribute of that name comes before it"},
      {"<R>\n\n<F a='1'/ ></R>",
       "Element <F> on line 3 was dropped: '/' in its tag is not followed "
       "by '>'"},
      {"<R><1F a='1'/></R>", "Markup on line 1 was dropped: '<' is followed by '1'"},
      {"<R>\n&amp<F a='1'/></R>",
       "The rest of the script from line 2 was dropped: '&' has no ';' "
       "after it"},
      {"<R><F a='1/>",
       "The rest of the script from line 1 was read into the value of "
       "attribute a of <F>: its closing quote is missing"},
      // Kept though written otherwise: a declaration carrying the checksum
      // token, so that the root's end tag does not match; text outside.
      {"<?xml version='1.0'_ABCDEFGH?><R><F a='1'/></R_ABCDEFGH>x", ""},
  };
  for (const auto& c : kCases) {
    ScriptDocument document;
    document.LoadFromBytes(c.first);
    std::string losses;
    for (const ReadProblem& p : document.problems()) {
      if (!p.loss.empty()) losses += (losses.empty() ? "" : "|") + p.loss;
    }
    EXPECT_EQ(losses, c.second) << c.first;
  }
}

}  // namespace
