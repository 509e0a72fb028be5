// postello-cli send, recipients, import and newdb, run as programs on
// state files made here, sending to aiosmtpd or into a folder.
#include "addressdb/AddressDb.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "core/TOptions.h"
#include "send/SendRunSupport.h"
#include "send/TSendJournal.h"

#include "CliRun.h"
#include "CliSendState.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <thread>

using namespace postello;
using namespace postello::test;

namespace {

class CliSendTest : public ::testing::Test {
protected:
  void SetUp() override {
    Picture = "GIF89a" + RandomBytes(5000, 3);
    Document = RandomBytes(30000, 4);
    WriteBytes(Path("logo.gif"), Picture);
    WriteBytes(Path("Preis Liste.pdf"), Document);
  }

  std::string Path(const std::string& name) const { return (Dir.Path() / name).string(); }

  // Starts "postello-cli send --mail 0 --account 0 --personal" on the
  // folder in the background, its outputs in stdout and stderr there.
  pid_t StartPersonalSend() {
    return StartCli({"send", "--mail", "0", "--account", "0", "--personal", "--dir", Dir.Path().string()},
                    Path("stdout"), Path("stderr"));
  }

  // State files: options (database adr.dbf, e-mail field 0), one account
  // for the server port, one HTML mail with picture and attachment.
  void MakeState(int port, bool bcc = false, int bccCount = 20) {
    WriteOptionsAndAccount(Dir.Path(), port, bcc, bccCount);
    TMailList mails;
    TMailRec* m = mails.Add();
    m->Subject = "Gr\xFC\xDF" "e";
    m->MailType = 1;
    m->HtmlText = "<p>Hallo [%Vorname]</p><img src=\"cid:LOGO.GIF\">";
    m->PlainText = "Hallo [%Vorname] [%Name]";
    m->Attachments.Add()->FileName = Path("logo.gif");
    m->CurAttach->ContentId = "LOGO.GIF";
    m->Attachments.Add()->FileName = Path("Preis Liste.pdf");
    TMailStore::Save(Dir.Path().string() + "/", mails);
  }

  void MakePeople(int n) { WritePeople(Dir.Path(), n); }

  // Runs postello-cli on the folder; args are shell-quoted already.
  Result Cli(const std::string& args) { return CliIn(Dir.Path().string(), args); }

  std::string DescribeReceived(const TSmtpTestServer& server) {
    std::vector<std::filesystem::path> files;
    for (int n = 1; n <= server.Count(); ++n) {
      const std::string base = Path("msg-" + std::to_string(n));
      WriteBytes(base + ".eml", server.Message(n));
      WriteBytes(base + ".json", server.Notes(n));
      files.push_back(base + ".eml");
    }
    return DescribeSent(files);
  }

  std::string AttachmentLines() const {
    return "part 2 image/gif name= cid=<LOGO.GIF> disposition=inline\n  bytes: " + std::to_string(Picture.size()) +
           " " + Sha256Hex(Picture) + "\npart 3 application/pdf name=Preis Liste.pdf cid= disposition=attachment\n"
           "  bytes: " + std::to_string(Document.size()) + " " + Sha256Hex(Document) + "\ndefects: 0\n";
  }

  TTempDir Dir;
  std::string Picture, Document;
};

TEST_F(CliSendTest, PersonalRunToTheServerReportsTheRefusedRecipient) {
  TSmtpTestServer server({"--refuse", Address(2)});
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port(), true, 20);  // options say Bcc; the flag wins
  MakePeople(3);
  const Result r = Cli("send --mail 0 --account 0 --personal");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "3 Mails von 3 verarbeitet 1 fehlgeschlagen.\n");
  EXPECT_EQ(r.err, "Fehler beim Senden der Nachricht an p2@example.org: 550 5.1.1 <p2@example.org>: Recipient address "
                   "rejected\n");
  ASSERT_EQ(server.Count(), 2);
  const std::string all = DescribeReceived(server);
  int n = 0;
  for (int i : {1, 3}) {
    const std::string block = Block(all, "msg-" + std::to_string(++n) + ".eml");
    SCOPED_TRACE(block);
    const std::string v = std::to_string(i);
    EXPECT_EQ(Line(block, "envelope"), "versand@example.org -> " + Address(i));
    EXPECT_EQ(Line(block, "to"), Address(i));
    EXPECT_EQ(Line(block, "subject"), "Gr\xFC\xDF" "e");
    EXPECT_NE(block.find("  text: Hallo V" + v + " N" + v + "\n"), std::string::npos);
    EXPECT_NE(block.find("  text: <p>Hallo V" + v + "</p><img src=\"cid:LOGO.GIF\">\n" + AttachmentLines()),
              std::string::npos);
  }
}

TEST_F(CliSendTest, BatchModeFromTheOptionsSendsEnvelopesOnly) {
  TSmtpTestServer server({});
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port(), true, 2);
  MakePeople(5);
  const Result r = Cli("send --mail 0 --account 0");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "3 Mails von 3 verarbeitet 0 fehlgeschlagen.\n");
  EXPECT_EQ(r.err, "");
  ASSERT_EQ(server.Count(), 3);
  const std::string all = DescribeReceived(server);
  const char* const envelopes[] = {"p1@example.org,p2@example.org", "p3@example.org,p4@example.org",
                                   "p5@example.org"};
  for (int m = 0; m < 3; ++m) {
    const std::string block = Block(all, "msg-" + std::to_string(m + 1) + ".eml");
    SCOPED_TRACE(block);
    EXPECT_EQ(Line(block, "envelope"), std::string("versand@example.org -> ") + envelopes[m]);
    EXPECT_EQ(Line(block, "to"), "");  // the empty group names no address
    EXPECT_NE(block.find("  text: Hallo [%Vorname] [%Name]\n"), std::string::npos);
    EXPECT_NE(block.find(AttachmentLines()), std::string::npos);
  }
  // --bcc overrides the options' batch size.
  const Result r2 = Cli("send --mail 0 --account 0 --bcc 5");
  EXPECT_EQ(r2.out, "1 Mail von 1 verarbeitet 0 fehlgeschlagen.\n");
  EXPECT_EQ(server.Count(), 4);
}

TEST_F(CliSendTest, EmlDirHoldsEachMessageAndItsEnvelope) {
  MakeState(9);  // nothing may connect
  MakePeople(4);
  const std::string out = Path("ausgabe");
  Result r = Cli("send --mail 0 --account 0 --filter V3 --eml-dir '" + out + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 Mail von 1 verarbeitet 0 fehlgeschlagen.\n");
  EXPECT_EQ(ReadFileBytes(out + "/00001.env"), "versand@example.org\np3@example.org\n");
  std::string block = Block(DescribeSent({out + "/00001.eml"}), "00001.eml");
  EXPECT_EQ(Line(block, "to"), Address(3)) << block;
  EXPECT_EQ(Line(block, "headers"),
            "From,Reply-To,Subject,Date,Message-ID,To,Mime-Version,X-Mailer,Content-Type,Content-Length");
  EXPECT_EQ(Line(block, "length"), "ok");
  EXPECT_NE(block.find("  text: Hallo V3 N3\n"), std::string::npos) << block;
  EXPECT_NE(block.find(AttachmentLines()), std::string::npos) << block;
  // The file holds what DATA would carry: header, empty line, body, CR LF.
  const std::string eml = ReadFileBytes(out + "/00001.eml");
  EXPECT_EQ(eml.compare(0, 6, "From: "), 0);
  EXPECT_EQ(eml.substr(eml.size() - 4), "\r\n\r\n");

  r = Cli("send --mail 0 --account 0 --bcc 3 --eml-dir '" + out + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFileBytes(out + "/00001.env"), "versand@example.org\np1@example.org\np2@example.org\np3@example.org\n");
  EXPECT_EQ(ReadFileBytes(out + "/00002.env"), "versand@example.org\np4@example.org\n");
  EXPECT_FALSE(std::filesystem::exists(out + "/00003.eml"));
  // A batch message names no recipient, but has the empty group as To.
  block = Block(DescribeSent({out + "/00002.eml"}), "00002.eml");
  EXPECT_EQ(Line(block, "to"), "") << block;
  EXPECT_EQ(Line(block, "headers"),
            "From,Reply-To,Subject,Date,Message-ID,To,Mime-Version,X-Mailer,Content-Type,Content-Length");
  EXPECT_NE(ReadFileBytes(out + "/00002.eml").find("\r\nTo: undisclosed-recipients:;\r\n"), std::string::npos);
  EXPECT_EQ(Line(block, "defects"), "0");
}

// The mail as the personalised run merges it for one listed record.
TEST_F(CliSendTest, ShowRecordPrintsTheMergedSubjectAndParts) {
  MakeState(9);
  MakePeople(3);
  TMailList mails;
  ASSERT_EQ(TMailStore::Open(Dir.Path().string() + "/", mails).Error, "");
  mails[0].Subject = "[%Vorname], Gr\xFC\xDF" "e";
  TMailStore::Save(Dir.Path().string() + "/", mails);
  EXPECT_EQ(Cli("show --mail 0 --record 1").out,
            "Betreff: [%Vorname], Gr\xC3\xBC\xC3\x9F" "e\n\n--- HTML ---\n<p>Hallo V2</p><img src=\"cid:LOGO.GIF\">\n"
            "\n--- Reiner Text ---\nHallo V2 N2\n");
  ASSERT_EQ(Cli("mail-options --mail 0 --merge-subject ja").status, 0);
  struct TCase {
    std::string Args, Out;
    int Status;
  };
  const TCase cases[] = {
      {"--record 2", "Betreff: V3, Gr\xC3\xBC\xC3\x9F" "e\n", 0},
      {"--record 0 --part text", "Hallo V1 N1\n", 0},
      {"--record 0 --part html", "<p>Hallo V1</p><img src=\"cid:LOGO.GIF\">\n", 0},
      {"--record 3", "", 2},
      {"--record -1", "", 2},
      {"--record 0 --part rtf", "", 2},
  };
  for (const TCase& c : cases) {
    const Result r = Cli("show --mail 0 " + c.Args);
    EXPECT_EQ(r.status, c.Status) << c.Args << r.err;
    // A refusal prints nothing; otherwise the output starts as given.
    EXPECT_EQ(c.Status == 0 ? r.out.substr(0, c.Out.size()) : r.out, c.Out) << c.Args;
  }
}

TEST_F(CliSendTest, ToSendsOneUnmergedMessageWithoutTouchingTheTable) {
  MakeState(9);
  const std::string out = Path("eml");
  const Result r = Cli("send --mail 0 --account 0 --to ' einer@example.org ' --eml-dir '" + out + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFileBytes(out + "/00001.env"), "versand@example.org\neiner@example.org\n");
  EXPECT_NE(DescribeSent({out + "/00001.eml"}).find("  text: Hallo [%Vorname] [%Name]\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Path("adr.dbf")));

  // A line end smuggled into the address: never written, counted failed.
  const Result bad = Cli("send --mail 0 --account 0 --to \"$(printf 'x@example.org\\r\\nRCPT TO:<evil@example.org>')\""
                          " --eml-dir '" + Path("eml2") + "'");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "1 Mail von 1 verarbeitet 1 fehlgeschlagen.\n");
  EXPECT_EQ(bad.err, "Fehler beim Senden der Nachricht an x@example.org  RCPT TO:<evil@example.org>: "
                     "Adresse enth\xC3\xA4lt ein Steuerzeichen\n");
  EXPECT_FALSE(std::filesystem::exists(Path("eml2/00001.eml")));
}

TEST_F(CliSendTest, RefusalsAndWrongArgumentsGiveStatusTwo) {
  MakeState(9);
  MakePeople(2);
  Result r = Cli("send --mail 0 --account 0 --to '   '");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Es sind keine Empf\xC3\xA4nger vorhanden!\n");
  EXPECT_EQ(r.out, "");
  // An index no list has: the refusal names it and what there is.
  r = Cli("send --mail 0 --account 1");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Es gibt kein Konto Nummer 1 (gespeichert: 1 Konto, gez\xC3\xA4hlt ab 0).\n");
  r = Cli("send --mail 3 --account 0");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Es gibt keine Mail Nummer 3 (gespeichert: 1 Mail, gez\xC3\xA4hlt ab 0).\n");
  r = Cli("send --mail 0 --account 0 --filter niemand");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Es sind keine Empf\xC3\xA4nger vorhanden!\n");

  for (const char* args : {"send --account 0", "send --mail 0", "send --mail x --account 0",
                           "send --mail 0 --account 0 --personal --bcc 5", "send --mail 0 --account 0 --bcc 0",
                           "send --mail 0 --account 0 --bcc 101", "send --mail 0 --account 0 --bcc zwei",
                           "send --mail 0 --account 0 extra"}) {
    r = Cli(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("Aufruf: postello-cli send"), std::string::npos) << args << r.err;
    EXPECT_EQ(r.out, "") << args;
  }
}

TEST_F(CliSendTest, MissingTableIsReportedAndNotCreated) {
  MakeState(9);
  Result r = Cli("send --mail 0 --account 0");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Die Datenbank \"" + Path("adr.dbf") + "\" konnte nicht ge\xC3\xB6" "ffnet werden: Die Datei fehlt.\n");
  r = Cli("recipients");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("adr.dbf\" konnte nicht ge\xC3\xB6" "ffnet werden"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(Path("adr.dbf")));
  // Something that is no table at all.
  WriteBytes(Path("adr.dbf"), "kein dBASE");
  r = Cli("recipients");
  EXPECT_EQ(r.status, 2);
  // "k" is 0x6B, a version byte of dBASE III; the ten bytes end in the header.
  EXPECT_EQ(r.err, "Die Datenbank \"" + Path("adr.dbf") + "\" konnte nicht ge\xC3\xB6" "ffnet werden: Die Datei endet "
                   "im Kopf der Tabelle (Byte 10)\n");
  EXPECT_EQ(ReadFileBytes(Path("adr.dbf")), "kein dBASE");
}

TEST_F(CliSendTest, UnreadableAttachmentEndsTheRun) {
  MakeState(9);
  MakePeople(2);
  std::filesystem::remove(Path("Preis Liste.pdf"));
  const Result r = Cli("send --mail 0 --account 0 --eml-dir '" + Path("eml") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Preis Liste.pdf"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "0 Mails von 0 verarbeitet 0 fehlgeschlagen.\n");
  EXPECT_FALSE(std::filesystem::exists(Path("eml/00001.eml")));
}

// Ctrl-C ends the session under way at once unless the end of its data is
// out (then its verdict is awaited), and no further message follows.
TEST_F(CliSendTest, InterruptStopsTheRun) {
  TSmtpTestServer server({"--delay", "0.4"}, "slow_smtp_test_server.py");
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(10);
  const pid_t pid = StartPersonalSend();
  ASSERT_GT(pid, 0);
  // Interrupt while the second message is on its way.
  const int status = InterruptWhen(pid, [&] { return server.Count() >= 1; });
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const int sent = server.Count();
  EXPECT_GE(sent, 1);
  EXPECT_LE(sent, 3);
  const std::string out = ReadFileBytes(Path("stdout"));
  const std::string err = ReadFileBytes(Path("stderr"));
  if (err == "Versand abgebrochen.\n") {
    // The signal came while the server was judging a message.
    EXPECT_EQ(out, std::to_string(sent) + (sent == 1 ? " Mail" : " Mails") + " von 10 verarbeitet 0 fehlgeschlagen.\n");
  } else {
    EXPECT_EQ(out, std::to_string(sent + 1) + " Mails von 10 verarbeitet 1 fehlgeschlagen.\n");
    EXPECT_EQ(err, "Fehler beim Senden der Nachricht an " + Address(sent + 1) +
                       ": vom Benutzer abgebrochen\nVersand abgebrochen.\n");
  }
}

TEST_F(CliSendTest, ProgressBarOnlyWhenStandardErrorIsATerminal) {
  MakeState(9);
  MakePeople(3);
  // script(1) gives the program a terminal as standard error; standard
  // output goes to a file.
  const std::string inner = std::string(POSTELLO_BIN_DIR) + "/postello-cli send --mail 0 --account 0 --dir '" +
                            Dir.Path().string() + "' --eml-dir '" + Path("eml") + "' >'" + Path("stdout") + "'";
  const std::string cmd = "script -qec \"" + inner + "\" /dev/null >'" + Path("tty") + "' 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string tty = ReadFileBytes(Path("tty"));
  EXPECT_NE(tty.find("\r[#########                     ] 33% 1/3"), std::string::npos) << tty;
  EXPECT_NE(tty.find("\r[##############################] 100% 3/3"), std::string::npos) << tty;
  // The bar is wiped before the status text appears elsewhere.
  EXPECT_EQ(tty.substr(tty.size() - 4), "\r\033[K");
  EXPECT_EQ(ReadFileBytes(Path("stdout")), "3 Mails von 3 verarbeitet 0 fehlgeschlagen.\n");
  // Without a terminal there is no bar (every other test).
  EXPECT_EQ(Cli("send --mail 0 --account 0 --eml-dir '" + Path("eml") + "'").err, "");
}

TEST_F(CliSendTest, RecipientsImportAndNewdb) {
  MakeState(9);
  Result r = Cli("newdb --info 1");
  EXPECT_EQ(r.status, 0) << r.err;
  {
    TDbf table;
    table.SetFileName(Path("adr.dbf"));
    table.SetAutoCreate(false);
    table.Open();
    ASSERT_EQ(table.FieldCount(), 5);
    EXPECT_EQ(table.Field(0).Name, "EMAIL");
    EXPECT_EQ(table.Field(4).Name, "INFO 1");
    EXPECT_EQ(table.RecordCount(), 0u);
  }
  r = Cli("newdb");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--force"), std::string::npos);

  WriteBytes(Path("neu.csv"), "a@example.org;Alt;Anna\n;Leer;Lea\r\n  b@example.org ;Berg;Ben\rc@example.org;Cron;J\xC3\xBCrgen\n");
  r = Cli("import '" + Path("neu.csv") + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "4 importiert, 0 doppelt \xC3\xBC" "bersprungen, 1 ohne Adresse, 0 mit ung\xC3\xBCltiger Adresse, 0 "
                   "gek\xC3\xBCrzt\nOhne Adresse: Zeile 2\n");
  r = Cli("recipients");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "a@example.org\t0\nb@example.org\t2\nc@example.org\t3\n");
  r = Cli("recipients --filter 'J\xC3\x9CRGEN'");
  EXPECT_EQ(r.out, "");  // only a to z fold: the umlaut does not match its capital
  r = Cli("recipients --filter 'j\xC3\xBCRGEN'");
  EXPECT_EQ(r.out, "c@example.org\t0\n");
  r = Cli("recipients --filter BERG");
  EXPECT_EQ(r.out, "b@example.org\t0\n");

  r = Cli("import '" + Path("fehlt.csv") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Die Datei \"" + Path("fehlt.csv") + "\" konnte nicht ge\xC3\xB6" "ffnet werden: Die Datei oder "
                   "der Ordner existiert nicht. Es wurde nichts importiert.\n");
  EXPECT_EQ(r.out, "");

  r = Cli("newdb --info 101");
  EXPECT_EQ(r.status, 2);
  r = Cli("newdb --force --info 0");
  EXPECT_EQ(r.status, 0) << r.err;
  r = Cli("recipients");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(CliSendTest, ReadingCommandsLeaveATableWithAWrongCountUntouched) {
  MakeState(9);
  MakePeople(3);
  std::string bytes = ReadFileBytes(Path("adr.dbf"));
  bytes[4] = 1;   // the header counts one record, the file holds three
  bytes[1] = 99;  // last changed in 1999
  WriteBytes(Path("adr.dbf"), bytes);
  Result r = Cli("recipients");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "p1@example.org\t0\np2@example.org\t1\np3@example.org\t2\n");
  EXPECT_EQ(ReadFileBytes(Path("adr.dbf")), bytes);
  r = Cli("send --mail 0 --account 0 --eml-dir '" + Path("eml") + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(Path("eml/00003.eml")));
  EXPECT_EQ(ReadFileBytes(Path("adr.dbf")), bytes);
  // A command that changes the table writes the right count.
  WriteBytes(Path("neu.csv"), "p4@example.org\n");
  r = Cli("import '" + Path("neu.csv") + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(static_cast<unsigned char>(ReadFileBytes(Path("adr.dbf"))[4]), 4u);
}

TEST_F(CliSendTest, EmlDirLeavesNoMessageWithoutItsEnvelope) {
  MakeState(9);
  MakePeople(2);
  const std::string out = Path("eml");
  std::filesystem::create_directories(out + "/00002.env");  // the envelope cannot be written
  const Result r = Cli("send --mail 0 --account 0 --eml-dir '" + out + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("00002.env\" kann nicht geschrieben werden"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(out + "/00001.eml"));
  EXPECT_EQ(ReadFileBytes(out + "/00001.env"), "versand@example.org\np1@example.org\n");
  EXPECT_FALSE(std::filesystem::exists(out + "/00002.eml"));
}

TEST_F(CliSendTest, RepeatedReadsOfADamagedMailFileKeepOneCopy) {
  MakeState(9);
  MakePeople(1);
  const std::string damaged = ReadFileBytes(Path("mails.dat")).substr(0, 30);
  WriteBytes(Path("mails.dat"), damaged);
  for (int run = 0; run < 3; ++run) {
    const Result r = Cli("mails");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("mails.dat.defekt\" erhalten"), std::string::npos) << r.err;
    EXPECT_EQ(Cli("send --mail 0 --account 0 --eml-dir '" + Path("eml") + "'").status, 2);
  }
  EXPECT_EQ(ReadFileBytes(Path("mails.dat.defekt")), damaged);
  EXPECT_FALSE(std::filesystem::exists(Path("mails.dat.defekt2")));
  EXPECT_EQ(ReadFileBytes(Path("mails.dat")), damaged);
}

} // namespace

TEST_F(CliSendTest, ReuseAndParallelSessionsFromTheAccountOptionsDeliverEachMessageOnce) {
  TSmtpTestServer server({"--pipelining", "--refuse", Address(5)});
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(12);
  ASSERT_EQ(Cli("account-options --account 0 --reuse 3 --parallel 3").status, 0);
  const Result r = Cli("send --mail 0 --account 0 --personal");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "12 Mails von 12 verarbeitet 1 fehlgeschlagen.\n");
  EXPECT_EQ(r.err, "Fehler beim Senden der Nachricht an p5@example.org: 550 5.1.1 <p5@example.org>: Recipient address "
                   "rejected\n");
  ASSERT_EQ(server.Count(), 11);
  std::map<std::string, int> arrived;
  for (int n = 1; n <= server.Count(); ++n) {
    const std::string notes = server.Notes(n);
    const std::size_t at = notes.find("\"rcpt_tos\": [\"") + 14;
    ++arrived[notes.substr(at, notes.find('"', at) - at)];
  }
  for (int i = 1; i <= 12; ++i) EXPECT_EQ(arrived[Address(i)], i == 5 ? 0 : 1) << i;
  // The journal holds one result for each message.
  const std::vector<std::string> journals = ListJournals(Dir.Path().string() + "/");
  ASSERT_EQ(journals.size(), 1u);
  const TJournalRun j = ReadJournal(journals.front());
  EXPECT_EQ(j.Count(TJournalResult::Sent), 11);
  EXPECT_EQ(j.ResultOf(5), TJournalResult::Failed);
  EXPECT_EQ(j.EndNote, "12 von 12 verarbeitet, 1 fehlgeschlagen");
}

TEST_F(CliSendTest, InterruptStopsEveryParallelSession) {
  TSmtpTestServer server({"--delay", "0.4", "--pipelining"}, "slow_smtp_test_server.py");
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(20);
  ASSERT_EQ(Cli("account-options --account 0 --reuse 5 --parallel 3").status, 0);
  const pid_t pid = StartPersonalSend();
  ASSERT_GT(pid, 0);
  const int status = InterruptWhen(pid, [&] { return server.Count() >= 1; });
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const std::string err = ReadFileBytes(Path("stderr"));
  EXPECT_TRUE(err.ends_with("Versand abgebrochen.\n")) << err;
  // What was counted as sent is what arrived, each once, and far from all.
  const std::vector<std::string> journals = ListJournals(Dir.Path().string() + "/");
  ASSERT_EQ(journals.size(), 1u);
  const TJournalRun j = ReadJournal(journals.front());
  EXPECT_EQ(j.EndState, "abgebrochen");
  EXPECT_EQ(j.Count(TJournalResult::Sent), server.Count());
  EXPECT_LT(server.Count(), 20);
  EXPECT_EQ(j.Count(TJournalResult::Sent) + j.Count(TJournalResult::NotSent), 20);
  std::map<std::string, int> arrived;
  for (int n = 1; n <= server.Count(); ++n) {
    const std::string notes = server.Notes(n);
    const std::size_t at = notes.find("\"rcpt_tos\": [\"") + 14;
    EXPECT_EQ(++arrived[notes.substr(at, notes.find('"', at) - at)], 1);
  }
}
