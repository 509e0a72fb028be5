// Several messages on one connection: RSET only after an unfinished
// transaction, PIPELINING,
// a new connection after a failure, after Reuse messages and when the
// server went away; played against a scripted server byte for byte.
#include "smtp/TSmtpSession.h"
#include "smtp/TTCPBlockSocket.h"
#include "smtp/ScriptedSmtpSocket.h"

#include <gtest/gtest.h>

using namespace postello;
using namespace postello::test;

namespace {

const std::string kWire = "Subject: x\r\n\r\nText\r\n.\r\n";
const std::string kFrom = "MAIL FROM:<a@example.org>\r\n";

TOutgoingMail Mail(int index, const std::string& recipients) {
  TOutgoingMail m;
  m.Index = index;
  m.Sender = "Verein <a@example.org>";
  m.Recipients = recipients;
  m.Server = "mail.example.org:2525";
  m.Data = {"Subject: x\r\n", "Text"};
  return m;
}

std::string Rcpt(const std::string& address) { return "RCPT TO:<" + address + ">\r\n"; }

// Greeting and EHLO of a new connection; the server lists PIPELINING or not.
std::vector<TScriptStep> Hello(bool pipelining) {
  return {{"", {"220 hallo\r\n"}},
          {Ehlo(), {pipelining ? "250-hallo\r\n250-PIPELINING\r\n250 8BITMIME\r\n" : "250-hallo\r\n250 8BITMIME\r\n"}}};
}

// DATA, the message and the server's 250.
std::vector<TScriptStep> Data() {
  return {{"DATA\r\n", {"354 los\r\n"}}, {kWire, {"250 queued\r\n"}}};
}

// The message text after a group that ended with DATA, and the 250.
std::vector<TScriptStep> Text() { return {{kWire, {"250 queued\r\n"}}}; }

struct TScript {
  std::shared_ptr<TScriptState> State = std::make_shared<TScriptState>();
  TSMTPSendOptions Options;
  TScript() {
    Options.ReadTimeout = 1000;
    Options.MakeSocket = [s = State] { return std::make_unique<TScriptedSmtpSocket>(s); };
  }
  void Add(const std::vector<TScriptStep>& steps) { State->Steps.insert(State->Steps.end(), steps.begin(), steps.end()); }
};

} // namespace

TEST(SmtpSession, PipeliningGroupsEnvelopeRecipientsAndDataWithoutResetAfterADeliveredMessage) {
  TScript s;
  s.Add(Hello(true));
  s.Add({{kFrom + Rcpt("p1@example.org") + "DATA\r\n", {"250 ok\r\n250 ok\r\n354 los\r\n"}}});
  s.Add(Text());
  // The second message: one write, the replies arriving in two pieces.
  s.Add({{kFrom + Rcpt("p2@example.org") + Rcpt("p3@example.org") + "DATA\r\n",
          {"250 ok\r\n25", "0 ok\r\n250 ok\r\n354 los\r\n"}}});
  s.Add(Text());
  s.Add({{"QUIT\r\n", {"221 bye\r\n"}}});
  TSmtpSession session(s.Options, 10);
  EXPECT_TRUE(session.Deliver(Mail(0, "p1@example.org")).Delivered);
  EXPECT_TRUE(session.Deliver(Mail(1, "Zwei <p2@example.org>, , p3@example.org")).Delivered);
  session.Close();
  EXPECT_EQ(session.Connections(), 1);
  s.State->ExpectFinished();
}

TEST(SmtpSession, ARefusedRecipientFailsItsMessageAsBeforeAndTheNextGetsANewConnection) {
  TScript s;
  s.Add(Hello(true));
  s.Add({{kFrom + Rcpt("p1@example.org") + "DATA\r\n", {"250 ok\r\n250 ok\r\n354 los\r\n"}}});
  s.Add(Text());
  // The middle address is refused; the first refusal is the reason. The
  // server waits for the text of the others, which never comes: the
  // connection is closed without a further byte, so nobody gets it.
  s.Add({{kFrom + Rcpt("p2@example.org") + Rcpt("x@example.org") + Rcpt("p3@example.org") + "DATA\r\n",
          {"250 ok\r\n250 ok\r\n550 5.1.1 <x@example.org>: unbekannt\r\n250 ok\r\n354 los\r\n"}}});
  s.Add(Hello(true));
  s.Add({{kFrom + Rcpt("p4@example.org") + "DATA\r\n", {"250 ok\r\n250 ok\r\n354 los\r\n"}}});
  s.Add(Text());
  // All recipients refused: DATA is refused too, and the session says QUIT.
  s.Add({{kFrom + Rcpt("y@example.org") + "DATA\r\n",
          {"250 ok\r\n550 5.1.1 nein\r\n554 5.5.1 keine Empf\xE4nger\r\n"}}});
  s.Add({{"QUIT\r\n", {"221 bye\r\n"}}});
  TSmtpSession session(s.Options, 10);
  EXPECT_TRUE(session.Deliver(Mail(0, "p1@example.org")).Delivered);
  const TSendResult refused = session.Deliver(Mail(1, "p2@example.org, x@example.org, p3@example.org"));
  EXPECT_FALSE(refused.Delivered);
  EXPECT_FALSE(refused.Uncertain);
  EXPECT_EQ(refused.Reason, "550 5.1.1 <x@example.org>: unbekannt");
  EXPECT_TRUE(session.Deliver(Mail(2, "p4@example.org")).Delivered);
  EXPECT_EQ(session.Deliver(Mail(3, "y@example.org")).Reason, "550 5.1.1 nein");
  session.Close();
  EXPECT_EQ(session.Connections(), 2);
  s.State->ExpectFinished();
}

// Reuse 0: each message has a connection of its own, its dialogue one
// command at a time even where the server offers PIPELINING.
TEST(SmtpSession, WithoutReuseEachMessageIsASessionOfItsOwn) {
  TScript s;
  for (const char* address : {"p1@example.org", "p2@example.org"}) {
    s.Add(Hello(true));
    s.Add({{kFrom, {"250 ok\r\n"}}, {Rcpt(address), {"250 ok\r\n"}}});
    s.Add(Data());
    s.Add({{"QUIT\r\n", {"221 bye\r\n"}}});
  }
  TSmtpSession session(s.Options, 0);
  EXPECT_TRUE(session.Deliver(Mail(0, "p1@example.org")).Delivered);
  EXPECT_TRUE(session.Deliver(Mail(1, "p2@example.org")).Delivered);
  EXPECT_EQ(session.Connections(), 2);
  s.State->ExpectFinished();
}

TEST(SmtpSession, WithoutPipeliningCommandsGoOneByOneAndReuseEndsAfterN) {
  TScript s;
  s.Add(Hello(false));
  s.Add({{kFrom, {"250 ok\r\n"}}, {Rcpt("p1@example.org"), {"250 ok\r\n"}}});
  s.Add(Data());
  s.Add({{kFrom, {"250 ok\r\n"}}, {Rcpt("p2@example.org"), {"250 ok\r\n"}}});
  s.Add(Data());
  s.Add({{"QUIT\r\n", {"221 bye\r\n"}}});  // two messages, the most it may carry
  s.Add(Hello(false));
  s.Add({{kFrom, {"250 ok\r\n"}}, {Rcpt("p3@example.org"), {"550 nein\r\n"}}});
  s.Add({{"QUIT\r\n", {"221 bye\r\n"}}});
  TSmtpSession session(s.Options, 2);
  EXPECT_TRUE(session.Deliver(Mail(0, "p1@example.org")).Delivered);
  EXPECT_TRUE(session.Deliver(Mail(1, "p2@example.org")).Delivered);
  EXPECT_EQ(session.Deliver(Mail(2, "p3@example.org, p4@example.org")).Reason, "550 nein");
  session.Close();
  EXPECT_EQ(session.Connections(), 2);
  s.State->ExpectFinished();
}

// RSET goes out only where a transaction was left unfinished; a refused
// sender on a reused connection is the message's own failure, not a sign
// that the server went away.
TEST(SmtpSession, ResetFollowsOnlyAnUnfinishedTransaction) {
  for (const bool pipelining : {false, true}) {
    SCOPED_TRACE(pipelining ? "PIPELINING" : "one by one");
    TScript s;
    s.Add(Hello(pipelining));
    const auto group = [&](const std::vector<std::string>& commands, const std::vector<std::string>& replies) {
      if (!pipelining) {
        // One by one, the first refusal ends the envelope.
        for (std::size_t i = 0; i < replies.size(); ++i) {
          s.Add({{commands[i], {replies[i]}}});
          if (replies[i].rfind("250", 0) != 0) break;
        }
        return;
      }
      std::string out, in;
      for (const std::string& c : commands) out += c;
      for (const std::string& r : replies) in += r;
      s.Add({{out, {in}}});
    };
    group({kFrom, Rcpt("p1@example.org")}, {"250 ok\r\n", "550 nein\r\n"});
    group({"RSET\r\n", kFrom, Rcpt("p2@example.org")}, {"250 ok\r\n", "250 ok\r\n", "250 ok\r\n"});
    s.Add(Data());
    group({kFrom, Rcpt("p3@example.org")}, {"550 5.7.1 Absender gesperrt\r\n", "503 erst MAIL\r\n"});
    TSMTPSend smtp(s.Options.MakeSocket());
    smtp.ReadTimeout = 1000;
    smtp.SplitServer("mail.example.org:2525");
    ASSERT_TRUE(smtp.OpenSession());
    EXPECT_FALSE(smtp.SendEnvelopeGroup(false, "a@example.org", 0, {"p1@example.org"}));
    EXPECT_TRUE(smtp.SendEnvelopeGroup(true, "a@example.org", 0, {"p2@example.org"}));
    EXPECT_TRUE(smtp.SendData({"Subject: x\r\n", "Text"}));
    EXPECT_FALSE(smtp.SendEnvelopeGroup(true, "a@example.org", 0, {"p3@example.org"}));
    EXPECT_FALSE(smtp.ResetRefused());
    EXPECT_EQ(smtp.FailReason, "550 5.7.1 Absender gesperrt");
    s.State->ExpectFinished();
  }
}

TEST(SmtpSession, AServerThatClosedBetweenMessagesCostsANewConnectionNotTheMessage) {
  const struct {
    const char* Name;
    std::vector<std::string> Answer;  // to the group of the third message
  } cases[] = {{"closed", {"<CLOSE>"}}, {"421", {"421 4.4.2 zu lange\r\n"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScript s;
    s.Add(Hello(true));
    s.Add({{kFrom + Rcpt("p1@example.org") + "DATA\r\n", {"250 ok\r\n250 ok\r\n354 los\r\n"}}});
    s.Add(Text());
    s.Add({{kFrom + Rcpt("p2@example.org") + "DATA\r\n",
            {"250 ok\r\n250 ok\r\n354 los\r\n"}}});
    s.Add(Text());
    s.Add({{kFrom + Rcpt("p3@example.org") + "DATA\r\n", c.Answer}});
    // Not a word more on the old connection; the message goes on a new one.
    s.Add(Hello(true));
    s.Add({{kFrom + Rcpt("p3@example.org") + "DATA\r\n", {"250 ok\r\n250 ok\r\n354 los\r\n"}}});
    s.Add(Text());
    s.Add({{"QUIT\r\n", {"221 bye\r\n"}}});
    TSmtpSession session(s.Options, 10);
    for (int i = 0; i < 3; ++i)
      EXPECT_TRUE(session.Deliver(Mail(i, "p" + std::to_string(i + 1) + "@example.org")).Delivered) << i;
    session.Close();
    EXPECT_EQ(session.Connections(), 2);
    s.State->ExpectFinished();
  }
}

TEST(SmtpSession, ANewConnectionThatIsRefusedFailsTheMessageOnce) {
  TScript s;
  s.Add(Hello(true));
  s.Add({{kFrom + Rcpt("p1@example.org") + "DATA\r\n", {"250 ok\r\n250 ok\r\n354 los\r\n"}}});
  s.Add(Text());
  s.Add({{kFrom + Rcpt("p2@example.org") + "DATA\r\n", {"<CLOSE>"}}});
  s.Add({{"", {"554 keine Verbindungen mehr\r\n"}}});
  TSmtpSession session(s.Options, 10);
  EXPECT_TRUE(session.Deliver(Mail(0, "p1@example.org")).Delivered);
  const TSendResult r = session.Deliver(Mail(1, "p2@example.org"));
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "554 keine Verbindungen mehr");
  EXPECT_EQ(session.Connections(), 2);
  s.State->ExpectFinished();
}

// Regression: a line the server sent after its 354 was read as the answer
// to the end of the data, and a refused message counted as sent. Such a
// server gets no end (so it stores nothing) and the message fails; bytes
// on an idle connection cost a new connection before the next message.
TEST(SmtpSession, RepliesNoCommandAskedForNeverAnswerALaterOne) {
  const std::string early = "Server antwortet vor dem Ende der Nachricht (250 stray), Nachricht nicht abgeschlossen";
  struct Case {
    const char* Name;
    bool Pipelining;
    std::vector<TScriptStep> Steps;  // after the greeting
    std::vector<std::string> Results;  // "" : delivered
    int Connections;
  } cases[] = {
      {"one by one", false,
       {{kFrom, {"250 ok\r\n"}}, {Rcpt("p1@example.org"), {"250 ok\r\n"}}, {"DATA\r\n", {"354 los\r\n", "250 stray\r\n"}}},
       {early}, 1},
      {"pipelined, in the same piece", true,
       {{kFrom + Rcpt("p1@example.org") + "DATA\r\n", {"250 ok\r\n250 ok\r\n354 los\r\n250 stray\r\n"}}},
       {early}, 1},
      {"between two messages", true,
       {{kFrom + Rcpt("p1@example.org") + "DATA\r\n", {"250 ok\r\n250 ok\r\n354 los\r\n"}},
        {kWire, {"250 queued\r\n", "250 again\r\n"}},
        {"", {"220 hallo\r\n"}},
        {Ehlo(), {"250-hallo\r\n250 PIPELINING\r\n"}},
        {kFrom + Rcpt("p2@example.org") + "DATA\r\n", {"250 ok\r\n250 ok\r\n354 los\r\n"}},
        {kWire, {"250 queued\r\n"}},
        {"QUIT\r\n", {"221 bye\r\n"}}},
       {"", ""}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TScript s;
    s.Add(Hello(c.Pipelining));
    s.Add(c.Steps);
    TSmtpSession session(s.Options, 10);
    for (std::size_t i = 0; i < c.Results.size(); ++i) {
      const TSendResult r = session.Deliver(Mail(static_cast<int>(i), "p" + std::to_string(i + 1) + "@example.org"));
      EXPECT_EQ(r.Reason, c.Results[i]);
      EXPECT_EQ(r.Delivered, c.Results[i].empty());
      EXPECT_FALSE(r.DataEndSent || r.Uncertain);
    }
    session.Close();
    EXPECT_EQ(session.Connections(), c.Connections);
    EXPECT_EQ(s.State->Next, s.State->Steps.size());
    EXPECT_EQ(s.State->Pending, "");  // not a byte of the text without its end
  }
}
