// postello-cli mail-options and account-options, run as the real program.
#include "core/StoredDateTime.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "../core/TestBytes.h"
#include "CliRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using namespace postello;
using postello::test::TempDir;

namespace {

using postello::test::Result;

Result Cli(const TempDir& dir, const std::string& args) { return postello::test::CliIn(dir.path(), args); }

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
  EXPECT_EQ(r.out, "Betreff: [%Vorname], Neues\nAbmelden: \nPlatzhalter im Betreff ersetzen: nein\n"
                   "An-Zeile f\xC3\xBCr Bcc-Mails: ja\n");
  EXPECT_NE(r.err.find("Der Betreff enth\xC3\xA4lt einen Platzhalter"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("mailoptionen.dat")));

  r = Cli(dir, "mail-options --mail 1 --unsubscribe 'mailto:ab@example.org, https://example.org/ab?u=[%eMail]'"
               " --merge-subject ja --bcc-to nein");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(postello::test::ReadFile(dir.file("mails.dat")), before);

  TMailList mails;
  ASSERT_EQ(TMailStore::Open(dir.path(), mails).Error, "");
  EXPECT_EQ(mails[1].Unsubscribe, "mailto:ab@example.org, https://example.org/ab?u=[%eMail]");
  EXPECT_TRUE(mails[1].MergeSubject);
  EXPECT_FALSE(mails[1].BccToLine);
  EXPECT_EQ(mails[0].Unsubscribe, "");
  EXPECT_TRUE(mails[0].BccToLine);

  r = Cli(dir, "mail-options --mail 1 --unsubscribe '' --merge-subject nein --bcc-to ja");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Betreff: [%Vorname], Neues\nAbmelden: \nPlatzhalter im Betreff ersetzen: nein\n"
                   "An-Zeile f\xC3\xBCr Bcc-Mails: ja\n");
}

TEST(CliMailOptions, RefusesBadValuesAndWritesNothing) {
  TempDir dir;
  SaveTwoMails(dir);
  for (const char* args : {"mail-options --mail 1 --unsubscribe http://example.org",
                           "mail-options --mail 1 --merge-subject vielleicht", "mail-options --mail 2 --merge-subject ja",
                           "mail-options --merge-subject ja", "mail-options --mail 1 --bcc-to vielleicht"}) {
    const Result r = Cli(dir, args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err, "") << args;
    EXPECT_FALSE(std::filesystem::exists(dir.file("mailoptionen.dat"))) << args;
  }
}

// konten.dat with the accounts "Erstes" and "Zweites".
void SaveTwoAccounts(const TempDir& dir) {
  TKontoList konten;
  for (const char* name : {"Erstes", "Zweites"}) {
    TKontoRec* k = konten.Add();
    k->Absender = name;
    k->Email = "a@example.org";
    k->Server = "mail.example.org:587";
  }
  TKontoStore::Save(dir.path(), konten);
}

TEST(CliAccountOptions, ShowsSetsAndKeepsKontenDat) {
  TempDir dir;
  SaveTwoAccounts(dir);
  const std::string before = postello::test::ReadFile(dir.file("konten.dat"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("kontooptionen.dat")));

  Result r = Cli(dir, "account-options --account 1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Konto: Zweites a@example.org\nMehrere Mails pro Verbindung: 0\nParallele Verbindungen: 1\n"
                   "H\xC3\xB6" "chstens Mails pro Minute: 0\n");
  r = Cli(dir, "account-options --account 1 --reuse 50 --parallel 4 --rate 120");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(postello::test::ReadFile(dir.file("konten.dat")), before);

  TKontoList back;
  ASSERT_EQ(TKontoStore::Open(dir.path(), back).Error, "");
  EXPECT_EQ(back[1].Reuse, 50);
  EXPECT_EQ(back[1].Parallel, 4);
  EXPECT_EQ(back[1].RatePerMinute, 120);
  EXPECT_EQ(back[0].Reuse, 0);
  EXPECT_EQ(back[0].Parallel, 1);

  // The older program deletes the first account: the options follow the
  // second by its name, address and server.
  back.Delete(0);
  postello::test::WriteFile(dir.file("konten.dat"), TKontoStore::Encode(back));
  TKontoList moved;
  ASSERT_EQ(TKontoStore::Open(dir.path(), moved).Error, "");
  EXPECT_EQ(moved[0].Parallel, 4);

  for (const char* bad : {"account-options --account 0 --parallel 9", "account-options --account 0 --parallel 0",
                          "account-options --account 0 --rate -1", "account-options --account 5 --reuse 1"}) {
    const Result b = Cli(dir, bad);
    EXPECT_EQ(b.status, 2) << bad;
  }
  TKontoList after;
  ASSERT_EQ(TKontoStore::Open(dir.path(), after).Error, "");
  EXPECT_EQ(after[0].Parallel, 4);
}

TEST(CliBlockList, AddsListsRemovesAndRefuses) {
  TempDir dir;
  struct Step {
    const char* Args;
    int Status;
    const char* Out;  // UTF-8, dates cut off
  } const steps[] = {
      {"blocklist", 0, ""},
      {"blocklist --add Anna@X.de --reason 'hat sich abgemeldet'", 0, "Anna@X.de\that sich abgemeldet\t"},
      {"blocklist --add anna@x.de", 0, "Anna@X.de\that sich abgemeldet\t"},
      {"blocklist --add 'b@x.de' --remove 'anna@x.de'", 2, ""},
      {"blocklist --remove ANNA@x.de", 0, ""},
      {"blocklist --remove anna@x.de", 2, ""},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.Args);
    const Result r = Cli(dir, s.Args);
    EXPECT_EQ(r.status, s.Status) << r.err;
    EXPECT_EQ(r.out.substr(0, std::string(s.Out).size()), s.Out);
    if (std::string(s.Out).empty()) EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(postello::test::ReadFile(dir.file("sperrliste.csv")), "\xEF\xBB\xBF" "Adresse;Grund;Datum;Quelle\r\n");
}

TEST(CliMailbox, SetsShowsWithoutPasswordForgetsAndRefuses) {
  TempDir dir, in;
  SaveTwoAccounts(dir);
  const std::string kontenBefore = postello::test::ReadFile(dir.file("konten.dat"));
  postello::test::WriteFile(in.file("pw"), "geheim\r\n");
  const std::string pw = " <'" + in.file("pw") + "'";
  const std::string head = "Konto: Zweites a@example.org\n";
  const std::string none = head + "Kein Posteingang f\xC3\xBCr R\xC3\xBC" "ckl\xC3\xA4ufer eingestellt.\n";
  const std::string saved = "imap.example.org:993 geheim";
  const std::string set = head + "IMAP-Server: imap.example.org:993\nBenutzer: r\xC3\xBC" "ck\n";
  const struct {
    std::string Args;
    int Status;
    std::string Out;  // the whole output; with status 2 a piece of the error
    std::string Stored = {};  // server and clear password stored after the step
  } steps[] = {
      {"mailbox --account 1", 0, none},
      {"mailbox --account 1 --server imap.example.org:0 --user x --password-stdin" + pw, 2,
       "IMAP-Server \"imap.example.org:0\": der Port muss eine Zahl von 1 bis 65535 sein."},
      {"mailbox --account 1 --server imap.example.org:993 --password-stdin" + pw, 2, "braucht --server, --user"},
      {"mailbox --account 1 --server imap.example.org:993 --user x --password-stdin </dev/null", 2,
       "Das Kennwort ist leer"},
      {"mailbox --account 1 --server imap.example.org:993 --user 'r\xC3\xBC" "ck' --password-stdin" + pw, 0,
       set + "Kennwort: gespeichert\nOrdner: INBOX\nOrdner f\xC3\xBCr Verarbeitete: Postello/Verarbeitet\n", saved},
      {"mailbox --account 1", 0,
       set + "Kennwort: gespeichert\nOrdner: INBOX\nOrdner f\xC3\xBCr Verarbeitete: Postello/Verarbeitet\n", saved},
      {"mailbox --account 1 --oauth --password-stdin" + pw, 2, "schlie\xC3\x9F" "en einander aus", saved},
      {"mailbox --account 1 --forget --folder x", 2, "--forget steht allein", saved},
      {"mailbox --account 1 --oauth --folder 'R\xC3\xBC" "ckl\xC3\xA4ufer' --done-folder Erledigt", 0,
       set + "Kennwort: keins, Anmeldung mit OAuth (XOAUTH2)\nOrdner: R\xC3\xBC" "ckl\xC3\xA4ufer\n"
             "Ordner f\xC3\xBCr Verarbeitete: Erledigt\n", "imap.example.org:993 "},
      {"mailbox --account 1 --forget", 0, none},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.Args);
    const Result r = Cli(dir, s.Args);
    EXPECT_EQ(r.status, s.Status) << r.err;
    if (s.Status == 0) EXPECT_EQ(r.out, s.Out);
    else EXPECT_NE(r.err.find(s.Out), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("geheim"), std::string::npos);
    EXPECT_EQ(postello::test::ReadFile(dir.file("konten.dat")), kontenBefore);
    TKontoList back;
    ASSERT_EQ(TKontoStore::Open(dir.path(), back).Error, "");
    EXPECT_EQ(back[1].Mailbox.Server + (s.Stored.empty() ? "" : " " + DeCodePassw(back[1].Mailbox.Password)),
              s.Stored);
    EXPECT_EQ(back[0].Mailbox.Server, "");
  }
  EXPECT_EQ(postello::test::ReadFile(dir.file("postfaecher.dat")), std::string("PPF1\0\0\0\0", 8));
}
