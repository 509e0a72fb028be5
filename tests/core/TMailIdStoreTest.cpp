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
