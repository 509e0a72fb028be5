#include "core/SafeFile.h"
#include "core/TOptions.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

using namespace postello;
using postello::test::Bytes;

TEST(TOptions, FileIs24BytesPlusTheShortStringName) {
  TOptions o;
  o.MailField = 3;
  o.BccCount = 25;
  o.KontoIndex = 1;
  o.Bcc = true;
  o.DatabaseFile = "/home/j\xC3\xBCrgen/adressen.dbf"; // UTF-8 path, stored in Windows-1252
  EXPECT_EQ(o.Encode(), Bytes().i32(3).i32(25).i32(20).i32(1).i32(0).i32(1).sstr("/home/j\xFCrgen/adressen.dbf").data);
  TOptions back;
  back.Decode(o.Encode());
  EXPECT_EQ(back.MailField, 3);
  EXPECT_EQ(back.BccCount, 25);
  EXPECT_EQ(back.KontoIndex, 1);
  EXPECT_TRUE(back.Bcc);
  EXPECT_EQ(back.DatabaseFile, o.DatabaseFile);
}

TEST(TOptions, LoadingIgnoresReservedFieldsAndClampsTheBatchSize) {
  TOptions o;
  o.Decode(Bytes().i32(-4).i32(500).i32(77).i32(9).i32(88).i32(2).sstr("x.dbf").data);
  EXPECT_EQ(o.MailField, -4);
  EXPECT_EQ(o.BccCount, 100);
  EXPECT_EQ(o.KontoIndex, 9);
  EXPECT_TRUE(o.Bcc);
  o.Decode(Bytes().i32(0).i32(0).i32(20).i32(0).i32(0).i32(0).sstr("").data);
  EXPECT_EQ(o.BccCount, 1);
  EXPECT_FALSE(o.Bcc);
}

TEST(TOptions, AShortFileRaisesAndKeepsWhatWasRead) {
  TOptions o;
  EXPECT_THROW(o.Decode(Bytes().i32(5).i32(30).data), EInOutError);
  EXPECT_EQ(o.MailField, 5);
  EXPECT_EQ(o.BccCount, 30);
  EXPECT_THROW(o.Decode(Bytes().i32(0).i32(20).i32(20).i32(0).i32(0).i32(0).u8(9).raw("abc").data), EInOutError);
}

TEST(TOptions, NameLongerThanTheFormatHoldsIsRefusedNotCut) {
  TOptions o;
  o.DatabaseFile = "/" + std::string(300, 'a') + ".dbf";
  EXPECT_THROW(o.Encode(), ESaveError);
}

TEST(TOptions, PathThatWindows1252CannotHoldIsStoredAsUtf8AndReadBack) {
  TOptions o;
  o.DatabaseFile = "/home/\xD0\x90\xD0\xB4\xD1\x80\xD0\xB5\xD1\x81\xD0\xB0/mail.dbf"; // Cyrillic "Адреса"
  const std::string bytes = o.Encode();
  // Marked by the UTF-8 byte order mark, so no Windows-1252 name is ever
  // taken for UTF-8.
  EXPECT_EQ(bytes.substr(24), Bytes().sstr("\xEF\xBB\xBF" + o.DatabaseFile).data);
  TOptions back;
  back.Decode(bytes);
  EXPECT_EQ(back.DatabaseFile, o.DatabaseFile);
  // A Windows-1252 name whose bytes happen to be valid UTF-8 stays what it is.
  back.Decode(Bytes().i32(0).i32(20).i32(20).i32(0).i32(0).i32(0).sstr("/a/\xC3\xBC.dbf").data);
  EXPECT_EQ(back.DatabaseFile, "/a/\xC3\x83\xC2\xBC.dbf");
  // A name that is no UTF-8 at all (Linux allows any bytes) survives too.
  o.DatabaseFile = std::string("/a/\xFF\xFE.dbf");
  back.Decode(o.Encode());
  EXPECT_EQ(back.DatabaseFile, o.DatabaseFile);
}

TEST(TOptions, MessageForAnOverlongNameQuotesAtMost200Characters) {
  TOptions o;
  o.DatabaseFile = "/" + std::string(300, 'a') + "\n.dbf";
  try {
    o.Encode();
    FAIL() << "no error";
  } catch (const ESaveError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find("/" + std::string(199, 'a')), std::string::npos) << text;
    EXPECT_EQ(text.find(std::string(200, 'a')), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), std::string::npos);
  }
}

// Found by fuzzing: a stored UTF-8 name starting with NUL was saved as the
// bare mark, which loads as the empty name, which saves without the mark.
TEST(TOptions, NameWithANulByteSavesTheSameBytesEveryTime) {
  TOptions o;
  o.Decode(Bytes().i32(0).i32(20).i32(20).i32(0).i32(0).i32(0).sstr(std::string("\xEF\xBB\xBF\0\x9A", 5)).data);
  const std::string once = o.Encode();
  EXPECT_EQ(once.substr(24), std::string(1, '\0'));
  TOptions again;
  again.Decode(once);
  EXPECT_EQ(again.Encode(), once);
}
