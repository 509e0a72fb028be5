#include "core/StoredDateTime.h"
#include "core/SafeFile.h"
#include "core/TMailStore.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace postello;
using postello::test::Bytes;

namespace {

const std::string kRtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Gr\\'fc\\'dfe\\par}";

// Two mails laid out field by field: the first with an umlaut subject, RTF,
// one attachment and one embedded picture; the second a text mail saved at
// midnight, without RTF or attachments.
std::string TwoMails() {
  Bytes b;
  b.i32(2);
  b.lstr("Gr\xFC\xDF" "e an [%Vorname]").lstr("Hallo [%Name],\r\nsch\xF6ne Gr\xFC\xDF" "e")
      .lstr("<p>pure</p>").lstr("<html><body>design</body></html>");
  b.i32(static_cast<std::int32_t>(kRtf.size())).raw(kRtf);
  b.u8(0).u8(1).lstr("24.12.2026 18:30:05");
  b.i32(2).lstr("/home/anna/Preisliste.pdf").lstr("").lstr("/home/anna/logo.png").lstr("LOGO.PNG");
  b.i32(0x00FFFFFF).u8(1);
  b.i32(0x00C0C0C0).i32(0x00800000).i32(0x00008000).i32(static_cast<std::int32_t>(0x80000005));
  b.i32(14).i32(8).i32(0x000000FF).i32(0x00FF0000).u8(1 | 2).u8(4 | 8).i32(600).i32(400);
  b.lstr("Arial").lstr("Times New Roman").lstr("\xDC" "berschrift").lstr("Fu\xDFzeile");
  // second mail
  b.lstr("Nur Text").lstr("Zeile").lstr("").lstr("");
  b.i32(0);
  b.u8(2).u8(0).lstr("01.03.2027");
  b.i32(0).i32(0).u8(0);
  b.i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).u8(0).u8(0).i32(0).i32(0);
  b.lstr("").lstr("").lstr("").lstr("");
  return b.data;
}


} // namespace

TEST(TMailStore, LoadsEveryFieldOfAFileBuiltByHand) {
  TMailRec* cur = nullptr;
  TMailList mails(&cur);
  std::size_t bad = 0;
  TMailStore::Decode(TwoMails(), mails, bad);
  EXPECT_EQ(bad, 0u);
  ASSERT_EQ(mails.Count(), 2u);
  const TMailRec& m = mails[0];
  EXPECT_EQ(m.Subject, "Gr\xFC\xDF" "e an [%Vorname]");
  EXPECT_EQ(m.PlainText, "Hallo [%Name],\r\nsch\xF6ne Gr\xFC\xDF" "e");
  EXPECT_EQ(m.HtmlText, "<p>pure</p>");
  EXPECT_EQ(m.DesignHtml, "<html><body>design</body></html>");
  EXPECT_EQ(m.DesignRtf, kRtf);
  EXPECT_EQ(m.MailType, 0);
  EXPECT_TRUE(m.AutoText);
  EXPECT_DOUBLE_EQ(m.Date, EncodeDateTime(2026, 12, 24, 18, 30, 5));
  ASSERT_EQ(m.Attachments.Count(), 2u);
  EXPECT_EQ(m.Attachments[0].FileName, "/home/anna/Preisliste.pdf");
  EXPECT_EQ(m.Attachments[0].ContentId, "");
  EXPECT_EQ(m.Attachments[1].ContentId, "LOGO.PNG");
  EXPECT_EQ(m.DesignColor, 0x00FFFFFFu);
  EXPECT_TRUE(m.NewsDesign);
  EXPECT_EQ(m.NewsBackColor, 0x00C0C0C0u);
  EXPECT_EQ(m.NewsHeadBackColor, 0x00800000u);
  EXPECT_EQ(m.NewsFootBackColor, 0x00008000u);
  EXPECT_EQ(m.NewsBorderColor, 0x80000005u);
  EXPECT_EQ(m.NewsHeadFontSize, 14);
  EXPECT_EQ(m.NewsFootFontSize, 8);
  EXPECT_EQ(m.NewsHeadFontColor, 0x000000FFu);
  EXPECT_EQ(m.NewsFootFontColor, 0x00FF0000u);
  EXPECT_EQ(m.NewsHeadFontStyle, fsBold | fsItalic);
  EXPECT_EQ(m.NewsFootFontStyle, fsUnderline | fsStrikeOut);
  EXPECT_EQ(m.NewsWidth, 600);
  EXPECT_EQ(m.NewsMinHeight, 400);
  EXPECT_EQ(m.NewsHeadFontName, "Arial");
  EXPECT_EQ(m.NewsFootFontName, "Times New Roman");
  EXPECT_EQ(m.NewsHeadText, "\xDC" "berschrift");
  EXPECT_EQ(m.NewsFootText, "Fu\xDFzeile");
  const TMailRec& t = mails[1];
  EXPECT_EQ(t.MailType, 2);
  EXPECT_TRUE(t.DesignRtf.empty());
  EXPECT_EQ(t.Attachments.Count(), 0u);
  EXPECT_DOUBLE_EQ(t.Date, EncodeDateTime(2027, 3, 1));
}

TEST(TMailStore, WritesTheFileBackByteForByte) {
  TMailList mails;
  std::size_t bad = 0;
  TMailStore::Decode(TwoMails(), mails, bad);
  EXPECT_EQ(TMailStore::Encode(mails), TwoMails());
}

TEST(TMailStore, AttachmentCursorFollowsTheRecordThroughReallocation) {
  TMailRec* cur = nullptr;
  TMailList mails(&cur);
  mails.Add()->Attachments.Add()->FileName = "a";
  for (int k = 0; k < 150; ++k) mails.Add();
  TMailRec& first = *mails.Select(0);
  first.Attachments.First();
  ASSERT_TRUE(first.Attachments.Next());
  EXPECT_EQ(first.CurAttach, &first.Attachments[0]);
  EXPECT_EQ(first.CurAttach->FileName, "a");
}

TEST(TMailStore, EveryCutOfTheFileIsReportedAndKeepsTheMailsBefore) {
  // Cutting at every byte covers every field boundary and every point
  // inside a field.
  const std::string whole = TwoMails();
  const std::size_t firstMailEnd = whole.find("Nur Text") - 4;
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    TMailList mails;
    std::size_t bad = 0;
    EXPECT_THROW(TMailStore::Decode(whole.substr(0, cut), mails, bad), EInOutError) << "cut " << cut;
    EXPECT_EQ(mails.Count(), cut >= firstMailEnd ? 1u : 0u) << "cut " << cut;
  }
}

TEST(TMailStore, HostileLengthsAreRefusedWithoutHugeAllocations) {
  for (const std::string& bytes : {
           Bytes().i32(-1).data,                                  // negative count
           Bytes().i32(0x7FFFFFFF).data,                          // absurd count, no data
           Bytes().i32(1).i32(-5).data,                           // negative text length
           Bytes().i32(1).i32(0x7FFFFFF0).raw("abc").data,        // text longer than the file
           Bytes().i32(1).lstr("").lstr("").lstr("").lstr("").i32(-1).data, // negative RTF size
           Bytes().i32(1).lstr("").lstr("").lstr("").lstr("").i32(0x7FFFFFFF).data,
       }) {
    TMailList mails;
    std::size_t bad = 0;
    EXPECT_THROW(TMailStore::Decode(bytes, mails, bad), EInOutError);
    EXPECT_EQ(mails.Count(), 0u);
  }
}

TEST(TMailStore, DamagedFileIsReportedInGermanAndKeptAside) {
  postello::test::TempDir dir;
  const std::string whole = TwoMails();
  postello::test::WriteFile(dir.file("mails.dat"), whole.substr(0, whole.size() - 3));
  TMailList mails;
  const TMailLoadResult r = TMailStore::Open(dir.path(), mails);
  EXPECT_EQ(mails.Count(), 1u);
  EXPECT_NE(r.Error.find("mails.dat\" ist besch\xE4" "digt"), std::string::npos) << r.Error;
  EXPECT_NE(r.Error.find("Read beyond end of file"), std::string::npos);
  EXPECT_EQ(postello::test::ReadFile(dir.file("mails.dat.defekt")), whole.substr(0, whole.size() - 3));
}

TEST(TMailStore, UnreadableDateLoadsTheMailWithoutDate) {
  Bytes b;
  b.i32(1).lstr("s").lstr("").lstr("").lstr("").i32(0).u8(2).u8(0).lstr("12/24/2026 6:30 PM");
  b.i32(0).i32(0).u8(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).u8(0).u8(0).i32(0).i32(0);
  b.lstr("").lstr("").lstr("").lstr("");
  TMailList mails;
  std::size_t bad = 0;
  TMailStore::Decode(b.data, mails, bad);
  ASSERT_EQ(mails.Count(), 1u);
  EXPECT_EQ(bad, 1u);
  EXPECT_EQ(mails[0].Date, 0);
  EXPECT_EQ(DateTimeToText(mails[0].Date), "");
}

TEST(TMailStore, MissingFileLeavesTheListAlone) {
  postello::test::TempDir dir;
  TMailList mails;
  mails.Add()->Subject = "kept";
  const TMailLoadResult r = TMailStore::Open(dir.path(), mails);
  EXPECT_FALSE(r.FileFound);
  EXPECT_TRUE(r.Error.empty());
  EXPECT_EQ(mails.Count(), 1u);
}

TEST(TMailStore, SaveReplacesTheFileAndReportsAnUnwritableFolder) {
  postello::test::TempDir dir;
  TMailList mails;
  mails.Add()->Subject = "eins";
  TMailStore::Save(dir.path(), mails);
  EXPECT_EQ(postello::test::ReadFile(dir.file("mails.dat")), TMailStore::Encode(mails));
  // No temporary file is left behind.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
  if (::geteuid() != 0) {
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_THROW(TMailStore::Save(dir.path(), mails), ESaveError);
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
  }
  try {
    TMailStore::Save(dir.path() + "missing/", mails);
    FAIL() << "saved into a missing folder";
  } catch (const ESaveError& e) {
    EXPECT_NE(std::string(e.what()).find("missing/mails.dat\" konnte nicht gespeichert werden"), std::string::npos);
  }
}

namespace {

// One text mail whose date field holds dateText.
std::string OneMailDated(const std::string& dateText) {
  Bytes b;
  b.i32(1).lstr("s").lstr("p").lstr("").lstr("").i32(0).u8(2).u8(0).lstr(dateText);
  b.i32(0).i32(0).u8(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).u8(0).u8(0).i32(0).i32(0);
  b.lstr("").lstr("").lstr("").lstr("");
  return b.data;
}

} // namespace

TEST(TMailStore, UnreadableDateTextIsWrittenBackExactlyAsRead) {
  // The older program cannot load a file with an empty date: a text we
  // cannot read must survive a save unchanged.
  for (const std::string& text : {std::string("12/24/2026 6:30 PM"), std::string("heute"), std::string("24.12.2026 25:00"), std::string("\x01\xFF", 2)}) {
    const std::string file = OneMailDated(text);
    TMailList mails;
    std::size_t bad = 0;
    TMailStore::Decode(file, mails, bad);
    ASSERT_EQ(bad, 1u) << text;
    EXPECT_EQ(mails[0].Date, 0);
    EXPECT_EQ(TMailStore::Encode(mails), file) << text;
    // Saving the mail in the editor gives it a real date again.
    mails[0].Date = EncodeDateTime(2027, 1, 2, 3, 4, 5);
    EXPECT_EQ(TMailStore::Encode(mails), OneMailDated("02.01.2027 03:04:05"));
  }
}

TEST(TMailStore, EarlyDatesAndTwoDigitYearsSurviveASave) {
  TMailList mails;
  std::size_t bad = 0;
  TMailStore::Decode(OneMailDated("08.12.0226 14:30:05"), mails, bad);
  ASSERT_EQ(bad, 0u);
  EXPECT_EQ(TMailStore::Encode(mails), OneMailDated("08.12.0226 14:30:05"));
  TMailList again;
  TMailStore::Decode(TMailStore::Encode(mails), again, bad);
  EXPECT_EQ(TMailStore::Encode(again), OneMailDated("08.12.0226 14:30:05"));

  TMailStore::Decode(OneMailDated("08.12.26 14:05:00"), mails, bad);
  EXPECT_EQ(bad, 0u);
  EXPECT_NE(mails[0].Date, 0);
  const std::string saved = TMailStore::Encode(mails);
  EXPECT_NE(saved.find("08.12.", 0), std::string::npos);
  EXPECT_NE(saved.find("26 14:05:00"), std::string::npos);
}

// Found by fuzzing: a date text with a NUL byte was kept whole as unreadable,
// saved cut at the NUL, and then read as a date: the second save differed.
TEST(TMailStore, DateTextEndsAtItsFirstNul) {
  TMailList mails;
  std::size_t bad = 0;
  TMailStore::Decode(OneMailDated(std::string("23.12.2026\0x", 12)), mails, bad);
  EXPECT_EQ(bad, 0u);
  EXPECT_EQ(TMailStore::Encode(mails), OneMailDated("23.12.2026"));
  TMailStore::Decode(OneMailDated(std::string("heute\0x", 7)), mails, bad);
  EXPECT_EQ(TMailStore::Encode(mails), OneMailDated("heute"));
}
