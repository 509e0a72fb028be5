// The plain text derived from HTML: every rule, and the odd results the
// editor's users rely on.
#include "editor/HtmlToPlainText.h"

#include <gtest/gtest.h>

using namespace postello;

namespace {

using Lines = std::vector<std::string>;

struct TextCase {
  const char* name;
  Lines html;
  Lines text;

  friend void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }
};

class HtmlToPlainTextCases : public ::testing::TestWithParam<TextCase> {};

TEST_P(HtmlToPlainTextCases, GivesTheExpectedLines) {
  const TextCase& c = GetParam();
  EXPECT_EQ(HtmlToPlainText(c.html), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, HtmlToPlainTextCases,
    ::testing::Values(
        // The generated HTML of a one-paragraph plain mail: the div outputs
        // an empty line.
        TextCase{"HalloMail",
                 {"<html><body bgcolor=#FFFFFF>", "<div align=left><font face=Arial size=2 color=#000000>Hallo",
                  "</body></html>"},
                 {"", "Hallo"}},
        TextCase{"BrLower", {"a<br>b"}, {"a", "b"}},
        TextCase{"BrUpper", {"a<BR>b"}, {"a", "b"}},
        TextCase{"BrWithAttribute", {"a<br clear=all>b"}, {"a", "b"}},
        TextCase{"BrSpaceSlash", {"a<br />b"}, {"a", "b"}},
        TextCase{"BrSlashEndsNothing", {"a<br/>b"}, {"ab"}},
        TextCase{"BrOnEmptyLineOutputsIt", {"<br>x"}, {"", "x"}},
        TextCase{"ParagraphEndsEmptyLine", {"<p>x"}, {"", "x"}},
        TextCase{"ParagraphWithClass", {"a<p class=x>b"}, {"a", "b"}},
        TextCase{"ClosingParagraphEndsNothing", {"a</p>b"}, {"ab"}},
        TextCase{"ClosingDivEndsNothing", {"a</div>b"}, {"ab"}},
        TextCase{"DivAlone", {"a<div>b"}, {"a", "b"}},
        TextCase{"DivWithAlign", {"<DIV align=center>b"}, {"", "b"}},
        TextCase{"DivPrefixOfLongerName", {"a<divx>b"}, {"ab"}},
        TextCase{"CellAfterTextFollowsATab", {"a <td>b"}, {"a\tb"}},
        TextCase{"CellOnEmptyLine", {"<td>b"}, {"b"}},
        TextCase{"CellAfterBlanksDropsThem", {"  <td>b"}, {"b"}},
        TextCase{"HeaderCellsAndEmptyCells", {"<th>Artikel</th><TH>Preis<td></td><td>x"}, {"Artikel\tPreis\t\tx"}},
        TextCase{"RowsAreLines",
                 {"<table><tr>", "  <th>Artikel</th>", "  <th>Preis</th>", "</tr><tr><td>Stift</td><td>1,20</td></tr>"},
                 {"Artikel\tPreis", "Stift\t1,20"}},
        TextCase{"RowAfterText", {"a<tr>b"}, {"a", "b"}},
        TextCase{"RowOnEmptyLine", {"<tr><td>b"}, {"b"}},
        TextCase{"CellWithValignTopActsAsParagraph", {"<td valign=top >x"}, {"", "x"}},
        TextCase{"CellWithValignTopNoBlankIsACell", {"<td valign=top>x"}, {"x"}},
        TextCase{"ListItemsGetBullets", {"<ul><li>Erster Punkt</li><li class=x>Zweiter Punkt</li></ul>"},
                 {"- Erster Punkt", "- Zweiter Punkt"}},
        TextCase{"ListItemsOverLines", {"Liste:<ul>", "  <li>", "    Erster", "  </li>", "  <li>Zweiter</li>", "</ul><p>Danach"},
                 {"Liste:", "- Erster", "- Zweiter", "Danach"}},
        TextCase{"AttributeTextCountsToo", {"a<span title=\"P \">b"}, {"a", "b"}},
        TextCase{"GreaterThanInsideQuotesEndsNoTag", {"a<img alt=\"1>2\">b"}, {"ab"}},
        TextCase{"GreaterThanInsideQuotesOfABreak", {"a<br title=\">\">b"}, {"a", "b"}},
        TextCase{"References", {"&#8364; &#x201e;&bdquo;&ldquo; &#150;&#128; &auml;&Uuml;&szlig; &amp;&lt;&gt;&quot; a&nbsp;b"},
                 {"\x80 \x84\x84\x93 \x96\x80 \xE4\xDC\xDF &<>\" a b"}},
        TextCase{"ReferencesTheCodePageLacks", {"1 &#8594; 2 &rarr; 3&#x200B;4 &#x2713; &#1114112; a&#0;b&#10;c&shy;d"},
                 {"1 -> 2 -> 34 ? ? a?b cd"}},
        TextCase{"NoReferenceStaysAsItIs", {"AT&T &amp &unbekannt; &#; &#x; &#12a; &"},
                 {"AT&T &amp &unbekannt; &#; &#x; &#12a; &"}},
        TextCase{"EmptyTagIsNothing", {"a<>b"}, {"ab"}},
        TextCase{"LineEndsBecomeBlanks", {"a", "b"}, {"a b"}},
        TextCase{"NoBlankAfterBlankOnlyLine", {" ", "b"}, {" b"}},
        TextCase{"TrailingBlanksAndTabsGo", {"a \t <br>b\t", ""}, {"a", "b"}},
        TextCase{"RunsOfEmptyLinesBecomeOne", {"<p>", "<br><br>a<br><br><br><p><div>b"}, {"", "a", "", "b"}},
        TextCase{"EmptyInputLinesGiveNothing", {"", ""}, {}},
        TextCase{"LastBlankOnlyLineIsOutputEmpty", {" "}, {""}},
        TextCase{"NoInput", {}, {}},
        TextCase{"TagJoinedOverLinesWithoutSeparator", {"a<b", "r>c"}, {"a", "c"}},
        TextCase{"BreakAttributeOnNextLineIsNoBreak", {"a<br", "clear=all>b"}, {"a b"}},
        TextCase{"QuoteCarriesOverLines", {"<a title=\"x>", "y\">z"}, {"z"}},
        TextCase{"UnfinishedTagIsLost", {"a<b c"}, {"a"}},
        TextCase{"HeadTitleStyleAndScriptAreSkipped",
                 {"<html><head><title>Angebot</title><meta charset=x>", "<STYLE type=\"text/css\">", "p > a { x: y }",
                  "</style><script>if (a<b) x=1;</script></head><body>Text<script>", "<p>", "</script>t"},
                 {"Textt"}},
        TextCase{"HeadEndsAtTheFirstBodyTag", {"<head><title>T</title><p>Text"}, {"", "Text"}},
        TextCase{"CommentIsSkipped", {"a<!-- <p> -->b<!-->c<!--->d<!---->e"}, {"abcde"}},
        TextCase{"CommentOverLinesWithQuote", {"a<!-- \"", "<p>x", "\" -->b", "c"}, {"ab c"}},
        TextCase{"OutlookConditionalComments",
                 {"<!--[if mso]><table><tr><td>Nur Outlook</td></tr></table><![endif]-->",
                  "<!--[if !mso]><!-->F\xFCr alle<!--<![endif]-->"},
                 {"F\xFCr alle"}},
        TextCase{"UnfinishedCommentRunsToTheEnd", {"a<!-- 1 > 0", "<p>b"}, {"a"}},
        TextCase{"UmlautsStay", {"Gr\xFC\xDF"}, {"Gr\xFC\xDF"}}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

// The frame of a newsletter around the paragraph "Hallo", with the default
// design: heading, the empty line of the content cell's "valign=top " and
// of the paragraph's div, the paragraph, the footer.
TEST(HtmlToPlainText, FramedMail) {
  const Lines html = {
      "<html><body bgcolor=#808080>",
      "<table align=center width=550 bgcolor=#000000 cellpadding=0 cellspacing=0><tr></tr>",
      "<tr><td width=1></td><td><table width=100% bgcolor=#000000 cellpadding=4 cellspacing=0><tr><td>"
      "<font face=\"Arial Black\" color=#FFFFFF size=4>Newsletter</td></tr></table>"
      "</td><td width=1></td></tr><tr></tr>",
      "<tr><td width=1></td><td><table Height=400 width=100% bgcolor=#FFFFFF cellpadding=4 cellspacing=0>"
      "<tr><td valign=top >",
      "<div align=left><font face=Arial size=2 color=#000000>Hallo",
      "",
      "</td></tr></table></td><td width=1></td></tr><tr></tr><tr><td width=1></td><td>"
      "<table width=100% bgcolor=#000000 cellpadding=4 cellspacing=0><tr><td>",
      "<font face=\"Arial\" color=#FFFFFF size=1>",
      "\xA9 2026 Ihre Firma. Alle Rechte vorbehalten.</td></tr></table></td><td width=1></td></tr><tr></tr>",
      "</table>",
      "</body></html>"};
  EXPECT_EQ(HtmlToPlainText(html),
            (Lines{"Newsletter", "", "Hallo", "\xA9 2026 Ihre Firma. Alle Rechte vorbehalten."}));
}

TEST(HtmlToPlainText, WholeTextSplitsAtEveryKindOfLineBreak) {
  EXPECT_EQ(HtmlToPlainText(std::string_view("a<br>b\r\nc\rd\ne\r\n")), (Lines{"a", "b c d e"}));
  EXPECT_EQ(HtmlToPlainText(std::string_view("")), Lines{});
  // The same lines as a list give the same text.
  const Lines lines = {"<p>eins", "zwei<td>drei", "", "vier"};
  EXPECT_EQ(HtmlToPlainText(std::string_view("<p>eins\r\nzwei<td>drei\r\n\r\nvier")), HtmlToPlainText(lines));
}

TEST(HtmlToPlainText, HugeTagIsOnePassAndKeepsNoText) {
  // A picture embedded as data in one attribute: a tag of a megabyte.
  std::string line = "a<img src=\"data:image/png;base64," + std::string(1 << 20, 'Q') + "\">b<br>";
  EXPECT_EQ(HtmlToPlainText(Lines{line}), (Lines{"ab"}));
}

} // namespace
