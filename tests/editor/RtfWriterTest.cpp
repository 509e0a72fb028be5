// Writing the design document as rich-edit style RTF, and reading it back.
#include "editor/RtfReader.h"
#include "editor/RtfWriter.h"

#include "DesignDocText.h"

#include <gtest/gtest.h>

using namespace postello;
using namespace postello::test;

namespace {

TDesignDocument Doc(std::vector<TParagraph> paragraphs) {
  TDesignDocument d;
  d.Paragraphs = std::move(paragraphs);
  return d;
}

// Writes, reads back and compares every attribute.
void ExpectRoundTrip(const TDesignDocument& doc) {
  const std::string rtf = WriteRtf(doc);
  const TRtfReadResult back = ReadRtf(rtf);
  EXPECT_EQ(back.Error, "") << rtf;
  EXPECT_EQ(Describe(back.Document), Describe(doc)) << rtf;
}

} // namespace

TEST(RtfWriter, RichEditStyleBytes) {
  EXPECT_EQ(WriteRtf(Doc({Para({Txt("Hallo")})})),
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
            "{\\colortbl ;\\red0\\green0\\blue0;}\r\n"
            "\\viewkind4\\uc1\\pard\\cf1\\f0\\fs20 Hallo\\par\r\n"
            "}\r\n");
}

TEST(RtfWriter, FormatChangesAlignmentAndBullets) {
  const TDesignDocument doc = Doc({
      Para({Txt("Gr\xFC\xDF" "e "), Txt("fett", Fmt("Arial", 10, 0, "b")), Txt(" rot", Fmt("Arial", 10, 0x0000FF))}),
      Para({Txt("Mitte", Fmt("Times New Roman", 14, 0, "iu"))}, paCenter),
      Para({Txt("Punkt", Fmt("Times New Roman", 14))}, paRight, true),
      Para({}),
  });
  EXPECT_EQ(WriteRtf(doc),
            "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1031{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
            "{\\f1\\fnil\\fcharset0 Times New Roman;}{\\f2\\fnil\\fcharset2 Symbol;}}\r\n"
            "{\\colortbl ;\\red0\\green0\\blue0;\\red255\\green0\\blue0;}\r\n"
            "\\viewkind4\\uc1\\pard\\cf1\\f0\\fs20 Gr\\'fc\\'dfe \\b fett\\cf2\\b0  rot\\par\r\n"
            "\\pard\\qc\\cf1\\f1\\fs28\\i\\ul Mitte\\par\r\n"
            "\\pard\\qr{\\pntext\\f2\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf2\\pnindent0{\\pntxtb\\'b7}}\\fi-360\\li360\\i0\\ulnone "
            "Punkt\\par\r\n"
            "\\pard\\par\r\n"
            "}\r\n");
}

TEST(RtfWriter, EscapesSpecialCharacters) {
  const std::string rtf = WriteRtf(Doc({Para({Txt("a\\b{c}d\te\x80\xFF\x7F~")})}));
  EXPECT_NE(rtf.find(" a\\\\b\\{c\\}d\\tab e\\'80\\'ff\\'7f~\\par"), std::string::npos) << rtf;
}

TEST(RtfWriter, FontNamesAreEscaped) {
  const std::string rtf = WriteRtf(Doc({Para({Txt("x", Fmt("A;B{\\}\xE4"))})}));
  EXPECT_NE(rtf.find("{\\f0\\fnil\\fcharset0 A\\'3bB\\{\\\\\\}\\'e4;}"), std::string::npos) << rtf;
}

TEST(RtfWriter, EmptyDocumentReadsBackEmpty) {
  const std::string rtf = WriteRtf(TDesignDocument{});
  const TRtfReadResult back = ReadRtf(rtf);
  EXPECT_EQ(back.Error, "");
  EXPECT_TRUE(back.Document.Paragraphs.empty()) << rtf;
  // One empty paragraph is what a rich edit control holds when empty.
  EXPECT_TRUE(ReadRtf(WriteRtf(Doc({Para({}, paCenter, true)}))).Document.Paragraphs.empty());
}

TEST(RtfWriter, RoundTripKeepsEveryAttribute) {
  std::vector<TDesignDocument> docs;
  docs.push_back(Doc({Para({}), Para({})}));
  docs.push_back(Doc({Para({}), Para({}, paCenter, true), Para({}, paRight)}));
  docs.push_back(Doc({Para({Txt("Hallo")}), Para({})}));
  std::vector<TTextRun> styles;
  for (const std::string s : {"", "b", "i", "u", "bi", "bu", "iu", "biu", "", "u", "b"}) {
    styles.push_back(Txt("[" + s + "]", Fmt("Arial", 10, 0, s)));
  }
  docs.push_back(Doc({Para(styles)}));
  std::vector<TParagraph> mixed;
  const std::vector<std::uint32_t> colors = {0, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x123456, 0x0000FF, 0};
  const std::vector<int> sizes = {1, 8, 9, 10, 11, 12, 72, 1638};
  const std::vector<std::string> faces = {"Arial", "Times New Roman", "Courier New", "Arial Black", "Wingdings",
                                          "Symbol", "Comic Sans MS", "Arial"};
  for (std::size_t k = 0; k < colors.size(); ++k) {
    mixed.push_back(Para({Txt("x", Fmt(faces[k], sizes[k], colors[k], k % 2 ? "b" : "")),
                          Txt("\ty ", Fmt(faces[(k + 3) % faces.size()], sizes[(k + 5) % sizes.size()],
                                         colors[(k + 1) % colors.size()], k % 3 ? "iu" : ""))},
                         static_cast<TParaAlign>(k % 3), k % 4 == 1));
  }
  docs.push_back(Doc(mixed));
  // Every byte a line may hold.
  std::string all = "\t";
  for (int c = 0x20; c <= 0xFF; ++c) all += static_cast<char>(c);
  docs.push_back(Doc({Para({Txt(all)}), Para({Txt(all, Fmt("Verdana", 20, 0x808080, "bi"))}, paCenter, true)}));
  // Text that looks like RTF stays text.
  docs.push_back(Doc({Para({Txt("{\\rtf1 \\par}\\'fc\\u8364?}{")})}));
  for (const TDesignDocument& doc : docs) ExpectRoundTrip(doc);
}

// Control characters other than the tab have no place in a line: they are
// neither written nor read.
TEST(RtfWriter, ControlCharactersAreLeftOut) {
  const TRtfReadResult back = ReadRtf(WriteRtf(Doc({Para({Txt("a\x01\x0D\x0A" "b\x1F")})})));
  EXPECT_EQ(PlainText(back.Document), "ab");
}
