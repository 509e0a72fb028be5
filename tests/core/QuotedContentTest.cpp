#include "core/QuotedContent.h"
#include "core/StringFields.h"
#include "core/TBinReader.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace postello;

TEST(QuotedContent, CutsAt200CharactersAndShowsControlsAsQuestionMarks) {
  EXPECT_EQ(QuotedContent(""), "");
  EXPECT_EQ(QuotedContent("M\xFCller"), "M\xFCller");
  EXPECT_EQ(QuotedContent(std::string(200, 'a')), std::string(200, 'a'));
  EXPECT_EQ(QuotedContent(std::string(201, 'a')), std::string(200, 'a') + "...");
  EXPECT_EQ(QuotedContent(std::string(5000, 'a')).size(), 203u);
  EXPECT_EQ(QuotedContent(std::string("a\0b", 3)), "a?b");
  EXPECT_EQ(QuotedContent("\r\n\t\x1B[2J\x7F"), "????[2J?");
  // The five bytes Windows-1252 leaves undefined would be C1 controls on a
  // terminal; the euro sign and the other defined ones stay.
  EXPECT_EQ(QuotedContent("\x80\x81\x8D\x8F\x90\x9D\x9F"), "\x80?????\x9F");
  // Controls past the cut do not count.
  EXPECT_EQ(QuotedContent(std::string(200, 'b') + "\n"), std::string(200, 'b') + "...");
}

TEST(QuotedContent, PathControlCharactersInUtf8) {
  EXPECT_FALSE(PathHasControlChar("/home/anna/adressen.dbf"));
  EXPECT_FALSE(PathHasControlChar("/home/\xD0\x81\xD0\x90/x.dbf"));  // Cyrillic: bytes 0x81, 0x90 inside
  EXPECT_FALSE(PathHasControlChar("/a/\xC2\xA0.dbf"));                // no-break space
  EXPECT_TRUE(PathHasControlChar("/a/b\n.dbf"));
  EXPECT_TRUE(PathHasControlChar(std::string("/a/\0b", 5)));
  EXPECT_TRUE(PathHasControlChar("/a/\x7F"));
  EXPECT_TRUE(PathHasControlChar("/a/\xC2\x85"));  // NEL, a C1 control
  EXPECT_TRUE(PathHasControlChar("/a/\xC2\x9F"));
}

TEST(TBinReader, StreamAndMemoryReadTheSameAndStopAtTheEnd) {
  const std::string bytes = std::string("\x05\x00\x00\x00" "Hallo" "\xFF\xFF\xFF\x7F" "x", 14);
  std::istringstream in(bytes);
  TBinReader stream(in, bytes.size());
  TBinReader memory(bytes);
  for (TBinReader* r : {&stream, &memory}) {
    EXPECT_EQ(ReadLongStr(*r), "Hallo");
    EXPECT_EQ(r->Pos(), 9u);
    try {
      ReadLongStr(*r);  // announces 2 GiB, one byte is left
      FAIL();
    } catch (const EInOutError& e) {
      EXPECT_EQ(e.Offset(), 13u);
    }
    EXPECT_EQ(r->ReadByte(), 'x');
    EXPECT_TRUE(r->AtEnd());
    EXPECT_THROW(r->ReadByte(), EInOutError);
  }
  // A file that is shorter than its size said (it shrank while open).
  std::istringstream shorter(bytes.substr(0, 6));
  TBinReader cut(shorter, bytes.size());
  EXPECT_EQ(cut.ReadInt32(), 5);
  EXPECT_THROW(cut.ReadBytes(5), EInOutError);
}
