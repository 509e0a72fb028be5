// The run with messages on several sessions and connections that carry
// several messages: every message counted and recorded once, whatever the
// order of completion, refusals, servers closing and cancellation.
#include "send/TSendPool.h"
#include "send/TSendRun.h"
#include "send/SendRunSupport.h"
#include "smtp/ScriptedSmtpSocket.h"
#include "smtp/TTCPBlockSocket.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <fstream>
#include <map>
#include <set>

using namespace postello;
using namespace postello::test;

namespace {

std::string Address(int i) { return "p" + std::to_string(i) + "@example.org"; }

class SendRunPoolTest : public TSendRunFixture {
protected:
  // Every planned message has exactly one final result line, and the
  // journal's counts agree with the run's.
  void ExpectOneResultEach(const TJournalRun& j) {
    std::map<int, int> finals;
    for (const TJournalEntry& e : j.Entries)
      if (e.Result != TJournalResult::Uncertain) ++finals[e.Nr];
    for (int nr = 1; nr <= Run.MessageCount(); ++nr) EXPECT_EQ(finals[nr], 1) << "message " << nr;
    EXPECT_EQ(j.Count(TJournalResult::Sent), Run.Processed() - Run.FailedCount());
  }
};

// The server's side of one message on a reused, pipelining connection;
// the client's bytes are not compared (the dialogue tests do that).
std::vector<TScriptStep> Hello() {
  return {{"", {"220 hallo\r\n"}}, {Ehlo(), {"250-hallo\r\n250 PIPELINING\r\n"}}};
}

} // namespace

TEST_F(SendRunPoolTest, ReuseWithARefusalAndAServerThatClosesCountsEveryMessageOnce) {
  PrepareRun(5, "mail.example.org");
  auto state = std::make_shared<TScriptState>();
  const auto envelope = [](int i, const std::string& rcptReply) {
    return TScriptStep{"MAIL FROM:<verein@example.org>\r\nRCPT TO:<" + Address(i) + ">\r\nDATA\r\n",
                       {"250 ok\r\n" + rcptReply + "354 los\r\n"}};
  };
  const auto AddHello = [&] {
    const std::vector<TScriptStep> hello = Hello();
    state->Steps.insert(state->Steps.end(), hello.begin(), hello.end());
  };
  AddHello();
  state->Steps.push_back(envelope(1, "250 ok\r\n"));
  state->Steps.push_back({"", {"250 queued\r\n"}});
  // Refused: the connection ends, its text never sent.
  state->Steps.push_back(envelope(2, "550 5.1.1 unbekannt\r\n"));
  AddHello();
  for (int i = 3; i <= 4; ++i) {
    state->Steps.push_back(envelope(i, "250 ok\r\n"));
    state->Steps.push_back({"", {"250 queued\r\n"}});
  }
  // The server closes after two messages; the fifth goes on a third connection.
  state->Steps.push_back({"", {"<CLOSE>"}});
  AddHello();
  state->Steps.push_back(envelope(5, "250 ok\r\n"));
  state->Steps.push_back({"", {"250 queued\r\n"}});
  state->Steps.push_back({"QUIT\r\n", {"221 bye\r\n"}});
  // The message text is not compared: whatever the client sent before a
  // step that expects "" is taken as it is.
  state->BeforeStep = [state](size_t step) {
    if (state->Steps[step].Client.empty()) state->Pending.clear();
  };

  TSMTPSendOptions options;
  options.ReadTimeout = 1000;
  options.MakeSocket = [state] { return std::make_unique<TScriptedSmtpSocket>(state); };
  TSmtpSession session(options, 10);
  Run.Run(Choice, Rows, Konten, Mails, [&](const TOutgoingMail& mail) { return session.Deliver(mail); });
  session.Close();
  state->ExpectFinished();

  EXPECT_EQ(session.Connections(), 3);
  EXPECT_EQ(Run.Processed(), 5);
  EXPECT_EQ(Run.FailedCount(), 1);
  EXPECT_EQ(Run.StatusText(), "5 Mails von 5 verarbeitet 1 fehlgeschlagen.");
  ASSERT_FALSE(Run.ErrorLog().empty());
  EXPECT_EQ(Run.ErrorLog().back(), "Fehler beim Senden der Nachricht an p2@example.org: 550 5.1.1 unbekannt");
  const TJournalRun j = ReadJournal(Run.JournalPath());
  EXPECT_EQ(j.Count(TJournalResult::Sent), 4);
  EXPECT_EQ(j.ResultOf(2), TJournalResult::Failed);
  EXPECT_EQ(j.EndNote, "5 von 5 verarbeitet, 1 fehlgeschlagen");
  ExpectOneResultEach(j);
}

TEST_F(SendRunPoolTest, ResultsInAnyOrderKeepCountersAndJournal) {
  PrepareRun(6, "127.0.0.1:9");
  // Three sessions; each message waits until a later one is done, so they
  // complete out of order; the fourth fails.
  std::mutex lock;
  std::condition_variable turn;
  int finished = 0;
  std::vector<int> order;
  TSendPool pool(
      3, [] { return std::make_unique<TSmtpSession>(TSMTPSendOptions{}, 0); },
      [&](TSmtpSession&, const TOutgoingMail& mail) -> TSendResult {
        EXPECT_TRUE(mail.BeforeDataEnd());
        std::unique_lock<std::mutex> hold(lock);
        // Index 2 goes first, then 1, then 0, then the next three in turn.
        const int rank = mail.Index < 3 ? 2 - mail.Index : mail.Index;
        turn.wait(hold, [&] { return finished == rank; });
        ++finished;
        order.push_back(mail.Index);
        turn.notify_all();
        if (mail.Index == 3) return TSendResult::Failed("550 nein");
        return TSendResult(true);
      });
  std::vector<int> progress;
  Run.OnProgress = [&] { progress.push_back(Run.Processed()); };
  Run.Start(Choice, Rows, Konten, Mails);
  RunOnPool(Run, pool);
  pool.Shutdown();
  EXPECT_EQ(order, (std::vector<int>{2, 1, 0, 3, 4, 5}));
  EXPECT_FALSE(Run.Sending());
  EXPECT_FALSE(Run.Cancelled());
  EXPECT_EQ(Run.Processed(), 6);
  EXPECT_EQ(Run.FailedCount(), 1);
  // Counted up one by one, whatever the order; 0 at the end.
  EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4, 5, 6, 6}));
  const TJournalRun j = ReadJournal(Run.JournalPath());
  EXPECT_EQ(j.Count(TJournalResult::Sent), 5);
  EXPECT_EQ(j.ResultOf(4), TJournalResult::Failed);
  EXPECT_EQ(j.EndState, "abgeschlossen");
  ExpectOneResultEach(j);
}

TEST_F(SendRunPoolTest, ParallelSessionsAgainstAiosmtpdDeliverEveryMessageOnce) {
  TSmtpTestServer server({"--pipelining", "--refuse", Address(7)});
  ASSERT_GT(server.Port(), 0);
  PrepareRun(23, "127.0.0.1:" + std::to_string(server.Port()));
  TSMTPSendOptions options;
  options.ReadTimeout = 5000;
  options.Cancel = Run.CancelFlag();
  TSendPool pool(
      4, [&] { return std::make_unique<TSmtpSession>(options, 5); },
      [](TSmtpSession& s, const TOutgoingMail& mail) { return s.Deliver(mail); });
  Run.Start(Choice, Rows, Konten, Mails);
  RunOnPool(Run, pool);
  pool.Shutdown();
  EXPECT_EQ(Run.Processed(), 23);
  EXPECT_EQ(Run.FailedCount(), 1);
  ASSERT_EQ(server.Count(), 22);
  std::multiset<std::string> arrived;
  for (int n = 1; n <= server.Count(); ++n) {
    const std::string notes = server.Notes(n);
    const std::size_t at = notes.find("\"rcpt_tos\": [\"");
    ASSERT_NE(at, std::string::npos);
    arrived.insert(notes.substr(at + 14, notes.find('"', at + 14) - at - 14));
  }
  for (int i = 1; i <= 23; ++i) EXPECT_EQ(arrived.count(Address(i)), i == 7 ? 0u : 1u) << i;
  const TJournalRun j = ReadJournal(Run.JournalPath());
  EXPECT_EQ(j.Count(TJournalResult::Sent), 22);
  EXPECT_EQ(j.ResultOf(7), TJournalResult::Failed);
  ExpectOneResultEach(j);
}

TEST_F(SendRunPoolTest, CancelDuringAParallelRunStopsEverySessionAndRecordsTheRestNotSent) {
  TSmtpTestServer server({"--pipelining"});
  ASSERT_GT(server.Port(), 0);
  PrepareRun(40, "127.0.0.1:" + std::to_string(server.Port()));
  TSMTPSendOptions options;
  options.ReadTimeout = 5000;
  options.Cancel = Run.CancelFlag();
  TSendPool pool(
      4, [&] { return std::make_unique<TSmtpSession>(options, 3); },
      [](TSmtpSession& s, const TOutgoingMail& mail) { return s.Deliver(mail); });
  Run.OnProgress = [&] {
    if (Run.Processed() == 6) Run.RequestCancel();
  };
  Run.Start(Choice, Rows, Konten, Mails);
  RunOnPool(Run, pool);
  pool.Shutdown();
  EXPECT_TRUE(Run.Cancelled());
  EXPECT_FALSE(Run.Sending());
  EXPECT_GE(Run.Processed(), 6);
  EXPECT_LE(Run.Processed(), 6 + 4);  // at most the ones in flight besides
  EXPECT_EQ(Run.ErrorLog().back(), TSendRun::kCancelledLine);
  const TJournalRun j = ReadJournal(Run.JournalPath());
  EXPECT_EQ(j.EndState, "abgebrochen");
  // What the journal calls sent is what arrived, and each arrived once.
  EXPECT_EQ(j.Count(TJournalResult::Sent), server.Count());
  EXPECT_EQ(j.Count(TJournalResult::Sent), Run.Processed() - Run.FailedCount());
  EXPECT_EQ(j.Count(TJournalResult::NotSent), 40 - j.Count(TJournalResult::Sent));
  std::set<std::string> arrived;
  for (int n = 1; n <= server.Count(); ++n) EXPECT_TRUE(arrived.insert(server.Notes(n).substr(0, 200)).second);
  ExpectOneResultEach(j);
}

TEST_F(SendRunPoolTest, AJournalThatFillsUpStopsThePoolAndKeepsWhatWentOut) {
  PrepareRun(40, "127.0.0.1:9");
  std::atomic<int> ended{0};
  TSendPool pool(
      3, [] { return std::make_unique<TSmtpSession>(TSMTPSendOptions{}, 0); },
      [&](TSmtpSession&, const TOutgoingMail& mail) -> TSendResult {
        if (!mail.BeforeDataEnd()) return TSendResult::Failed("Versandprotokoll nicht schreibbar");
        ++ended;
        return TSendResult(true);
      });
  Run.Start(Choice, Rows, Konten, Mails);
  // The file may grow a little past its header and plan, then writes fail
  // (EFBIG), as on a full disk.
  {
    const TFileSizeLimit limit(4000);
    EXPECT_THROW(RunOnPool(Run, pool), EJournalError);
  }
  pool.Shutdown();
  EXPECT_FALSE(Run.Sending());
  EXPECT_EQ(pool.InFlight(), 0);
  EXPECT_GT(ended, 0);
  EXPECT_LT(ended, 40);
  // Every message whose end of data went out is in the file, and counted.
  const TJournalRun j = ReadJournal(Run.JournalPath());
  int recorded = 0;
  for (int nr = 1; nr <= 40; ++nr)
    if (j.ResultOf(nr) == TJournalResult::Sent || j.ResultOf(nr) == TJournalResult::Uncertain) ++recorded;
  EXPECT_EQ(recorded, ended);
  EXPECT_GE(Run.Processed(), ended);
}

// Each worker keeps its connection for up to Reuse messages: two workers
// carrying ten messages five at a time open at most three connections
// (a worker that happens to take six needs a second one), never one per
// message. Counted at the server.
TEST_F(SendRunPoolTest, WorkersKeepTheirConnectionsAcrossMessages) {
  TSmtpTestServer server({"--mode", "plain-ok"}, "hostile_smtp_server.py");
  ASSERT_GT(server.Port(), 0);
  PrepareRun(10, "127.0.0.1:" + std::to_string(server.Port()));
  TSMTPSendOptions options;
  options.ReadTimeout = 5000;
  TSendPool pool(
      2, [&] { return std::make_unique<TSmtpSession>(options, 5); },
      [](TSmtpSession& s, const TOutgoingMail& mail) { return s.Deliver(mail); });
  Run.Start(Choice, Rows, Konten, Mails);
  RunOnPool(Run, pool);
  pool.Shutdown();
  EXPECT_EQ(Run.FailedCount(), 0);
  const std::vector<std::string> wire = HostileTranscripts(server);
  EXPECT_EQ(Occurrences(wire, "<DATA>"), 10);
  EXPECT_GE(wire.size(), 1u);
  EXPECT_LE(wire.size(), 3u);
}
