// The send journal from the command line: runs killed with SIGKILL or cut
// off by a server that drops the connection after the end of the data,
// then resumed, with every address counted at a real server; retry,
// the check before a run, the test mail and postello-cli journal.
#include "support/LoopbackPort.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "core/TOptions.h"
#include "send/SendRunSupport.h"
#include "send/TSendJournal.h"

#include "CliRun.h"
#include "CliSendState.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <regex>
#include <thread>

using namespace postello;
using namespace postello::test;

namespace {

bool WaitFor(const std::function<bool()>& done, int seconds = 20) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class CliJournalTest : public ::testing::Test {
protected:
  std::string Path(const std::string& name) const { return (Dir.Path() / name).string(); }
  std::string DirText() const { return Dir.Path().string() + "/"; }

  // Options (table adr.dbf, field 0, personalised), one account on the
  // port, one text mail with placeholders.
  void MakeState(int port) {
    WriteOptionsAndAccount(Dir.Path(), port);
    TMailList mails;
    TMailRec* m = mails.Add();
    m->Subject = "Gr\xFC\xDF" "e";
    m->Date = 45000.5;
    m->MailType = 2;
    m->PlainText = "Hallo [%Vorname] [%Name]";
    TMailStore::Save(DirText(), mails);
  }

  void MakePeople(int n) { WritePeople(Dir.Path(), n); }

  // Runs postello-cli on the folder; args are shell-quoted already.
  Result Cli(const std::string& args) { return CliIn(DirText(), args); }

  // Starts "postello-cli send --mail 0 --account 0" in the background.
  pid_t StartSend() {
    return StartCli({"send", "--mail", "0", "--account", "0", "--dir", DirText()}, Path("stdout"), Path("stderr"));
  }

  // How often each address arrived at the server, from its notes.
  static std::map<std::string, int> Arrivals(const TSmtpTestServer& server) {
    std::map<std::string, int> count;
    const std::regex address("\"(p[0-9]+[a-z]*@example\\.org)\"");
    for (int n = 1; n <= server.Count(); ++n) {
      const std::string notes = server.Notes(n);
      const std::size_t b = notes.find("\"rcpt_tos\"");
      const std::string list = notes.substr(b, notes.find(']', b) - b);
      for (std::sregex_iterator it(list.begin(), list.end(), address), end; it != end; ++it) ++count[(*it)[1]];
    }
    return count;
  }

  // Ends of data the server has seen (its data-N files).
  static int Ends(const TSmtpTestServer& server) {
    int n = 0;
    while (std::filesystem::exists(server.Spool() / ("data-" + std::to_string(n + 1)))) ++n;
    return n;
  }

  std::vector<std::string> Journals() const { return ListJournals(DirText()); }

  TTempDir Dir;
};

} // namespace

TEST_F(CliJournalTest, KilledWhileWaitingForTheAnswerThenResumed) {
  TSmtpTestServer server({"--delay", "0.6"}, "journal_smtp_test_server.py");
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(8);
  const pid_t pid = StartSend();
  ASSERT_GT(pid, 0);
  // The third end of data has arrived; its answer is 0.6 s away.
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(server.Spool() / "data-3"); }));
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  // Stored as the end of data came; the answer never left.
  ASSERT_TRUE(WaitFor([&] { return server.Count() == 3; }));

  ASSERT_EQ(Journals().size(), 1u);
  const TJournalRun killed = ReadJournal(Journals()[0]);
  EXPECT_EQ(killed.Info.MessageCount, 8);
  ASSERT_EQ(killed.Plan.size(), 8u);
  EXPECT_EQ(killed.ResultOf(1), TJournalResult::Sent);
  EXPECT_EQ(killed.ResultOf(2), TJournalResult::Sent);
  EXPECT_EQ(killed.ResultOf(3), TJournalResult::Uncertain);
  for (int nr = 4; nr <= 8; ++nr) EXPECT_EQ(killed.ResultOf(nr), TJournalResult::None) << nr;
  EXPECT_TRUE(killed.Unfinished());
  EXPECT_FALSE(killed.Ended);

  const Result r = Cli("send --mail 0 --resume");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "5 Mails von 5 verarbeitet 0 fehlgeschlagen.\n");
  EXPECT_EQ(r.err, "Unsicher, nicht erneut gesendet (mit --resend-uncertain senden): p3@example.org\n");
  std::map<std::string, int> expected;
  for (int i = 1; i <= 8; ++i) expected[Address(i)] = 1;
  EXPECT_EQ(Arrivals(server), expected);

  ASSERT_EQ(Journals().size(), 2u);
  const TJournalRun resumed = ReadJournal(Journals()[1]);
  EXPECT_EQ(resumed.Info.Kind, TJournalRunKind::Resume);
  EXPECT_EQ(resumed.Info.Continues, std::filesystem::path(Journals()[0]).filename().string());
  EXPECT_EQ(resumed.Info.Recipients, kJournalSelectedRecipients);
  EXPECT_EQ(resumed.Count(TJournalResult::Sent), 5);
  EXPECT_EQ(resumed.Plan.front().Addresses, std::vector<std::string>{Address(4)});
  EXPECT_TRUE(resumed.Ended);
  EXPECT_EQ(resumed.EndState, "abgeschlossen");
  // Nothing is left; asking again sends nothing.
  const Result again = Cli("send --mail 0 --resume");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "Nichts zu senden.\n");
  EXPECT_EQ(server.Count(), 8);

  const Result list = Cli("journal");
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("1\t"), std::string::npos);
  EXPECT_NE(list.out.find("\tVersand\tGr\xC3\xBC\xC3\x9F" "e\t"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("8 Nachrichten\t2 gesendet, 0 fehlgeschlagen, 1 unsicher, 5 nicht gesendet\tnicht beendet\n"),
            std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("\tFortsetzung\t"), std::string::npos) << list.out;
  const Result first = Cli("journal --run 1");
  EXPECT_NE(first.out.find("\n3\t"), std::string::npos);
  EXPECT_NE(first.out.find("\t3\tp3@example.org\tunsicher\tDatenende gesendet, Antwort des Servers steht aus\n"),
            std::string::npos)
      << first.out;
  EXPECT_NE(first.out.find("\n8\t\t8\tp8@example.org\tnicht gesendet\tkein Ergebnis, der Lauf endete vorher\n"),
            std::string::npos)
      << first.out;
}

TEST_F(CliJournalTest, KilledAtRandomMomentsNoAddressGetsTheMailTwice) {
  std::mt19937 random(20240501);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    std::filesystem::remove_all(Dir.Path() / "versand");
    TSmtpTestServer server({"--delay", "0.15"}, "journal_smtp_test_server.py");
    ASSERT_NE(server.Port(), 0);
    MakeState(server.Port());
    MakePeople(12);
    const pid_t pid = StartSend();
    ASSERT_GT(pid, 0);
    const int after = 2 + round * 3;
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(server.Spool() / ("data-" + std::to_string(after))); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 250)(random)));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    // Whatever had its end of data is stored.
    ASSERT_TRUE(WaitFor([&] { return server.Count() == Ends(server); }));

    const TJournalRun run = ReadJournal(Journals().at(0));
    const std::map<std::string, int> arrived = Arrivals(server);
    for (const TJournalMessage& m : run.Plan) {
      const TJournalResult r = run.ResultOf(m.Nr);
      const bool got = arrived.count(m.Addresses[0]) > 0;
      // What arrived is recorded as sent or uncertain; what is recorded as
      // sent arrived.
      if (got) {
        EXPECT_TRUE(r == TJournalResult::Sent || r == TJournalResult::Uncertain) << m.Addresses[0];
      }
      if (r == TJournalResult::Sent) {
        EXPECT_TRUE(got) << m.Addresses[0];
      }
    }
    const Result r = Cli("send --mail 0 --resume");
    EXPECT_LE(r.status, 1) << r.err;
    const std::map<std::string, int> total = Arrivals(server);
    for (const TJournalMessage& m : run.Plan) {
      const auto it = total.find(m.Addresses[0]);
      const int times = it == total.end() ? 0 : it->second;
      if (run.ResultOf(m.Nr) == TJournalResult::Uncertain && times == 0) {
        // Never arrived, and the user was told it is uncertain.
        EXPECT_NE(r.err.find(m.Addresses[0]), std::string::npos);
      } else {
        EXPECT_EQ(times, 1) << m.Addresses[0];
      }
    }
  }
}

TEST_F(CliJournalTest, ServerDropsTheConnectionAfterTheEndOfData) {
  TSmtpTestServer server({"--drop", "2"}, "journal_smtp_test_server.py");
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(4);
  const Result r = Cli("send --mail 0 --account 0");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "4 Mails von 4 verarbeitet 1 fehlgeschlagen.\n");
  EXPECT_EQ(r.err, "Fehler beim Senden der Nachricht an p2@example.org: Server hat die Verbindung beendet\n");
  EXPECT_EQ(server.Count(), 4);  // the server had it all the same
  const TJournalRun run = ReadJournal(Journals().at(0));
  EXPECT_EQ(run.ResultOf(2), TJournalResult::Uncertain);
  EXPECT_EQ(run.LastEntryOf(2)->Reason, "Server hat die Verbindung beendet");
  EXPECT_EQ(run.Count(TJournalResult::Sent), 3);
  EXPECT_FALSE(run.Unfinished());
  EXPECT_EQ(run.EndState, "abgeschlossen");

  // Neither resume nor retry sends it again without being asked.
  Result resume = Cli("send --mail 0 --resume");
  EXPECT_EQ(resume.status, 0);
  EXPECT_EQ(resume.out, "Nichts zu senden.\n");
  EXPECT_EQ(resume.err, "Unsicher, nicht erneut gesendet (mit --resend-uncertain senden): p2@example.org\n");
  EXPECT_EQ(Cli("send --mail 0 --retry-failed").out, "Nichts zu senden.\n");
  EXPECT_EQ(server.Count(), 4);
  // Asked: p2 gets it again (the user's choice).
  resume = Cli("send --mail 0 --resume --resend-uncertain");
  EXPECT_EQ(resume.status, 0) << resume.err;
  EXPECT_EQ(resume.out, "1 Mail von 1 verarbeitet 0 fehlgeschlagen.\n");
  EXPECT_EQ(Arrivals(server)[Address(2)], 2);
}

TEST_F(CliJournalTest, InterruptedRunRecordsTheRestAsNotSentAndResumes) {
  TSmtpTestServer server({"--delay", "0.3"}, "journal_smtp_test_server.py");
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(6);
  const pid_t pid = StartSend();
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(server.Spool() / "data-2"); }));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const TJournalRun run = ReadJournal(Journals().at(0));
  EXPECT_EQ(run.ResultOf(2), TJournalResult::Sent);  // the answer was awaited
  for (int nr = 3; nr <= 6; ++nr) {
    EXPECT_EQ(run.ResultOf(nr), TJournalResult::NotSent);
    EXPECT_EQ(run.LastEntryOf(nr)->Reason, "Versand abgebrochen");
  }
  EXPECT_EQ(run.EndState, "abgebrochen");
  const Result r = Cli("send --mail 0 --resume");
  EXPECT_EQ(r.out, "4 Mails von 4 verarbeitet 0 fehlgeschlagen.\n");
  std::map<std::string, int> expected;
  for (int i = 1; i <= 6; ++i) expected[Address(i)] = 1;
  EXPECT_EQ(Arrivals(server), expected);
}

TEST_F(CliJournalTest, RetryTakesTheFailedOnesWithCorrectedAddresses) {
  TSmtpTestServer server({"--refuse", Address(2), "--refuse", Address(4)});
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(5);
  EXPECT_EQ(Cli("send --mail 0 --account 0").out, "5 Mails von 5 verarbeitet 2 fehlgeschlagen.\n");
  const Result failed = Cli("journal --failed");
  EXPECT_EQ(failed.out,
            "2\t" + ReadJournal(Journals()[0]).LastEntryOf(2)->Time +
                "\t2\tp2@example.org\tfehlgeschlagen\t550 5.1.1 <p2@example.org>: Recipient address rejected\n"
                "4\t" + ReadJournal(Journals()[0]).LastEntryOf(4)->Time +
                "\t4\tp4@example.org\tfehlgeschlagen\t550 5.1.1 <p4@example.org>: Recipient address rejected\n");
  // The user corrects p2's record.
  {
    TDbf table;
    table.SetFileName(Path("adr.dbf"));
    table.Open();
    table.MoveTo(1);
    table.Edit();
    table.SetAsString(0, "p2b@example.org");
    table.Post();
    table.Close();
  }
  const Result r = Cli("send --mail 0 --retry-failed");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "2 Mails von 2 verarbeitet 1 fehlgeschlagen.\n");
  EXPECT_EQ(r.err,
            "Korrigiert: p2@example.org -> p2b@example.org\n"
            "Fehler beim Senden der Nachricht an p4@example.org: 550 5.1.1 <p4@example.org>: Recipient address rejected\n");
  EXPECT_EQ(Arrivals(server), (std::map<std::string, int>{
                                  {Address(1), 1}, {"p2b@example.org", 1}, {Address(3), 1}, {Address(5), 1}}));
  const TJournalRun retry = ReadJournal(Journals().at(1));
  EXPECT_EQ(retry.Info.Kind, TJournalRunKind::Retry);
  EXPECT_EQ(retry.Plan.size(), 2u);
  EXPECT_EQ(Cli("journal --last").out.substr(0, 8), "Lauf 2: ");
  // Usage errors.
  for (const char* args : {"send --mail 0 --resume --retry-failed", "send --mail 0 --account 0 --resume",
                           "send --mail 0 --resume --bcc 3", "send --mail 0 --account 0 --resend-uncertain",
                           "send --mail 0 --account 0 --record 1", "journal --run 1 --last", "journal --run x"}) {
    const Result u = Cli(args);
    EXPECT_EQ(u.status, 2) << args;
    EXPECT_NE(u.err.find("Aufruf: postello-cli"), std::string::npos) << args << u.err;
  }
  EXPECT_EQ(Cli("journal --run 3").status, 2);
}

TEST_F(CliJournalTest, CheckFindsProblemsSendsNothingAndWritesNothing) {
  TSmtpTestServer server({"--size", "300"});
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(3);
  Result r = Cli("send --mail 0 --account 0 --check");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("ist gr\xC3\xB6\xC3\x9F" "er, als der Server annimmt (300 Bytes).\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("3 Nachrichten an 3 Empf\xC3\xA4nger.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("; der Server nimmt h\xC3\xB6" "chstens 300 Bytes an.\n"), std::string::npos) << r.out;

  // A mail with a misspelt placeholder, a record without address, twice
  // the same address.
  TMailList mails;
  TMailStore::Open(DirText(), mails);
  mails[0].PlainText = "Hallo [%Vornmae]";
  TMailStore::Save(DirText(), mails);
  {
    TDbf table;
    MakeAddressTable(table, Path("adr.dbf"), {{"a@x.de", "", "", "", "", ""}, {"", "Leer", "", "", "", ""},
                                              {"A@x.de", "", "", "", "", ""}});
    table.Close();
  }
  r = Cli("send --mail 0 --account 0 --check");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.substr(0, r.out.find("Die gr")),
            "Der Platzhalter [%Vornmae] nennt kein Feld der Tabelle.\n"
            "Die Adresse \"a@x.de\" kommt 2-mal vor.\n"
            "Die Zeile 2 hat keine Adresse und wird \xC3\xBC" "bergangen.\n");
  EXPECT_NE(r.out.find("Felder der Tabelle: EMAIL, NAME, VORNAME, ANREDE, INFO 1, INFO 2\n"), std::string::npos);

  // A clean mail: status 0.
  mails[0].PlainText = "Hallo [%Vorname]";
  TMailStore::Save(DirText(), mails);
  MakePeople(2);
  TSmtpTestServer roomy({});
  MakeState(roomy.Port());
  TMailStore::Save(DirText(), mails);
  r = Cli("send --mail 0 --account 0 --check");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.substr(0, 31), "2 Nachrichten an 2 Empf\xC3\xA4nger.\n");
  // The first message is rated too (or the check says it cannot be).
  EXPECT_TRUE(r.out.find("\nSpam-Pr\xC3\xBC" "fung der ersten Mail (SpamAssassin): ") != std::string::npos ||
              r.out.find("\nSpam-Pr\xC3\xBC" "fung nicht verf\xC3\xBC" "gbar (SpamAssassin ist nicht installiert)\n") !=
                  std::string::npos)
      << r.out;
  EXPECT_EQ(server.Count() + roomy.Count(), 0);
  EXPECT_FALSE(std::filesystem::exists(Dir.Path() / "versand"));
}

TEST_F(CliJournalTest, TestMailGoesToOneAddressAndNeverCountsForResume) {
  TSmtpTestServer server({});
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(3);
  Result r = Cli("send --mail 0 --account 0 --test ich@example.org --record 1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1 Mail von 1 verarbeitet 0 fehlgeschlagen.\n");
  ASSERT_EQ(server.Count(), 1);
  const std::string block = Block(DescribeSent({server.Spool() / "msg-1.eml"}), "msg-1.eml");
  EXPECT_EQ(Line(block, "subject"), "[Test] Gr\xFC\xDF" "e") << block;
  EXPECT_EQ(Line(block, "to"), "ich@example.org");
  EXPECT_NE(block.find("  text: Hallo V2 N2\n"), std::string::npos) << block;
  const TJournalRun test = ReadJournal(Journals().at(0));
  EXPECT_EQ(test.Info.Kind, TJournalRunKind::Test);
  EXPECT_EQ(test.Plan.at(0).RecNos, std::vector<std::uint32_t>{2});
  // One message, counted in the singular in the list of runs.
  EXPECT_NE(Cli("journal").out.find("\t1 Nachricht\t1 gesendet, "), std::string::npos) << Cli("journal").out;
  // Only a test so far: nothing to resume.
  r = Cli("send --mail 0 --resume");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Zu dieser Mail gibt es kein Versandprotokoll.\n");
  // Without --record: the first record.
  EXPECT_EQ(Cli("send --mail 0 --account 0 --test ich@example.org --personal").status, 0);
  EXPECT_NE(DescribeSent({server.Spool() / "msg-2.eml"}).find("  text: Hallo V1 N1\n"), std::string::npos);
  r = Cli("send --mail 0 --account 0 --test ich@example.org --record 7");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Position 7"), std::string::npos) << r.err;
}

TEST_F(CliJournalTest, AJournalThatCannotBeWrittenStopsTheRunBeforeItsFirstMessage) {
  TSmtpTestServer server({});
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(2);
  WriteBytes(Path("versand"), "kein Ordner");
  const Result r = Cli("send --mail 0 --account 0");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Das Versandprotokoll im Ordner \"" + DirText() + "versand/\" kann nicht geschrieben werden"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(server.Count(), 0);
}

// Regression: a run against a server that refuses connections marked
// every recipient failed. It stops after ten refusals in a row, the rest
// recorded as not sent, and a resume sends all once the server is back.
TEST_F(CliJournalTest, ADeadServerStopsTheRunAndTheResumeSendsTheRest) {
  // A port nobody listens on, taken back for the server later.
  const int port = postello::test::UnusedLoopbackPort();
  ASSERT_NE(port, 0);
  MakeState(port);
  MakePeople(12);
  Result r = Cli("send --mail 0 --account 0");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "10 Mails von 12 verarbeitet 10 fehlgeschlagen.\n");
  const std::string refused = "Verbindung zu 127.0.0.1:" + std::to_string(port) + " abgelehnt";
  EXPECT_NE(r.err.find("Fehler beim Senden der Nachricht an p10@example.org: " + refused + "\nVersand angehalten: " +
                       refused + "\n"),
            std::string::npos)
      << r.err;
  const TJournalRun run = ReadJournal(Journals().at(0));
  EXPECT_EQ(run.Count(TJournalResult::Failed), 10);
  EXPECT_EQ(run.Count(TJournalResult::NotSent), 2);

  TSmtpTestServer server({"--port", std::to_string(port)});
  ASSERT_EQ(server.Port(), port);
  // The resume takes the failed ones and the ones never tried.
  r = Cli("send --mail 0 --resume");
  EXPECT_EQ(r.out, "12 Mails von 12 verarbeitet 0 fehlgeschlagen.\n") << r.err;
  std::map<std::string, int> expected;
  for (int i = 1; i <= 12; ++i) expected[Address(i)] = 1;
  EXPECT_EQ(Arrivals(server), expected);
}

TEST_F(CliJournalTest, ACommaInAnAddressFieldKeepsTheRestOfTheRunAndDamageIsAnError) {
  TSmtpTestServer server({"--refuse", "p2a@example.org", "--refuse", Address(4)});
  ASSERT_NE(server.Port(), 0);
  MakeState(server.Port());
  MakePeople(5);
  {
    TDbf table;
    table.SetFileName(Path("adr.dbf"));
    table.Open();
    table.MoveTo(1);
    table.Edit();
    table.SetAsString(0, "p2a@example.org, p2b@example.org");
    table.Post();
    table.Close();
  }
  EXPECT_EQ(Cli("send --mail 0 --account 0").out, "5 Mails von 5 verarbeitet 2 fehlgeschlagen.\n");
  Result r = Cli("send --mail 0 --retry-failed");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, "2 Mails von 2 verarbeitet 2 fehlgeschlagen.\n");

  // A plan line damaged afterwards: the user is told, nothing is sent.
  const std::string path = Journals().back();
  std::string bytes = ReadFileBytes(path);
  bytes.replace(bytes.find("Plan;1;;"), 8, "Plan;1;;x");
  WriteBytes(path, bytes);
  const int before = server.Count();
  for (const char* args : {"send --mail 0 --resume", "send --mail 0 --retry-failed"}) {
    SCOPED_TRACE(args);
    r = Cli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("ist besch\xC3\xA4" "digt"), std::string::npos) << r.err;
  }
  EXPECT_EQ(server.Count(), before);
}
