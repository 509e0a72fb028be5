// postello-cli mail-options and account-options, run as the real program.
#include "core/MailDate.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "../core/TestBytes.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace postello;
using postello::test::TempDir;

namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

Result Cli(const TempDir& dir, const std::string& args) {
  TempDir tmp;
  const std::string cmd = std::string(POSTELLO_BIN_DIR) + "/postello-cli " + args + " --dir '" + dir.path() +
                          "' >" + tmp.file("out") + " 2>" + tmp.file("err");
  const int rc = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  r.out = postello::test::ReadFile(tmp.file("out"));
  r.err = postello::test::ReadFile(tmp.file("err"));
  return r;
}

void SaveTwoMails(const TempDir& dir) {
  TMailList mails;
  for (const char* subject : {"Erste", "[%Vorname], Neues"}) {
    TMailRec* m = mails.Add();
    m->Subject = subject;
    m->MailType = 2;
    m->Date = EncodeDateTime(2026, 12, 9, 10, 5, 0);
  }
  TMailStore::Save(dir.path(), mails);
}

} // namespace

TEST(CliMailOptions, ShowsSetsAndKeepsMailsDat) {
  TempDir dir;
  SaveTwoMails(dir);
  const std::string before = postello::test::ReadFile(dir.file("mails.dat"));

  Result r = Cli(dir, "mail-options --mail 1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Betreff: [%Vorname], Neues\nAbmelden: \nPlatzhalter im Betreff ersetzen: nein\n");
  EXPECT_NE(r.err.find("Der Betreff enth\xC3\xA4lt einen Platzhalter"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("mailoptionen.dat")));

  r = Cli(dir, "mail-options --mail 1 --unsubscribe 'mailto:ab@example.org, https://example.org/ab?u=[%eMail]'"
               " --merge-subject ja");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(postello::test::ReadFile(dir.file("mails.dat")), before);

  TMailList mails;
  ASSERT_EQ(TMailStore::Open(dir.path(), mails).Error, "");
  EXPECT_EQ(mails[1].Unsubscribe, "mailto:ab@example.org, https://example.org/ab?u=[%eMail]");
  EXPECT_TRUE(mails[1].MergeSubject);
  EXPECT_EQ(mails[0].Unsubscribe, "");

  r = Cli(dir, "mail-options --mail 1 --unsubscribe '' --merge-subject nein");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Betreff: [%Vorname], Neues\nAbmelden: \nPlatzhalter im Betreff ersetzen: nein\n");
}

TEST(CliMailOptions, RefusesBadValuesAndWritesNothing) {
  TempDir dir;
  SaveTwoMails(dir);
  for (const char* args : {"mail-options --mail 1 --unsubscribe http://example.org",
                           "mail-options --mail 1 --merge-subject vielleicht", "mail-options --mail 2 --merge-subject ja",
                           "mail-options --merge-subject ja"}) {
    const Result r = Cli(dir, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err, "") << args;
    EXPECT_FALSE(std::filesystem::exists(dir.file("mailoptionen.dat"))) << args;
  }
}
