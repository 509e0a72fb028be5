#include "core/StringFields.h"

#include <gtest/gtest.h>

using namespace postello;

TEST(StringFields, ShortStringsCarryOneLengthByte) {
  TBinWriter w;
  WriteShortStr(w, std::string(255, 'a'));
  WriteShortStr(w, "");
  ASSERT_EQ(w.Data().size(), 257u);
  EXPECT_EQ(static_cast<unsigned char>(w.Data()[0]), 0xFF);
  EXPECT_EQ(w.Data()[256], '\0');
  TBinReader r(w.Data());
  EXPECT_EQ(ReadShortStr(r), std::string(255, 'a'));
  EXPECT_EQ(ReadShortStr(r), "");
  EXPECT_TRUE(r.AtEnd());
}

TEST(StringFields, LongStringsCarryA32BitLength) {
  TBinWriter w;
  WriteLongStr(w, "");
  WriteLongStr(w, "M\xFCller");
  EXPECT_EQ(w.Data(), std::string("\0\0\0\0\x06\0\0\0M\xFCller", 14));
  TBinReader r(w.Data());
  EXPECT_EQ(ReadLongStr(r), "");
  EXPECT_EQ(ReadLongStr(r), "M\xFCller");
}

TEST(StringFields, TextsEndAtTheirFirstNul) {
  TBinWriter w;
  WriteLongStr(w, std::string("ab\0cd", 5));
  EXPECT_EQ(w.Data(), std::string("\x02\0\0\0ab", 6));
}

TEST(StringFields, DamagedLengthsRaiseReadBeyondEndOfFile) {
  const std::string cut("\x05\0\0\0abc", 7);
  TBinReader r1(cut);
  try {
    ReadLongStr(r1);
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Lesen \xFC" "ber das Dateiende hinaus");
    EXPECT_EQ(e.Offset(), 4u);
  }
  const std::string huge("\xFF\xFF\xFF\x7F", 4); // 2 GiB announced, nothing there
  TBinReader r2(huge);
  EXPECT_THROW(ReadLongStr(r2), EInOutError);
  const std::string negative("\xFE\xFF\xFF\xFF", 4);
  TBinReader r3(negative);
  EXPECT_THROW(ReadLongStr(r3), EInOutError);
  TBinReader r4(std::string_view("\x03" "ab", 3));
  EXPECT_THROW(ReadShortStr(r4), EInOutError);
  TBinReader r5(std::string_view("\x01\0\0", 3));
  EXPECT_THROW(r5.ReadInt32(), EInOutError);
}
