// mailoptionen.dat: the options beside mails.dat, and mails.dat untouched.
#include "core/StoredDateTime.h"
#include "core/TMailOptionsStore.h"
#include "core/TMailStore.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

using namespace postello;
using postello::test::TempDir;

namespace {

void AddMail(TMailList& mails, const std::string& subject, int day) {
  TMailRec* m = mails.Add();
  m->Subject = subject;
  m->MailType = 2;
  m->PlainText = "Text " + subject;
  m->Date = EncodeDateTime(2026, 12, day, 9, 30, 0);
}

TMailList ThreeMails() {
  TMailList mails;
  AddMail(mails, "Erste", 1);
  AddMail(mails, "Zweite", 2);
  AddMail(mails, "Dritte", 3);
  return mails;
}

} // namespace

TEST(TMailOptionsStore, MailsDatKeepsItsBytesAndTheOptionsComeBack) {
  TempDir dir;
  TMailList mails = ThreeMails();
  const std::string plainBytes = TMailStore::Encode(mails);
  mails[1].Unsubscribe = "mailto:ab@example.org?subject=[%eMail], https://example.org/ab?u=[%eMail]";
  mails[1].MergeSubject = true;
  mails[2].MergeSubject = true;
  TMailStore::Save(dir.path(), mails);
  EXPECT_EQ(postello::test::ReadFile(dir.file("mails.dat")), plainBytes);

  TMailList back;
  const TMailLoadResult r = TMailStore::Open(dir.path(), back);
  ASSERT_EQ(r.Error, "");
  ASSERT_EQ(back.Count(), 3u);
  EXPECT_EQ(back[0].Unsubscribe, "");
  EXPECT_FALSE(back[0].MergeSubject);
  EXPECT_EQ(back[1].Unsubscribe, mails[1].Unsubscribe);
  EXPECT_TRUE(back[1].MergeSubject);
  EXPECT_EQ(back[2].Unsubscribe, "");
  EXPECT_TRUE(back[2].MergeSubject);
}

TEST(TMailOptionsStore, NoFileWhileNoMailHasOptions) {
  TempDir dir;
  TMailStore::Save(dir.path(), ThreeMails());
  EXPECT_FALSE(std::filesystem::exists(dir.file("mailoptionen.dat")));
}

TEST(TMailOptionsStore, ClearedOptionsAreWrittenAsNoEntries) {
  TempDir dir;
  TMailList mails = ThreeMails();
  mails[0].MergeSubject = true;
  TMailStore::Save(dir.path(), mails);
  mails[0].MergeSubject = false;
  TMailStore::Save(dir.path(), mails);
  TMailList back;
  ASSERT_EQ(TMailStore::Open(dir.path(), back).Error, "");
  EXPECT_FALSE(back[0].MergeSubject);
}

TEST(TMailOptionsStore, DeletionInThisProgramKeepsOptionsWithTheirMails) {
  TempDir dir;
  TMailList mails = ThreeMails();
  mails[2].Unsubscribe = "https://example.org/weg";
  TMailStore::Save(dir.path(), mails);
  mails.Delete(0);
  TMailStore::Save(dir.path(), mails);
  TMailList back;
  ASSERT_EQ(TMailStore::Open(dir.path(), back).Error, "");
  ASSERT_EQ(back.Count(), 2u);
  EXPECT_EQ(back[0].Unsubscribe, "");
  EXPECT_EQ(back[1].Unsubscribe, "https://example.org/weg");
}

// The older program rewrites mails.dat alone: positions shift, the subject
// and date find the mail again, and a deleted mail's options go nowhere.
TEST(TMailOptionsStore, MailsDatChangedByTheOlderProgramFindsMailsBySubjectAndDate) {
  TempDir dir;
  TMailList mails = ThreeMails();
  mails[0].Unsubscribe = "mailto:erste@example.org";
  mails[2].Unsubscribe = "mailto:dritte@example.org";
  TMailStore::Save(dir.path(), mails);
  TMailList older = ThreeMails();
  older.Delete(0);
  AddMail(older, "Erste", 4);  // same subject, other date: not the same mail
  postello::test::WriteFile(dir.file("mails.dat"), TMailStore::Encode(older));

  TMailList back;
  ASSERT_EQ(TMailStore::Open(dir.path(), back).Error, "");
  ASSERT_EQ(back.Count(), 3u);
  EXPECT_EQ(back[0].Unsubscribe, "");
  EXPECT_EQ(back[1].Unsubscribe, "mailto:dritte@example.org");
  EXPECT_EQ(back[2].Unsubscribe, "");
}

TEST(TMailOptionsStore, DamagedFileIsReportedAndChangesNoMail) {
  TempDir dir;
  TMailList mails = ThreeMails();
  mails[1].Unsubscribe = "mailto:x@example.org";
  mails[2].MergeSubject = true;
  TMailStore::Save(dir.path(), mails);
  const std::string good = postello::test::ReadFile(dir.file("mailoptionen.dat"));
  for (const std::string& bad : {good.substr(0, good.size() - 3), std::string("XXXX") + good.substr(4),
                                 good.substr(0, 4) + std::string("\xFF\xFF\xFF\xFF", 4) + good.substr(8)}) {
    postello::test::WriteFile(dir.file("mailoptionen.dat"), bad);
    TMailList back;
    const TMailLoadResult r = TMailStore::Open(dir.path(), back);
    EXPECT_NE(r.Error.find("mailoptionen.dat"), std::string::npos) << r.Error;
    ASSERT_EQ(back.Count(), 3u);
    EXPECT_EQ(back[1].Unsubscribe, "");
    EXPECT_FALSE(back[2].MergeSubject);
  }
}

// The flag byte of an entry: files written before the To line option keep
// it on; only "off" takes an entry of its own.
TEST(TMailOptionsStore, FlagByteCarriesMergeSubjectAndBccToLine) {
  const auto le32 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  const auto entryFile = [&](const TMailRec& m, char flags) {
    const std::string date = DateTimeToText(m.Date);
    return "PMO1" + le32(1) + le32(0) + le32(5) + "Erste" + le32(static_cast<std::uint32_t>(date.size())) + date +
           std::string(1, flags) + le32(0);
  };
  struct TCase {
    char Flags;
    bool MergeSubject, BccToLine;
  };
  for (const TCase c : {TCase{0, false, true}, TCase{1, true, true}, TCase{2, false, false}, TCase{3, true, false}}) {
    TMailList mails = ThreeMails();
    const std::string bytes = entryFile(mails[0], c.Flags);
    TMailOptionsStore::Decode(bytes, mails);
    EXPECT_EQ(mails[0].MergeSubject, c.MergeSubject) << int(c.Flags);
    EXPECT_EQ(mails[0].BccToLine, c.BccToLine) << int(c.Flags);
    EXPECT_TRUE(mails[1].BccToLine);
    if (c.Flags != 0) EXPECT_EQ(TMailOptionsStore::Encode(mails), bytes) << int(c.Flags);
  }
}
