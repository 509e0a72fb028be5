#include "core/TKontoStore.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>

using namespace postello;
using postello::test::Bytes;

TEST(TKontoStore, FileBuiltByHandLoadsAndIsWrittenBackIdentical) {
  Bytes b;
  b.i32(2);
  b.sstr("J\xFCrgen M\xFCller").sstr("juergen@example.org").sstr("antwort@example.org")
      .sstr("mail.example.org:587").sstr("").sstr("");
  b.sstr("B").sstr("b@x.de").sstr("").sstr("smtp.x.de").sstr("bee").sstr(CodePassw("geheim"));
  TKontoRec* cur = nullptr;
  TKontoList konten(&cur);
  TKontoStore::Decode(b.data, konten);
  ASSERT_EQ(konten.Count(), 2u);
  EXPECT_EQ(konten[0].Absender, "J\xFCrgen M\xFCller");
  EXPECT_EQ(konten[0].Server, "mail.example.org:587");
  EXPECT_EQ(konten[0].User, "");
  EXPECT_EQ(konten[0].Password, "");
  EXPECT_EQ(DeCodePassw(konten[1].Password), "geheim");
  EXPECT_EQ(TKontoStore::Encode(konten), b.data);
}

TEST(TKontoStore, CutAndHostileFilesAreReported) {
  Bytes b;
  b.i32(1).sstr("a").sstr("b").sstr("c").sstr("d").sstr("e").sstr("f");
  for (std::size_t cut = 0; cut < b.data.size(); ++cut) {
    TKontoList konten;
    EXPECT_THROW(TKontoStore::Decode(b.data.substr(0, cut), konten), EInOutError) << cut;
    EXPECT_EQ(konten.Count(), 0u);
  }
  TKontoList konten;
  EXPECT_THROW(TKontoStore::Decode(Bytes().i32(-3).data, konten), EInOutError);
  EXPECT_THROW(TKontoStore::Decode(Bytes().i32(0x7FFFFFFF).sstr("x").data, konten), EInOutError);
}

TEST(TKontoStore, DamagedFileIsKeptAsideAndDescribed) {
  postello::test::TempDir dir;
  postello::test::WriteFile(dir.file("konten.dat"), Bytes().i32(2).sstr("a").data);
  TKontoList konten;
  const TKontoLoadResult r = TKontoStore::Open(dir.path(), konten);
  EXPECT_NE(r.Error.find("konten.dat\" ist besch\xE4" "digt"), std::string::npos) << r.Error;
  EXPECT_EQ(postello::test::ReadFile(dir.file("konten.dat.defekt")), Bytes().i32(2).sstr("a").data);
}

TEST(TKontoStore, FileIsReadableByItsOwnerOnly) {
  postello::test::TempDir dir;
  TKontoList konten;
  konten.Add()->Password = CodePassw("pw");
  TKontoStore::Save(dir.path(), konten);
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("konten.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(postello::test::ReadFile(dir.file("konten.dat")), TKontoStore::Encode(konten));
}

TEST(CodePassw, VectorsWorkedOutByHand) {
  // 'a' = 0x61: (0x61 ^ 0x5A) + 1 = 0x3B + 1 = 0x3C.
  // 'b' = 0x62: (0x62 ^ 0x5A) + 2 = 0x38 + 2 = 0x3A.
  EXPECT_EQ(CodePassw("ab"), "3C3A");
  // 0xFC (u umlaut): (0xFC ^ 0x5A) + 1 = 0xA6 + 1 = 0xA7.
  EXPECT_EQ(CodePassw("\xFC"), "A7");
  // 0xA5 ^ 0x5A = 0xFF; + 1 wraps to 0x00.
  EXPECT_EQ(CodePassw("\xA5"), "00");
  EXPECT_EQ(CodePassw(""), "");
}

TEST(CodePassw, DecodingAcceptsLowerCaseIgnoresAnOddTailAndCountsNonHexAsZero) {
  EXPECT_EQ(DeCodePassw("3c3a"), "ab");
  EXPECT_EQ(DeCodePassw("3C3A7"), "ab");
  // "Z1": digit values 0 and 1, h = 1, (1 - 1) ^ 0x5A = 'Z'.
  EXPECT_EQ(DeCodePassw("Z1"), "Z");
  EXPECT_EQ(DeCodePassw(""), "");
  EXPECT_EQ(HexDigitValue('g'), 0);
  EXPECT_EQ(HexDigitValue('f'), 15);
}

TEST(CodePassw, RoundTripForEveryLengthUpTo127) {
  std::mt19937 rng(7);
  for (int len = 0; len <= 127; ++len) {
    std::string pw;
    for (int k = 0; k < len; ++k) pw += static_cast<char>(1 + rng() % 255);
    const std::string coded = CodePassw(pw);
    ASSERT_EQ(coded.size(), 2u * len);
    EXPECT_EQ(coded.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(DeCodePassw(coded), pw) << len;
  }
}

TEST(TKontoStore, FieldOf300CharactersIsSavedCutTo255AndTheNextAccountStaysIntact) {
  postello::test::TempDir dir;
  TKontoList konten;
  TKontoRec* k = konten.Add();
  k->Absender = std::string(100, 'a') + std::string(100, 'b') + std::string(100, 'c');
  k->Email = "erster@example.org";
  k->Password = CodePassw("pw");
  k = konten.Add();
  k->Absender = "Zweiter";
  k->Email = "zweiter@example.org";
  k->Server = "smtp.example.org";
  TKontoStore::Save(dir.path(), konten);
  const std::string bytes = postello::test::ReadFile(dir.file("konten.dat"));
  EXPECT_EQ(static_cast<unsigned char>(bytes[4]), 255u);
  EXPECT_EQ(bytes.substr(5, 255), konten[0].Absender.substr(0, 255));
  TKontoList back;
  const TKontoLoadResult r = TKontoStore::Open(dir.path(), back);
  EXPECT_TRUE(r.Error.empty()) << r.Error;
  ASSERT_EQ(back.Count(), 2u);
  EXPECT_EQ(back[0].Absender, std::string(100, 'a') + std::string(100, 'b') + std::string(55, 'c'));
  EXPECT_EQ(back[0].Email, "erster@example.org");
  EXPECT_EQ(DeCodePassw(back[0].Password), "pw");
  EXPECT_EQ(back[1].Absender, "Zweiter");
  EXPECT_EQ(back[1].Email, "zweiter@example.org");
  EXPECT_EQ(back[1].Server, "smtp.example.org");
  EXPECT_EQ(bytes.size(), 4u + (1 + 255) + (1 + 18) + 1 + 1 + 1 + (1 + 4) + (1 + 7) + (1 + 19) + 1 + (1 + 16) + 1 + 1);
}
