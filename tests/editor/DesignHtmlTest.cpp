// The generated HTML of a design mail, byte for byte.
#include "editor/DesignHtml.h"

#include "DesignDocText.h"

#include <gtest/gtest.h>

using namespace postello;
using namespace postello::test;

namespace {

using Lines = std::vector<std::string>;

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kRed = 0x0000FF;
constexpr std::uint32_t kBlue = 0xFF0000;

TDesignDocument Doc(std::vector<TParagraph> paragraphs) {
  TDesignDocument d;
  d.Paragraphs = std::move(paragraphs);
  return d;
}

// The one content line of a plain mail with one paragraph.
std::string OneLine(const TParagraph& p) {
  const Lines lines = BuildDesignHtml(Doc({p}), kWhite, false, TNewsDesign{});
  EXPECT_EQ(lines.size(), 3u);
  return lines.size() == 3 ? lines[1] : std::string();
}

} // namespace

TEST(FontSizeToHtml, EveryBandAndItsEdges) {
  const std::vector<std::pair<int, std::string>> cases = {
      {-5, "1"}, {0, "1"}, {1, "1"},  {8, "1"},  {9, "2"},  {10, "2"}, {11, "3"}, {12, "3"}, {13, "4"}, {14, "4"},
      {15, "5"}, {16, "5"}, {18, "5"}, {19, "6"}, {20, "6"}, {24, "6"}, {25, "7"}, {36, "7"}, {1638, "7"}};
  for (const auto& [points, html] : cases) EXPECT_EQ(FontSizeToHtml(points), html) << points << " pt";
}

TEST(HtmlHex, RedFirstUpperCaseSixDigits) {
  EXPECT_EQ(HtmlHex(0xFFFFFF), "FFFFFF");
  EXPECT_EQ(HtmlHex(kRed), "FF0000");
  EXPECT_EQ(HtmlHex(kBlue), "0000FF");
  EXPECT_EQ(HtmlHex(0x00FF00), "00FF00");
  EXPECT_EQ(HtmlHex(0), "000000");
  EXPECT_EQ(HtmlHex(0x0A0B0C), "0C0B0A");
  EXPECT_EQ(HtmlHex(0x00ABCDEF), "EFCDAB");
  // The top byte (a system colour's marker) is not part of the colour.
  EXPECT_EQ(HtmlHex(0x80000005), "050000");
  EXPECT_EQ(HtmlHex(0xFF010203), "030201");
}

TEST(BuildDesignHtml, EmptyDocumentGivesTwoLines) {
  EXPECT_EQ(BuildDesignHtml(TDesignDocument{}, kWhite, false, TNewsDesign{}),
            (Lines{"<html><body bgcolor=#FFFFFF>", "</body></html>"}));
}

TEST(BuildDesignHtml, OneParagraphHallo) {
  EXPECT_EQ(BuildDesignHtml(Doc({Para({Txt("Hallo")})}), kWhite, false, TNewsDesign{}),
            (Lines{"<html><body bgcolor=#FFFFFF>", "<div align=left><font face=Arial size=2 color=#000000>Hallo",
                   "</body></html>"}));
}

TEST(BuildDesignHtml, BackgroundColourIsRedFirst) {
  EXPECT_EQ(BuildDesignHtml(TDesignDocument{}, 0x336699, false, TNewsDesign{}).front(), "<html><body bgcolor=#996633>");
}

TEST(BuildDesignHtml, EmptyParagraphInTheMiddleIsABreak) {
  const Lines lines = BuildDesignHtml(
      Doc({Para({Txt("a")}), Para({}, paCenter), Para({Txt("", Fmt("Arial", 30))}, paRight), Para({Txt("b")})}), kWhite,
      false, TNewsDesign{});
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[2], "<div align=center><br>");
  // A paragraph whose runs hold no character is empty too.
  EXPECT_EQ(lines[3], "<div align=right><br>");
}

TEST(BuildDesignHtml, BoldWordInTheMiddleAndAtTheEnd) {
  EXPECT_EQ(OneLine(Para({Txt("ein "), Txt("fettes", Fmt("Arial", 10, 0, "b")), Txt(" Wort")})),
            "<div align=left><font face=Arial size=2 color=#000000>ein <b>fettes</b> Wort");
  EXPECT_EQ(OneLine(Para({Txt("Ende "), Txt("fett", Fmt("Arial", 10, 0, "b"))})),
            "<div align=left><font face=Arial size=2 color=#000000>Ende <b>fett</b>");
}

TEST(BuildDesignHtml, TagOrderIsFontBoldUnderlineItalicAndClosingBoldUnderlineItalic) {
  EXPECT_EQ(OneLine(Para({Txt("x", Fmt("Arial", 10, 0, "biu"))})),
            "<div align=left><font face=Arial size=2 color=#000000><b><u><i>x</b></u></i>");
  EXPECT_EQ(OneLine(Para({Txt("a", Fmt("Arial", 10, 0, "iu")), Txt("b", Fmt("Arial", 10, 0, "b"))})),
            "<div align=left><font face=Arial size=2 color=#000000><u><i>a<b></u></i>b</b>");
}

TEST(BuildDesignHtml, BulletParagraph) {
  EXPECT_EQ(OneLine(Para({Txt("Punkt")}, paLeft, true)),
            "<div align=left><ul><li><font face=Arial size=2 color=#000000>Punkt</li></ul>");
  EXPECT_EQ(OneLine(Para({Txt("fett", Fmt("Arial", 10, 0, "b"))}, paCenter, true)),
            "<div align=center><ul><li><font face=Arial size=2 color=#000000><b>fett</b></li></ul>");
  EXPECT_EQ(OneLine(Para({}, paRight, true)), "<div align=right><ul><li><br></li></ul>");
}

TEST(BuildDesignHtml, ColourChangeWritesACompleteFontTag) {
  EXPECT_EQ(OneLine(Para({Txt("schwarz "), Txt("rot", Fmt("Arial", 10, kRed)), Txt(" blau", Fmt("Arial", 10, kBlue))})),
            "<div align=left><font face=Arial size=2 color=#000000>schwarz <font face=Arial size=2 "
            "color=#FF0000>rot<font face=Arial size=2 color=#0000FF> blau");
}

TEST(BuildDesignHtml, SizesAreComparedAsTheirHtmlSize) {
  EXPECT_EQ(OneLine(Para({Txt("elf", Fmt("Arial", 11)), Txt("zw\xF6lf", Fmt("Arial", 12)), Txt("14", Fmt("Arial", 14))})),
            "<div align=left><font face=Arial size=3 color=#000000>elfzw\xF6lf<font face=Arial size=4 color=#000000>14");
}

TEST(BuildDesignHtml, FaceChangeWritesAFontTag) {
  EXPECT_EQ(OneLine(Para({Txt("a"), Txt("b", Fmt("Verdana"))})),
            "<div align=left><font face=Arial size=2 color=#000000>a<font face=Verdana size=2 color=#000000>b");
}

// A face with a blank is quoted: unquoted, the recipient's program reads
// only "Times" and shows another font.
TEST(BuildDesignHtml, FaceWithABlankIsQuoted) {
  EXPECT_EQ(OneLine(Para({Txt("x", Fmt("Times New Roman", 12))})),
            "<div align=left><font face=\"Times New Roman\" size=3 color=#000000>x");
  EXPECT_EQ(OneLine(Para({Txt("x", Fmt("Courier", 12)), Txt("y", Fmt("Comic Sans MS", 12))})),
            "<div align=left><font face=Courier size=3 color=#000000>x<font face=\"Comic Sans MS\" size=3 "
            "color=#000000>y");
}

TEST(BuildDesignHtml, CharactersPassUnchanged) {
  EXPECT_EQ(OneLine(Para({Txt("a<b & \"c\" > [%Name]\t\xE4\xFC\x80 <img src=\"cid:LOGO.PNG\">")})),
            "<div align=left><font face=Arial size=2 color=#000000>a<b & \"c\" > [%Name]\t\xE4\xFC\x80 <img "
            "src=\"cid:LOGO.PNG\">");
}

TEST(BuildDesignHtml, EveryParagraphStartsAfresh) {
  const Lines lines = BuildDesignHtml(
      Doc({Para({Txt("a", Fmt("Arial", 10, 0, "b"))}), Para({Txt("b", Fmt("Arial", 10, 0, "b"))}, paRight)}), kWhite,
      false, TNewsDesign{});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "<div align=left><font face=Arial size=2 color=#000000><b>a</b>");
  EXPECT_EQ(lines[2], "<div align=right><font face=Arial size=2 color=#000000><b>b</b>");
}

TEST(BuildDesignHtml, NewsletterFrameWithDefaultsAndAnEmptyDocument) {
  const Lines lines = BuildDesignHtml(TDesignDocument{}, kWhite, true, TNewsDesign{});
  const Lines expected = {
      "<html><body bgcolor=#808080>",
      "<table align=center width=550 bgcolor=#000000 cellpadding=0 cellspacing=0><tr></tr>",
      "<tr><td width=1></td><td><table width=100% bgcolor=#000000 cellpadding=4 cellspacing=0><tr><td><font "
      "face=\"Arial Black\" color=#FFFFFF size=4>Newsletter</td></tr></table></td><td width=1></td></tr><tr></tr>",
      "<tr><td width=1></td><td><table Height=400 width=100% bgcolor=#FFFFFF cellpadding=4 cellspacing=0><tr><td "
      "valign=top >",
      "",
      "</td></tr></table></td><td width=1></td></tr><tr></tr><tr><td width=1></td><td><table width=100% "
      "bgcolor=#000000 cellpadding=4 cellspacing=0><tr><td>",
      "<font face=\"Arial\" color=#FFFFFF size=1>",
      TNewsDesign::DefaultFootText() + "</td></tr></table></td><td width=1></td></tr><tr></tr>",
      "</table>",
      "</body></html>"};
  EXPECT_EQ(lines, expected);
}

TEST(BuildDesignHtml, NewsletterContentSitsBetweenLinesFourAndFive) {
  const Lines lines = BuildDesignHtml(Doc({Para({Txt("Hallo")}), Para({})}), 0x00FFFF, true, TNewsDesign{});
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_NE(lines[3].find("bgcolor=#FFFF00 cellpadding=4"), std::string::npos) << lines[3];
  EXPECT_EQ(lines[4], "<div align=left><font face=Arial size=2 color=#000000>Hallo");
  EXPECT_EQ(lines[5], "<div align=left><br>");
  EXPECT_EQ(lines[6], "");
  EXPECT_EQ(lines[11], "</body></html>");
}

TEST(BuildDesignHtml, NewsletterSettingsReachTheirPlaces) {
  TNewsDesign d;
  d.BackColor = 0x010203;
  d.HeadBackColor = 0x040506;
  d.FootBackColor = 0x070809;
  d.BorderColor = kRed;
  d.HeadFontName = "Verdana";
  d.HeadFontSize = 24;
  d.HeadFontColor = kBlue;
  d.HeadFontStyle = fsBold | fsItalic;
  d.FootFontName = "Times New Roman";
  d.FootFontSize = 12;
  d.FootFontColor = 0x00FF00;
  d.FootFontStyle = fsUnderline | fsBold | fsStrikeOut;
  d.Width = 1024;
  d.MinHeight = 10;
  d.HeadText = "Kopf <&>";
  d.FootText = "Fu\xDF [%Name]";
  const Lines lines = BuildDesignHtml(TDesignDocument{}, kWhite, true, d);
  const Lines expected = {
      "<html><body bgcolor=#030201>",
      "<table align=center width=1024 bgcolor=#FF0000 cellpadding=0 cellspacing=0><tr></tr>",
      "<tr><td width=1></td><td><table width=100% bgcolor=#060504 cellpadding=4 cellspacing=0><tr><td><font "
      "face=\"Verdana\" color=#0000FF size=6><b><i>Kopf <&></b></i></td></tr></table></td><td "
      "width=1></td></tr><tr></tr>",
      "<tr><td width=1></td><td><table Height=10 width=100% bgcolor=#FFFFFF cellpadding=4 cellspacing=0><tr><td "
      "valign=top >",
      "",
      "</td></tr></table></td><td width=1></td></tr><tr></tr><tr><td width=1></td><td><table width=100% "
      "bgcolor=#090807 cellpadding=4 cellspacing=0><tr><td>",
      "<font face=\"Times New Roman\" color=#00FF00 size=3>",
      "<b><u>Fu\xDF [%Name]</b></u></td></tr></table></td><td width=1></td></tr><tr></tr>",
      "</table>",
      "</body></html>"};
  EXPECT_EQ(lines, expected);
}

TEST(BuildDesignHtml, NewsletterSettingsAreIgnoredForAPlainMail) {
  TNewsDesign d;
  d.BackColor = kRed;
  d.HeadText = "Kopf";
  EXPECT_EQ(BuildDesignHtml(TDesignDocument{}, kBlue, false, d),
            (Lines{"<html><body bgcolor=#0000FF>", "</body></html>"}));
}
