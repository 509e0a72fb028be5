// mailkennungen.dat: a mail keeps its identity through saving, reordering
// and deleting other mails, and mails.dat keeps its bytes.
#include "core/StoredDateTime.h"
#include "core/TMailIdStore.h"
#include "core/TMailStore.h"
#include "TestBytes.h"

#include <gtest/gtest.h>

#include <set>

using namespace postello;
using postello::test::TempDir;

namespace {

TMailList Mails(std::initializer_list<const char*> subjects) {
  TMailList mails;
  int day = 1;
  for (const char* s : subjects) {
    TMailRec* m = mails.Add();
    m->Subject = s;
    m->MailType = 2;
    m->Date = EncodeDateTime(2026, 12, day++, 9, 30, 0);
  }
  return mails;
}

std::vector<std::string> SubjectsAndIds(const TMailList& mails) {
  std::vector<std::string> out;
  for (const TMailRec& m : mails) out.push_back(m.Subject + "=" + m.Id);
  return out;
}

} // namespace

TEST(TMailIdStore, AnIdentityOutlivesSavingReorderingAndDeleting) {
  TempDir dir;
  TMailList mails = Mails({"A", "B", "C"});
  TMailStore::Save(dir.path(), mails);
  const std::string plainBytes = postello::test::ReadFile(dir.file("mails.dat"));
  TMailIdStore::Assign(dir.path(), mails, 1);
  TMailIdStore::Assign(dir.path(), mails, 2);
  const std::string idB = mails[1].Id, idC = mails[2].Id;
  ASSERT_EQ(idB.size(), 32u);
  EXPECT_NE(idB, idC);
  EXPECT_EQ(mails[0].Id, "");
  TMailIdStore::Assign(dir.path(), mails, 1);  // has one: stays
  EXPECT_EQ(mails[1].Id, idB);
  EXPECT_EQ(postello::test::ReadFile(dir.file("mails.dat")), plainBytes);

  // Each change as the window makes it, then loaded afresh.
  struct Step {
    const char* Name;
    std::function<void(TMailList&)> Change;
    std::vector<std::string> Expected;
  };
  const Step steps[] = {
      {"saved in the editor: a new date", [](TMailList& m) { m[1].Date = EncodeDateTime(2026, 12, 9, 8, 0, 0); },
       {"A=", "B=" + idB, "C=" + idC}},
      {"the mail before it deleted", [](TMailList& m) { m.Delete(0); }, {"B=" + idB, "C=" + idC}},
      {"a new mail, then reordered",
       [](TMailList& m) {
         m.Add()->Subject = "D";
         std::swap(m[0], m[2]);
       },
       {"D=", "C=" + idC, "B=" + idB}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.Name);
    s.Change(mails);
    TMailStore::Save(dir.path(), mails);
    TMailList back;
    ASSERT_EQ(TMailStore::Open(dir.path(), back).Error, "");
    EXPECT_EQ(SubjectsAndIds(back), s.Expected);
    EXPECT_EQ(postello::test::ReadFile(dir.file("mails.dat")), TMailStore::Encode(back));
  }
}

TEST(TMailIdStore, NewIdentitiesDiffer) {
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(seen.insert(TMailIdStore::NewId()).second);
}
