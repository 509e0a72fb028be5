// mailkennungen.dat: a mail keeps its identity through saving, reordering
// and deleting other mails, and mails.dat keeps its bytes.
#include "core/StoredDateTime.h"
#include "core/TMailIdStore.h"
#include "core/TMailStore.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

using namespace postello;
using postello::test::TempDir;

TEST(TMailIdStore, AnIdentityOutlivesSavingReorderingAndDeleting) {
  TempDir dir;
  TMailList mails;
  for (const char* subject : {"A", "B", "C"}) {
    TMailRec* m = mails.Add();
    m->Subject = subject;
    m->Date = EncodeDateTime(2026, 12, 1, 9, 30, 0);
  }
  TMailStore::Save(dir.path(), mails);
  const std::string plainBytes = postello::test::ReadFile(dir.file("mails.dat"));
  TMailIdStore::Assign(dir.path(), mails, 1);
  TMailIdStore::Assign(dir.path(), mails, 2);
  const std::string b = mails[1].Id, c = mails[2].Id;
  TMailIdStore::Assign(dir.path(), mails, 1);  // has one: kept
  ASSERT_EQ(b.size(), 32u);
  EXPECT_NE(b, c);
  EXPECT_EQ(mails[1].Id, b);
  EXPECT_EQ(postello::test::ReadFile(dir.file("mails.dat")), plainBytes);

  // Each change as the window makes it, then loaded afresh.
  const std::pair<std::function<void(TMailList&)>, std::vector<std::string>> steps[] = {
      {[](TMailList& m) { m[1].Date += 1; }, {"A=", "B=" + b, "C=" + c}},  // saved in the editor
      {[](TMailList& m) { m.Delete(0); }, {"B=" + b, "C=" + c}},
      {[](TMailList& m) { m.Add()->Subject = "D", std::swap(m[0], m[2]); }, {"D=", "C=" + c, "B=" + b}},
  };
  for (const auto& [change, expected] : steps) {
    change(mails);
    TMailStore::Save(dir.path(), mails);
    TMailList back;
    ASSERT_EQ(TMailStore::Open(dir.path(), back).Error, "");
    std::vector<std::string> got;
    for (const TMailRec& m : back) got.push_back(m.Subject + "=" + m.Id);
    EXPECT_EQ(got, expected);
  }
}

// Regression: a mail sent by an older version and then saved lost its runs,
// which name it by the date the save replaced.
TEST(TMailIdStore, SavingAMailWithoutIdentityKeepsTheDateItsOlderRunsName) {
  TempDir dir;
  TMailList mails;
  const double sent = EncodeDateTime(2026, 12, 1, 9, 30, 0), now = EncodeDateTime(2026, 12, 10, 8, 0, 0);
  struct Case {
    double Date;
    std::string Id, FirstDate;  // before; the first date expected after
  } cases[] = {{sent, "", "01.12.2026 09:30:00"}, {sent, "a1", ""}, {0, "", ""}};  // older, has one, new mail
  for (const Case& c : cases) {
    TMailRec* m = mails.Add();
    m->Date = c.Date;
    m->Id = c.Id;
    TMailIdStore::Restamp(*m, now);
  }
  TMailStore::Save(dir.path(), mails);
  TMailList back;
  ASSERT_EQ(TMailStore::Open(dir.path(), back).Error, "");
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(back[i].Date, now);
    EXPECT_EQ(back[i].FirstDate, cases[i].FirstDate);
  }
  EXPECT_EQ(back[0].Id.size(), 32u);
  EXPECT_EQ(back[1].Id, "a1");
  EXPECT_EQ(back[2].Id, "");  // a new mail gets one when it is first sent
}
