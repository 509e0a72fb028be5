// The sending rate on a fake clock: spacing, rate-limit replies, cancel.
#include "send/TSendPacer.h"

#include <gtest/gtest.h>

using namespace postello;
using namespace std::chrono;

namespace {

struct TFakeTime {
  TSendPacer::TTime Now{};
  milliseconds Slept{0};
  std::vector<long> Starts;  // milliseconds since the start, per delivery

  void Attach(TSendPacer& p) {
    p.Now = [this] { return Now; };
    p.Sleep = [this](milliseconds ms) {
      EXPECT_GT(ms.count(), 0);
      EXPECT_LE(ms.count(), 1000);
      Now += ms;
      Slept += ms;
    };
  }
  long Ms() const { return duration_cast<milliseconds>(Now.time_since_epoch()).count(); }
};

TOutgoingMail Mail() {
  TOutgoingMail m;
  m.Recipients = "a@example.org";
  return m;
}

} // namespace

TEST(SendPacer, SpacesMessagesByTheRate) {
  TSendPacer pacer(30);  // one every two seconds
  TFakeTime t;
  t.Attach(pacer);
  std::vector<long> waits;
  pacer.OnWait = [&](milliseconds left) { waits.push_back(left.count()); };
  for (int i = 0; i < 4; ++i) {
    pacer.Deliver(Mail(), [&](const TOutgoingMail&) {
      t.Starts.push_back(t.Ms());
      t.Now += milliseconds(500);  // the session itself takes half a second
      return TSendResult(true);
    });
  }
  EXPECT_EQ(t.Starts, (std::vector<long>{0, 2000, 4000, 6000}));
  // The waiting time is shown as it runs down.
  EXPECT_EQ(std::vector<long>(waits.begin(), waits.begin() + 3), (std::vector<long>{1500, 500, 0}));
}

TEST(SendPacer, NoRateNoWait) {
  TSendPacer pacer(0);
  TFakeTime t;
  t.Attach(pacer);
  for (int i = 0; i < 100; ++i) pacer.Deliver(Mail(), [](const TOutgoingMail&) { return TSendResult(true); });
  EXPECT_EQ(t.Slept.count(), 0);
}

TEST(SendPacer, SlowSessionsAreNotDelayedFurther) {
  TSendPacer pacer(60);
  TFakeTime t;
  t.Attach(pacer);
  for (int i = 0; i < 3; ++i)
    pacer.Deliver(Mail(), [&](const TOutgoingMail&) {
      t.Starts.push_back(t.Ms());
      t.Now += milliseconds(3000);
      return TSendResult(true);
    });
  EXPECT_EQ(t.Starts, (std::vector<long>{0, 3000, 6000}));
}

TEST(SendPacer, RateLimitReplyPausesHalvesAndRetriesThatMessage) {
  TSendPacer pacer(20);
  TFakeTime t;
  t.Attach(pacer);
  int calls = 0;
  const TSendResult r = pacer.Deliver(Mail(), [&](const TOutgoingMail&) {
    t.Starts.push_back(t.Ms());
    return ++calls == 1 ? TSendResult::Refused(421, "421 4.7.0 Too many messages, try again later")
                        : TSendResult(true);
  });
  EXPECT_TRUE(r.Delivered);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(pacer.Rate(), 10);
  EXPECT_EQ(t.Starts, (std::vector<long>{0, 60000}));
  // The next message keeps the halved rate: six seconds later.
  pacer.Deliver(Mail(), [&](const TOutgoingMail&) {
    t.Starts.push_back(t.Ms());
    return TSendResult(true);
  });
  EXPECT_EQ(t.Starts.back(), 66000);
}

TEST(SendPacer, ThreeHalvingsThenTheMessageFails) {
  TSendPacer pacer(40);
  TFakeTime t;
  t.Attach(pacer);
  int calls = 0;
  const TSendResult r = pacer.Deliver(Mail(), [&](const TOutgoingMail&) {
    ++calls;
    return TSendResult::Refused(451, "451 4.7.1 rate limit exceeded");
  });
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "451 4.7.1 rate limit exceeded");
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(pacer.Rate(), 5);
}

TEST(SendPacer, WithoutARateTheLastMinutesCountIsHalved) {
  TSendPacer pacer(0);
  TFakeTime t;
  t.Attach(pacer);
  for (int i = 0; i < 9; ++i) pacer.Deliver(Mail(), [](const TOutgoingMail&) { return TSendResult(true); });
  int calls = 0;
  pacer.Deliver(Mail(), [&](const TOutgoingMail&) {
    return ++calls == 1 ? TSendResult::Refused(421, "421 too many connections") : TSendResult(true);
  });
  EXPECT_EQ(pacer.Rate(), 5);
}

// Regression: a garbled answer to the end of the data that held "421"
// and "too many" was retried, and the message arrived four times.
TEST(SendPacer, OtherFailuresAreNotRetried) {
  TSendPacer pacer(0);
  TFakeTime t;
  t.Attach(pacer);
  TSendResult garbled = TSendResult::Failed("unverst\xE4ndliche Antwort des Servers: x; 421 too many connections");
  garbled.DataEndSent = garbled.Uncertain = true;
  TSendResult afterEnd = TSendResult::Refused(421, "421 4.7.0 too many messages");
  afterEnd.DataEndSent = true;
  for (const TSendResult& failure :
       {TSendResult::Refused(550, "550 5.1.1 unknown user"), TSendResult::Refused(421, "421 4.3.2 shutting down"),
        TSendResult::Refused(452, "452 too many recipients"), TSendResult::Failed("Anmeldung abgelehnt (535 rate)"),
        garbled, afterEnd}) {
    int calls = 0;
    pacer.Deliver(Mail(), [&](const TOutgoingMail&) {
      ++calls;
      return failure;
    });
    EXPECT_EQ(calls, 1) << failure.Reason;
  }
  EXPECT_EQ(pacer.Rate(), 0);
}

TEST(SendPacer, RateLimitReplies) {
  EXPECT_TRUE(IsRateLimitReply(TSendResult::Refused(421, "421 4.7.0 Try again later")));
  EXPECT_TRUE(IsRateLimitReply(TSendResult::Refused(451, "451 4.7.1 Sending RATE exceeded")));
  EXPECT_TRUE(IsRateLimitReply(TSendResult::Refused(421, "421-Too Many messages")));
  EXPECT_TRUE(IsRateLimitReply(TSendResult::Refused(421, "Anmeldung abgelehnt (x); 421 too many")));
  EXPECT_FALSE(IsRateLimitReply(TSendResult::Refused(450, "450 too many")));
  EXPECT_FALSE(IsRateLimitReply(TSendResult::Refused(421, "421 service closing")));
  // Digits inside a text are no reply code.
  EXPECT_FALSE(IsRateLimitReply(TSendResult::Failed("421 too many")));
  EXPECT_FALSE(IsRateLimitReply(TSendResult::Refused(250, "x; 421 too many connections")));
  EXPECT_FALSE(IsRateLimitReply(TSendResult()));
}

TEST(SendPacer, CancelEndsTheWait) {
  TSendPacer pacer(1);
  TFakeTime t;
  t.Attach(pacer);
  std::atomic<bool> cancel{false};
  pacer.Cancel = &cancel;
  pacer.Deliver(Mail(), [](const TOutgoingMail&) { return TSendResult(true); });
  pacer.OnWait = [&](milliseconds) { cancel = true; };
  int calls = 0;
  const TSendResult r = pacer.Deliver(Mail(), [&](const TOutgoingMail&) {
    ++calls;
    return TSendResult(true);
  });
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(r.Cancelled);
  EXPECT_LE(t.Slept.count(), 1000);
}

#include "smtp/ScriptedSmtpSocket.h"
#include "smtp/TTCPBlockSocket.h"

// The whole way: a server answers 421 to the sender and takes the message
// on the next session.
TEST(SendPacer, RateLimitReplyOnTheWireThenSuccess) {
  using postello::test::TScriptState;
  using postello::test::TScriptedSmtpSocket;
  const std::string ehlo = postello::test::Ehlo();
  auto state = std::make_shared<TScriptState>();
  state->Steps = {{"", {"220 hi\r\n"}},
                  {ehlo, {"250 x\r\n"}},
                  {"MAIL FROM:<a@example.org>\r\n", {"421 4.7.0 Too many messages, try again later\r\n"}},
                  {"QUIT\r\n", {"221 bye\r\n"}},
                  {"", {"220 hi\r\n"}},
                  {ehlo, {"250 x\r\n"}},
                  {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
                  {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}},
                  {"DATA\r\n", {"354 go\r\n"}},
                  {"Subject: x\r\n\r\nHallo\r\n.\r\n", {"250 queued\r\n"}},
                  {"QUIT\r\n", {"221 bye\r\n"}}};
  TSMTPSendOptions options;
  options.ReadTimeout = 1000;
  options.MakeSocket = [state] { return std::make_unique<TScriptedSmtpSocket>(state); };
  TOutgoingMail mail;
  mail.Sender = "a@example.org";
  mail.Recipients = "b@example.org";
  mail.Server = "mail.example.org";
  mail.Data = {"Subject: x\r\n", "Hallo"};
  TSendPacer pacer(0);
  TFakeTime t;
  t.Attach(pacer);
  const TSendResult r = pacer.Deliver(mail, [&](const TOutgoingMail& m) { return DeliverMail(m, options); });
  EXPECT_TRUE(r.Delivered) << r.Reason;
  EXPECT_EQ(state->Connects, 2);
  EXPECT_EQ(t.Slept, TSendPacer::LimitPause);
  EXPECT_EQ(pacer.Rate(), 1);
}
