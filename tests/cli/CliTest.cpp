// Runs the real postello-cli program on state files made here.
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "core/StoredDateTime.h"
#include "../core/TestBytes.h"
#include "CliRun.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

using namespace postello;
using postello::test::TempDir;

namespace {

using postello::test::Cli;
using postello::test::Result;

} // namespace

TEST(CliMails, ListsIndexSubjectDateAndTypeInUtf8) {
  TempDir dir;
  TMailList mails;
  TMailRec* m = mails.Add();
  m->Subject = "Gr\xFC\xDF" "e";
  m->Date = EncodeDateTime(2026, 12, 24, 18, 30, 5);
  m->MailType = 1;
  m = mails.Add();
  m->Subject = "Zwei\r\nZeilen";
  m->Date = EncodeDateTime(2027, 1, 1);
  m->MailType = 2;
  TMailStore::Save(dir.path(), mails);
  const Result r = Cli("mails --dir " + dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0\tGr\xC3\xBC\xC3\x9F" "e\t24.12.2026 18:30:05\t1\n1\tZwei  Zeilen\t01.01.2027\t2\n");
}

TEST(CliMails, DamagedFileGivesStatusTwoAndTheMessage) {
  TempDir dir;
  postello::test::WriteFile(dir.file("mails.dat"), postello::test::Bytes().i32(1).lstr("abc").data);
  const Result r = Cli("mails --dir " + dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("mails.dat\" ist besch\xC3\xA4" "digt"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Lesen \xC3\xBC" "ber das Dateiende hinaus"), std::string::npos);
}

TEST(CliMails, MissingFileListsNothingAndSaysSo) {
  TempDir dir;
  const Result r = Cli("mails --dir " + dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Im Ordner \"" + dir.path() + "\" gibt es keine mails.dat; es sind keine Mails gespeichert.\n");
}

TEST(CliAccounts, MissingFileListsNothingAndSaysSo) {
  TempDir dir;
  const Result r = Cli("accounts --dir " + dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Im Ordner \"" + dir.path() + "\" gibt es keine konten.dat; es sind keine Konten gespeichert.\n");
  // A file with no accounts in it is no missing file: nothing to say.
  TKontoStore::Save(dir.path(), TKontoList{});
  const Result empty = Cli("accounts --dir " + dir.path());
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.err, "");
}

TEST(CliFrame, WrongArgumentsGiveStatusTwo) {
  EXPECT_EQ(Cli("").status, 2);
  EXPECT_EQ(Cli("gibtsnicht").status, 2);
  const Result r = Cli("mails --bogus");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unbekannte Option --bogus"), std::string::npos);
  EXPECT_EQ(Cli("mails extra").status, 2);
  EXPECT_EQ(Cli("mails --dir").status, 2);
  const Result help = Cli("mails --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--dir ORDNER"), std::string::npos);
}

TEST(CliAccounts, ListsAccountsWithoutPasswords) {
  TempDir dir;
  TKontoList konten;
  TKontoRec* k = konten.Add();
  k->Absender = "J\xFCrgen";
  k->Email = "j@example.org";
  k->Server = "smtp.example.org:587";
  k->User = "jm";
  k->Password = CodePassw("Geheim99");
  TKontoStore::Save(dir.path(), konten);
  const Result r = Cli("accounts --dir " + dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\tJ\xC3\xBCrgen\tj@example.org\tsmtp.example.org:587\n");
  EXPECT_EQ(r.out.find(CodePassw("Geheim99")), std::string::npos);
}

TEST(CliMails, ControlCharactersOfStoredTextsNeverReachTheTerminal) {
  TempDir dir;
  TMailList mails;
  mails.Add()->Subject = "Hallo\x1B]0;titel\x07 \x9D Welt\r\n";
  TMailStore::Save(dir.path(), mails);
  const Result r = Cli("mails --dir " + dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0\tHallo?]0;titel? ? Welt  \t\t0\n");
}
