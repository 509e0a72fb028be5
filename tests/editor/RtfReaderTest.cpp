// Reading RTF into the design document: the control words the model needs,
// what is skipped, and the rules rich edit controls follow.
#include "editor/RtfReader.h"

#include "DesignDocText.h"

#include <gtest/gtest.h>

using namespace postello;
using namespace postello::test;
using namespace std::string_literals;

namespace {

// The rich edit control's header, with two fonts and a red and a blue.
const std::string kHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\froman\\fprq2\\fcharset0 "
    "Times New Roman;}}\r\n{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n\\viewkind4\\uc1\\pard\\f0\\fs20 ";

// Reads head + body + "}" and describes the document; fails the test when
// the reader reports an error.
std::string Read(const std::string& body, const std::string& head = kHead) {
  const TRtfReadResult r = ReadRtf(head + body + "}");
  EXPECT_EQ(r.Error, "") << body;
  return Describe(r.Document);
}

} // namespace

TEST(RtfReader, RichEditDocument) {
  EXPECT_EQ(Read("Hallo\\par\r\n"), "left:\n  Arial 10 #000000: Hallo\n");
}

TEST(RtfReader, LastParOpensNoEmptyParagraph) {
  EXPECT_EQ(ReadRtf(kHead + "eins\\par zwei\\par\r\n}").Document.Paragraphs.size(), 2u);
  EXPECT_EQ(ReadRtf(kHead + "eins\\par zwei}").Document.Paragraphs.size(), 2u);
  EXPECT_EQ(Read("eins\\par\\par"), "left:\n  Arial 10 #000000: eins\nleft:\n");
  EXPECT_EQ(Read("\\qc\\par\\par"), "center:\ncenter:\n");
}

// A rich edit control saves its empty document as one \par.
TEST(RtfReader, OneEmptyParagraphIsTheEmptyDocument) {
  EXPECT_EQ(Read("\\par"), "");
  EXPECT_EQ(Read("\\qc{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}\\par"), "");
  EXPECT_EQ(Read("{\\b }\\par"), "");
  EXPECT_EQ(Read(" \\par"), "left:\n  Arial 10 #000000:  \n");
}

TEST(RtfReader, NoTextGivesAnEmptyDocument) {
  EXPECT_TRUE(ReadRtf(kHead + "}").Document.Paragraphs.empty());
  EXPECT_TRUE(ReadRtf("{\\rtf1}").Document.Paragraphs.empty());
  EXPECT_EQ(ReadRtf("{\\rtf1}").Error, "");
}

TEST(RtfReader, ColoursAndTheAutomaticColour) {
  EXPECT_EQ(Read("a\\cf1 b\\cf2 c\\cf0 d\\cf1 e\\cf9 f\\par"),
            "left:\n  Arial 10 #000000: a\n  Arial 10 #FF0000: b\n  Arial 10 #0000FF: c\n  Arial 10 #000000: d\n"
            "  Arial 10 #FF0000: e\n  Arial 10 #000000: f\n");
  // Without a colour table every colour is the automatic black.
  EXPECT_EQ(Read("\\cf1 x", "{\\rtf1 "), "left:\n  Arial 12 #000000: x\n");
  // A table whose first entry is a real colour gives \cf0 that colour.
  EXPECT_EQ(Read("\\cf0 x", "{\\rtf1{\\colortbl\\red0\\green128\\blue0;}"), "left:\n  Arial 12 #008000: x\n");
  // The last colour may lack its semicolon.
  EXPECT_EQ(Read("\\cf1 x", "{\\rtf1{\\colortbl;\\red1\\green2\\blue3}"), "left:\n  Arial 12 #010203: x\n");
}

TEST(RtfReader, FontsSizesAndTheDefaultFont) {
  EXPECT_EQ(Read("a\\f1 b\\fs28 c\\f7 d\\fs21 e\\fs f\\par"),
            "left:\n  Arial 10 #000000: a\n  Times New Roman 10 #000000: b\n  Times New Roman 14 #000000: c\n"
            "  Arial 14 #000000: d\n  Arial 11 #000000: e\n  Arial 12 #000000: f\n");
  // \deff names the font of text without \f; RTF's default size is 12.
  EXPECT_EQ(Read("x", "{\\rtf1\\deff3{\\fonttbl{\\f0 Courier;}{\\f3 Verdana;}}"), "left:\n  Verdana 12 #000000: x\n");
  // A font table written without groups.
  EXPECT_EQ(Read("\\f1 x", "{\\rtf1{\\fonttbl\\f0\\fswiss Arial;\\f1\\fmodern Courier New;}"),
            "left:\n  Courier New 12 #000000: x\n");
  // Alternative names and panose data are not part of the name.
  EXPECT_EQ(Read("x", "{\\rtf1{\\fonttbl{\\f0\\fswiss\\fprq2{\\*\\panose 020b0604020202020204}Arial{\\*\\falt "
                      "Helvetica};}}"),
            "left:\n  Arial 12 #000000: x\n");
  // Non-ASCII in a font name.
  EXPECT_EQ(Read("x", "{\\rtf1{\\fonttbl{\\f0 Schrift\\'e4;}}"), "left:\n  Schrift\xE4 12 #000000: x\n");
}

TEST(RtfReader, BoldItalicUnderline) {
  EXPECT_EQ(Read("\\b b\\i bi\\ul biu\\b0 iu\\i0 u\\ulnone n\\par"),
            "left:\n  Arial 10 #000000 b: b\n  Arial 10 #000000 bi: bi\n  Arial 10 #000000 biu: biu\n"
            "  Arial 10 #000000 iu: iu\n  Arial 10 #000000 u: u\n  Arial 10 #000000: n\n");
  EXPECT_EQ(Read("\\uldb a\\ul0 b\\ulwave c\\ulnone d\\b1 e"),
            "left:\n  Arial 10 #000000 u: a\n  Arial 10 #000000: b\n  Arial 10 #000000 u: c\n  Arial 10 #000000: d\n"
            "  Arial 10 #000000 b: e\n");
}

TEST(RtfReader, PlainResetsCharactersAndGroupsRestoreThem) {
  EXPECT_EQ(Read("\\b\\i\\cf1\\f1\\fs40 a\\plain b"),
            "left:\n  Times New Roman 20 #FF0000 bi: a\n  Arial 12 #000000: b\n");
  EXPECT_EQ(Read("a{\\b\\cf1 b{\\i c}d}e\\par"),
            "left:\n  Arial 10 #000000: a\n  Arial 10 #FF0000 b: b\n  Arial 10 #FF0000 bi: c\n  Arial 10 #FF0000 b: d\n"
            "  Arial 10 #000000: e\n");
}

TEST(RtfReader, DefaultCharacterPropertiesSetWhatPlainGives) {
  EXPECT_EQ(Read("\\plain x", "{\\rtf1\\deff0{\\fonttbl{\\f0 Arial;}{\\f5 Calibri;}}{\\*\\defchp \\f5\\fs22}"),
            "left:\n  Calibri 11 #000000: x\n");
}

TEST(RtfReader, AlignmentBelongsToTheParagraphAtItsEnd) {
  EXPECT_EQ(Read("l\\par\\qc c\\par\\pard\\qr r\\par\\pard j\\qj\\par s\\qc\\par"),
            "left:\n  Arial 10 #000000: l\ncenter:\n  Arial 10 #000000: c\nright:\n  Arial 10 #000000: r\n"
            "left:\n  Arial 10 #000000: j\ncenter:\n  Arial 10 #000000: s\n");
  // \pard resets the paragraph, not the characters.
  EXPECT_EQ(Read("\\qc\\b a\\par\\pard b\\par"), "center:\n  Arial 10 #000000 b: a\nleft:\n  Arial 10 #000000 b: b\n");
  // Paragraph properties are group state too.
  EXPECT_EQ(Read("{\\qr a\\par}b\\par"), "right:\n  Arial 10 #000000: a\nleft:\n  Arial 10 #000000: b\n");
}

TEST(RtfReader, EmptyParagraphsKeepTheirOwnAttributes) {
  EXPECT_EQ(Read("a\\par\\pard\\qr\\par\\pard\\qc{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}\\par b\\par"),
            "left:\n  Arial 10 #000000: a\nright:\ncenter bullet:\ncenter bullet:\n  Arial 10 #000000: b\n");
}

TEST(RtfReader, RichEditBullets) {
  const std::string head = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fnil\\fcharset2 Symbol;}}"
                           "\\viewkind4\\uc1\\pard\\f0\\fs20 ";
  EXPECT_EQ(Read("vor\\par\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'B7}}"
                 "\\fi-720\\li720 eins\\par{\\pntext\\f1\\'B7\\tab}zwei\\par\\pard nach\\par",
                 head),
            "left:\n  Arial 10 #000000: vor\nleft bullet:\n  Arial 10 #000000: eins\nleft bullet:\n"
            "  Arial 10 #000000: zwei\nleft:\n  Arial 10 #000000: nach\n");
}

TEST(RtfReader, OldNumberingKeepsTheNumberAsText) {
  EXPECT_EQ(Read("{\\pntext\\f0 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart1{\\pntxta.}}eins\\par"
                 "{\\pntext\\f0 2.\\tab}zwei\\par"),
            "left:\n  Arial 10 #000000: 1.\teins\nleft:\n  Arial 10 #000000: 2.\tzwei\n");
}

TEST(RtfReader, ListTableBulletsAndNumbers) {
  const std::string head =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f3 Symbol;}}"
      "{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc23\\levelnfcn23{\\leveltext\\'01\\u-3913 ?;}"
      "{\\levelnumbers;}\\f3}{\\listlevel\\levelnfc0{\\leveltext\\'02\\'01.;}{\\levelnumbers\\'01;}}\\listid100}"
      "{\\list\\listtemplateid2{\\listlevel\\levelnfc0\\levelnfcn0{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}"
      "\\listid200}}"
      "{\\*\\listoverridetable{\\listoverride\\listid200\\listoverridecount0\\ls2}{\\listoverride\\listid100"
      "\\listoverridecount0\\ls1}}\\pard\\plain\\fs20 ";
  EXPECT_EQ(Read("{\\listtext\\pard\\plain\\f3\\fs20 \\'b7\\tab}\\pard\\ls1\\fi-360\\li720 Punkt\\par"
                 "{\\listtext\\pard\\plain\\fs20 1.\\tab}\\pard\\ls2 Nummer\\par"
                 "{\\listtext\\pard\\plain\\fs20 a.\\tab}\\pard\\ls1\\ilvl1 Ebene\\par"
                 "\\pard\\ls7 unbekannt\\par\\pard normal\\par",
                 head),
            "left bullet:\n  Arial 10 #000000: Punkt\nleft:\n  Arial 10 #000000: 1.\tNummer\nleft:\n"
            "  Arial 10 #000000: a.\tEbene\nleft bullet:\n  Arial 10 #000000: unbekannt\nleft:\n"
            "  Arial 10 #000000: normal\n");
}

TEST(RtfReader, SpecialCharacters) {
  EXPECT_EQ(Read("a\\tab b\\~c\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote\\-d\\_e\\{\\}\\\\"),
            "left:\n  Arial 10 #000000: a\tb\xA0" "c\x97\x96\x95\x91\x92\x93\x94" "d-e{}\\\n");
  EXPECT_EQ(Read("Gr\\'fc\\'DF\\'e9 \\'80\\'9f\\'a9"), "left:\n  Arial 10 #000000: Gr\xFC\xDF\xE9 \x80\x9F\xA9\n");
  // Literal 8-bit text and a literal tab are characters; line ends are not.
  EXPECT_EQ(Read("\xE4\t\r\n\xF6"), "left:\n  Arial 10 #000000: \xE4\t\xF6\n");
}

TEST(RtfReader, ControlWordDelimiters) {
  // One blank after a word belongs to the word; a second one is text.
  EXPECT_EQ(Read("\\b  x\\b0\\i y\\i0;z"), "left:\n  Arial 10 #000000 b:  x\n  Arial 10 #000000 i: y\n"
                                           "  Arial 10 #000000: ;z\n");
  EXPECT_EQ(Read("\\fs40x"), "left:\n  Arial 20 #000000: x\n");
  EXPECT_EQ(Read("\\fs-8 x"), "left:\n  Arial 1 #000000: x\n");
}

TEST(RtfReader, UnicodeWithFallback) {
  // In the code page: the byte; its fallback is dropped.
  EXPECT_EQ(Read("\\u8364\\'80 \\u252?\\uc2\\u8211\\'96\\'96x\\uc0\\u228 y"),
            "left:\n  Arial 10 #000000: \x80 \xFC\x96x\xE4y\n");
  // Outside the code page: the fallback, or '?' when there is none.
  EXPECT_EQ(Read("\\u945a\\uc0\\u946 b\\uc1\\u-4064 \\'3f"), "left:\n  Arial 10 #000000: a?b?\n");
  // A pair of surrogates is one character and gives one fallback.
  EXPECT_EQ(Read("x\\u-10179?\\u-8704?y"), "left:\n  Arial 10 #000000: x?y\n");
  // A group ends the fallback; \uc is group state.
  EXPECT_EQ(Read("{\\uc3\\u8364 ?}x\\u8364?y"), "left:\n  Arial 10 #000000: \x80x\x80y\n");
  // A control word in the fallback counts as one character.
  EXPECT_EQ(Read("\\u8364\\b x"), "left:\n  Arial 10 #000000: \x80x\n");
}

// A negative \u value stands for the value plus 65536. The first and the
// last surrogate pair show a value one off: a pair gives the fallback of
// its second half only.
TEST(RtfReader, NegativeUnicodeValuesCountFrom65536) {
  const struct {
    const char* body;
    const char* text;
  } cases[] = {
      {"x\\u-10240a\\u-9216by", "xby"}, // U+D800 U+DC00
      {"x\\u-9217a\\u-8193by", "xby"},  // U+DBFF U+DFFF
  };
  for (const auto& c : cases)
    EXPECT_EQ(Read(c.body), "left:\n  Arial 10 #000000: "s + c.text + "\n") << c.body;
}

// Found by fuzzing: a line end given as the fallback of a character
// outside the code page reached the paragraph's text.
TEST(RtfReader, FallbackCarriesNoLineBreak) {
  EXPECT_EQ(Read("a\\u945\\'0ab\\u946\\'0d\\'0a\\uc2\\u947\\'0dc"), "left:\n  Arial 10 #000000: a?b?c\n");
}

TEST(RtfReader, IgnorableDestinationsPicturesAndObjectsAreSkipped) {
  EXPECT_EQ(Read("{\\*\\generator Riched20 10.0.19041;}a{\\*\\unbekannt {geschachtelt} Text}b"
                 "{\\pict\\pngblip\\picw10\\pich10 89504e470d0a1a0a}c"
                 "{\\object\\objemb{\\*\\objclass Paint}{\\*\\objdata 0105}{\\result{\\pict\\wmetafile8 0100}}}d"
                 "{\\*\\shppict{\\pict\\jpegblip ffd8}}{\\nonshppict{\\pict\\wmetafile8 0100}}e"
                 "{\\pict\\bin6 }{}{\\}}f{\\info{\\title Titel}{\\author Anna}}g{\\stylesheet{\\s0 Normal;}}h"
                 "{\\header Kopf\\par}{\\footnote Fu\\'dfnote}i{\\*\\bkmkstart m}j{\\*\\bkmkend m}k"),
            "left:\n  Arial 10 #000000: abcdefghijk\n");
  // An unknown word is skipped, the text around it is kept.
  EXPECT_EQ(Read("a\\unbekannt123 b\\expndtw-2 c\\lang1031\\langfe1033\\rtlch\\ltrch d"),
            "left:\n  Arial 10 #000000: abcd\n");
}

TEST(RtfReader, FieldsGiveTheirResult) {
  EXPECT_EQ(Read("vor {\\field{\\*\\fldinst HYPERLINK \"http://example.org/\"}{\\fldrslt {\\ul\\cf2 Link}}} nach"),
            "left:\n  Arial 10 #000000: vor \n  Arial 10 #0000FF u: Link\n  Arial 10 #000000:  nach\n");
  EXPECT_EQ(Read("{\\field{\\fldinst PAGE}{\\fldrslt 1}}"), "left:\n  Arial 10 #000000: 1\n");
}

TEST(RtfReader, HiddenTextIsDropped) {
  EXPECT_EQ(Read("a{\\v versteckt}b\\v c\\v0 d"), "left:\n  Arial 10 #000000: abd\n");
}

// The model has no line break inside a paragraph: \line starts a new
// paragraph with the same paragraph attributes.
TEST(RtfReader, LineBreakStartsAParagraphWithTheSameAttributes) {
  EXPECT_EQ(Read("\\qc eins\\line zwei\\par"), "center:\n  Arial 10 #000000: eins\ncenter:\n  Arial 10 #000000: zwei\n");
  EXPECT_EQ(Read("eins\\\nzwei\\\r\ndrei"),
            "left:\n  Arial 10 #000000: eins\nleft:\n  Arial 10 #000000: zwei\nleft:\n  Arial 10 #000000: drei\n");
}

TEST(RtfReader, TableCellsBecomeParagraphs) {
  EXPECT_EQ(Read("\\trowd\\cellx1000\\cellx2000\\pard\\intbl A\\cell B\\cell\\row\\pard danach\\par"),
            "left:\n  Arial 10 #000000: A\nleft:\n  Arial 10 #000000: B\nleft:\n  Arial 10 #000000: danach\n");
}

TEST(RtfReader, BinaryDataIsNotText) {
  EXPECT_EQ(Read("a\\bin3 {}}b"), "left:\n  Arial 10 #000000: ab\n");
}

TEST(RtfReader, ParInsideAGroupEndsTheParagraph) {
  EXPECT_EQ(Read("{\\b a\\par}b"), "left:\n  Arial 10 #000000 b: a\nleft:\n  Arial 10 #000000: b\n");
}

TEST(RtfReader, TextAfterTheDocumentIsIgnored) {
  const TRtfReadResult r = ReadRtf(kHead + "a\\par}b\\par}}}\r\n\0"s);
  EXPECT_EQ(r.Error, "");
  EXPECT_EQ(Describe(r.Document), "left:\n  Arial 10 #000000: a\n");
}

TEST(RtfReader, NotRtfIsAnError) {
  for (const std::string& in : {std::string("Hallo"), std::string("{\\rtx1 a}"), std::string("{{\\rtf1 a}"),
                                std::string("\xEF\xBB\xBF{\\rtf1 a}")}) {
    const TRtfReadResult r = ReadRtf(in);
    EXPECT_NE(r.Error.find("kein RTF-Dokument"), std::string::npos) << in;
    EXPECT_TRUE(r.Document.Paragraphs.empty());
  }
  EXPECT_NE(ReadRtf("").Error.find("leer"), std::string::npos);
  EXPECT_NE(ReadRtf(" \r\n").Error.find("leer"), std::string::npos);
  // Blank lines before the document are allowed.
  EXPECT_EQ(ReadRtf("\r\n{\\rtf1 a}").Error, "");
}

TEST(RtfReader, MissingClosingBraceGivesTheTextAndAnError) {
  const TRtfReadResult r = ReadRtf(kHead + "eins\\par{\\b zwei");
  EXPECT_EQ(Describe(r.Document), "left:\n  Arial 10 #000000: eins\nleft:\n  Arial 10 #000000 b: zwei\n");
  EXPECT_NE(r.Error.find("unvollst\xE4ndig"), std::string::npos) << r.Error;
  EXPECT_NE(r.Error.find("2 Klammer(n)"), std::string::npos) << r.Error;
}
