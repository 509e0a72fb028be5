// The send run's journal: what each outcome of a session becomes, the
// "unsicher" line before the end of the data, runs stopped by an error or
// by a journal that can no longer be written; and the session's side of
// it, played against a scripted server.
#include "core/StoredDateTime.h"
#include "send/TSendRun.h"
#include "send/SendRunSupport.h"
#include "smtp/ScriptedSmtpSocket.h"
#include "smtp/TTCPBlockSocket.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

using namespace postello;
using namespace postello::test;

namespace {

// ---- the session ----

const std::vector<std::string> kData = {"Subject: x\r\n", "Text"};
const std::string kWire = "Subject: x\r\n\r\nText\r\n.\r\n";

std::vector<TScriptStep> UpToData() {
  return {{"", {"220 hallo\r\n"}},
          {Ehlo(), {"250 ok\r\n"}},
          {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
          {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}},
          {"DATA\r\n", {"354 los\r\n"}}};
}

} // namespace

TEST(SessionDataEnd, WhatTheAnswerToTheEndOfDataMakesOfTheResult) {
  struct Case {
    const char* Name;
    std::vector<TScriptStep> After;  // from the end of the data on
    bool Delivered, Uncertain;
    std::string Reason;
  };
  const Case cases[] = {
      {"accepted", {{kWire, {"250 queued\r\n"}}, {"QUIT\r\n", {"221 bye\r\n"}}}, true, false, ""},
      {"refused", {{kWire, {"554 nein\r\n"}}, {"QUIT\r\n", {"221 bye\r\n"}}}, false, false, "554 nein"},
      {"deferred", {{kWire, {"451 sp\xE4ter\r\n"}}, {"QUIT\r\n", {"221 bye\r\n"}}}, false, false, "451 sp\xE4ter"},
      {"connection dropped", {{kWire, {"<CLOSE>"}}}, false, true, "Server hat die Verbindung beendet"},
      {"silence", {{kWire, {}}, {"QUIT\r\n", {"221 bye\r\n"}}}, false, true,
       "keine Antwort vom Server innerhalb von 1 Sekunde"},
      {"no code", {{kWire, {"hallo\r\n"}}, {"QUIT\r\n", {"221 bye\r\n"}}}, false, true,
       "unverst\xE4ndliche Antwort des Servers: hallo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto state = std::make_shared<TScriptState>();
    state->Steps = UpToData();
    state->Steps.insert(state->Steps.end(), c.After.begin(), c.After.end());
    TSMTPSendOptions options;
    options.ReadTimeout = 1000;
    options.MakeSocket = [state] { return std::make_unique<TScriptedSmtpSocket>(state); };
    int hooks = 0;
    options.BeforeDataEnd = [&] {
      ++hooks;
      // Called before any byte of the end went out.
      EXPECT_EQ(state->Pending, "");
      return true;
    };
    const TSendResult r =
        SendRawMailWithReason("a@example.org", "b@example.org", "127.0.0.1:2525", kData, "", "", options);
    EXPECT_EQ(hooks, 1);
    EXPECT_EQ(r.Delivered, c.Delivered);
    EXPECT_EQ(r.Uncertain, c.Uncertain);
    if (!c.Delivered) {
      EXPECT_EQ(r.Reason, c.Reason);
    }
    state->ExpectFinished();
  }
}

TEST(SessionDataEnd, AHookThatFailsKeepsTheEndBackAndSaysNothingMore) {
  auto state = std::make_shared<TScriptState>();
  state->Steps = UpToData();
  TSMTPSendOptions options;
  options.ReadTimeout = 1000;
  options.MakeSocket = [state] { return std::make_unique<TScriptedSmtpSocket>(state); };
  options.BeforeDataEnd = [] { return false; };
  const TSendResult r =
      SendRawMailWithReason("a@example.org", "b@example.org", "127.0.0.1:2525", kData, "", "", options);
  EXPECT_FALSE(r.Delivered);
  EXPECT_FALSE(r.Uncertain);
  EXPECT_EQ(r.Reason, "Versandprotokoll nicht schreibbar, Nachricht nicht abgeschlossen");
  EXPECT_TRUE(state->Closed);
  state->ExpectFinished();  // not a byte after DATA, no QUIT inside the data
}

TEST(SessionDataEnd, NoHookBeforeTheDataAndNoUncertaintyWithoutIt) {
  auto state = std::make_shared<TScriptState>();
  state->Steps = {{"", {"220 hallo\r\n"}},
                  {Ehlo(), {"250 ok\r\n"}},
                  {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
                  {"RCPT TO:<b@example.org>\r\n", {"<CLOSE>"}}};
  TSMTPSendOptions options;
  options.ReadTimeout = 1000;
  options.MakeSocket = [state] { return std::make_unique<TScriptedSmtpSocket>(state); };
  bool called = false;
  options.BeforeDataEnd = [&] { return called = true; };
  const TSendResult r =
      SendRawMailWithReason("a@example.org", "b@example.org", "127.0.0.1:2525", kData, "", "", options);
  EXPECT_FALSE(called);
  EXPECT_FALSE(r.Uncertain);
}

namespace {

// ---- the run ----

class SendRunJournalTest : public TSendRunFixture {
protected:
  void SetUp() override {
    PrepareRun(5, "127.0.0.1:9")->Absender = "Verein";
    Choice.FilterText = "x";
    Choice.DatabaseFile = (Dir.Path() / "adr.dbf").string();
  }

  TJournalRun Journal() const { return ReadJournal(Run.JournalPath()); }
};

TSendResult Uncertain(std::string reason) {
  TSendResult r = TSendResult::Failed(std::move(reason));
  r.Uncertain = true;
  return r;
}

} // namespace

TEST_F(SendRunJournalTest, EachOutcomeBecomesItsLine) {
  Run.Run(Choice, Rows, Konten, Mails, [](const TOutgoingMail& mail) -> TSendResult {
    switch (mail.Index) {
      case 0: return mail.BeforeDataEnd() ? TSendResult(true) : TSendResult(false);
      case 1: return TSendResult::Failed("550 unbekannt");
      case 2:
        EXPECT_TRUE(mail.BeforeDataEnd());
        return Uncertain("Server hat die Verbindung beendet");
      default: return TSendResult(true);
    }
  });
  const TJournalRun j = Journal();
  EXPECT_EQ(j.Info.Subject, "Hallo");
  EXPECT_EQ(j.Info.Account, "Verein <verein@example.org>");
  EXPECT_EQ(j.Info.Server, "127.0.0.1:9");
  EXPECT_EQ(j.Info.Recipients, kJournalAllRecipients);
  EXPECT_EQ(j.Info.Filter, "x");
  EXPECT_EQ(j.Info.MessageCount, 5);
  ASSERT_EQ(j.Plan.size(), 5u);
  EXPECT_EQ(j.Plan[3].Addresses, std::vector<std::string>{"p4@example.org"});
  EXPECT_EQ(j.Plan[3].RecNos, std::vector<std::uint32_t>{4});
  EXPECT_EQ(j.ResultOf(1), TJournalResult::Sent);
  EXPECT_EQ(j.ResultOf(2), TJournalResult::Failed);
  EXPECT_EQ(j.LastEntryOf(2)->Reason, "550 unbekannt");
  EXPECT_EQ(j.ResultOf(3), TJournalResult::Uncertain);
  EXPECT_EQ(j.LastEntryOf(3)->Reason, "Server hat die Verbindung beendet");
  // Message 1 and 3: the provisional line, then the result; a reader
  // keeps the last.
  EXPECT_EQ(j.Entries.size(), 5u);
  const std::string bytes = ReadFileBytes(j.Path);
  EXPECT_LT(bytes.find("p1@example.org;unsicher;"), bytes.find("p1@example.org;gesendet;"));
  EXPECT_TRUE(j.Ended);
  EXPECT_EQ(j.EndState, "abgeschlossen");
  EXPECT_EQ(j.EndNote, "5 von 5 verarbeitet, 2 fehlgeschlagen");
  EXPECT_FALSE(j.Unfinished());
}

TEST_F(SendRunJournalTest, BatchesAreOneLineWithAllTheirAddresses) {
  Choice.BatchMode = true;
  Choice.BccCount = 2;
  Run.Run(Choice, Rows, Konten, Mails, [](const TOutgoingMail&) { return TSendResult(true); });
  const TJournalRun j = Journal();
  EXPECT_TRUE(j.Info.BatchMode);
  EXPECT_EQ(j.Info.BatchSize, 2);
  ASSERT_EQ(j.Plan.size(), 3u);
  EXPECT_EQ(j.Plan[1].Addresses, (std::vector<std::string>{"p3@example.org", "p4@example.org"}));
  EXPECT_EQ(j.Plan[1].RecNos, (std::vector<std::uint32_t>{3, 4}));
  EXPECT_EQ(j.Count(TJournalResult::Sent), 3);
}

TEST_F(SendRunJournalTest, CancelledRunMarksTheRestNotSent) {
  Run.Run(Choice, Rows, Konten, Mails, [this](const TOutgoingMail& mail) -> TSendResult {
    if (mail.Index == 1) return TSendResult::Interrupted("vom Benutzer abgebrochen");
    return TSendResult(true);
  });
  EXPECT_TRUE(Run.Cancelled());
  const TJournalRun j = Journal();
  EXPECT_EQ(j.ResultOf(1), TJournalResult::Sent);
  EXPECT_EQ(j.ResultOf(2), TJournalResult::NotSent);  // cut off before its end of data
  for (int nr = 3; nr <= 5; ++nr) {
    EXPECT_EQ(j.ResultOf(nr), TJournalResult::NotSent);
    EXPECT_EQ(j.LastEntryOf(nr)->Reason, "Versand abgebrochen");
  }
  EXPECT_EQ(j.EndState, "abgebrochen");
  EXPECT_TRUE(j.Unfinished());
}

TEST_F(SendRunJournalTest, AnErrorAfterTheEndOfDataKeepsTheMessageUncertain) {
  EXPECT_THROW(Run.Run(Choice, Rows, Konten, Mails,
                       [](const TOutgoingMail& mail) -> TSendResult {
                         if (mail.Index == 2) {
                           EXPECT_TRUE(mail.BeforeDataEnd());
                           throw std::runtime_error("Speicher voll");
                         }
                         return TSendResult(true);
                       }),
               std::runtime_error);
  const TJournalRun j = Journal();
  EXPECT_EQ(j.ResultOf(2), TJournalResult::Sent);
  EXPECT_EQ(j.ResultOf(3), TJournalResult::Uncertain);  // not overwritten with "nicht gesendet"
  EXPECT_EQ(j.ResultOf(4), TJournalResult::NotSent);
  EXPECT_EQ(j.LastEntryOf(4)->Reason, "Speicher voll");
  EXPECT_EQ(j.EndState, "abgebrochen");

  // An error before the end of data: the message is simply not sent.
  EXPECT_THROW(Run.Run(Choice, Rows, Konten, Mails,
                       [](const TOutgoingMail& mail) -> TSendResult {
                         if (mail.Index == 1) throw std::runtime_error("kaputt");
                         return TSendResult(true);
                       }),
               std::runtime_error);
  EXPECT_EQ(Journal().ResultOf(2), TJournalResult::NotSent);
}

TEST_F(SendRunJournalTest, EachComposedMessageRecordsTheMessageIdItWentOutWith) {
  std::vector<std::string> ids;
  EXPECT_THROW(Run.Run(Choice, Rows, Konten, Mails,
                       [&](const TOutgoingMail& mail) -> TSendResult {
                         const std::string& head = mail.Data.at(0);
                         const std::size_t at = head.find("\r\nMessage-ID: ") + 14;
                         ids.push_back(head.substr(at, head.find("\r\n", at) - at));
                         if (mail.Index == 1) return TSendResult::Failed("550 unbekannt");
                         if (mail.Index == 2) {
                           EXPECT_TRUE(mail.BeforeDataEnd());
                           throw std::runtime_error("Speicher voll");
                         }
                         return TSendResult(true);
                       }),
               std::runtime_error);
  ASSERT_EQ(ids.size(), 3u);
  const TJournalRun j = Journal();
  // Message 3 keeps its "unsicher" line, written before its end of data;
  // 4 and 5 were never composed.
  const std::string expected[] = {ids[0], ids[1], ids[2], "", ""};
  for (int nr = 1; nr <= 5; ++nr) {
    SCOPED_TRACE(nr);
    EXPECT_EQ(j.LastEntryOf(nr)->MessageId, expected[nr - 1]);
  }
  EXPECT_EQ(ids[0].front(), '<');
  EXPECT_NE(ids[0], ids[1]);
}

TEST_F(SendRunJournalTest, AnUnreadableAttachmentStopsTheRunAndSaysWhy) {
  Mails[0].Attachments.Add()->FileName = (Dir.Path() / "fehlt.pdf").string();
  int delivered = 0;
  EXPECT_ANY_THROW(Run.Run(Choice, Rows, Konten, Mails, [&](const TOutgoingMail&) { return ++delivered, TSendResult(true); }));
  EXPECT_EQ(delivered, 0);
  const TJournalRun j = Journal();
  EXPECT_EQ(j.Count(TJournalResult::NotSent), 5);
  EXPECT_NE(j.LastEntryOf(1)->Reason.find("fehlt.pdf"), std::string::npos) << j.LastEntryOf(1)->Reason;
}

TEST_F(SendRunJournalTest, NoJournalNoRun) {
  WriteBytes(Dir.Path() / "versand", "kein Ordner");
  int delivered = 0;
  try {
    Run.Run(Choice, Rows, Konten, Mails, [&](const TOutgoingMail&) { return ++delivered, TSendResult(true); });
    FAIL() << "the run started";
  } catch (const ESendRefused& e) {
    EXPECT_NE(std::string(e.what()).find("versand/"), std::string::npos) << e.what();
  }
  EXPECT_EQ(delivered, 0);
  EXPECT_FALSE(Run.Sending());
  EXPECT_EQ(Run.JournalPath(), "");
}

TEST_F(SendRunJournalTest, AJournalThatFillsUpStopsTheRun) {
  // The file may grow a little past its header and plan, then writes fail
  // (EFBIG), as on a full disk.
  std::vector<TAddress> many;
  for (int i = 1; i <= 40; ++i) many.push_back({"q" + std::to_string(i) + "@example.org", "", "", "", "", ""});
  Table.Close();
  MakeAddressTable(Table, (Dir.Path() / "viele.dbf").string(), many);
  Rows = ReadRecipientList(Table, 0);
  int ended = 0;
  bool threw = false;
  {
    const TFileSizeLimit limit(4000);
    try {
      Run.Run(Choice, Rows, Konten, Mails, [&](const TOutgoingMail& mail) -> TSendResult {
        if (!mail.BeforeDataEnd()) return TSendResult::Failed("Versandprotokoll nicht schreibbar");
        ++ended;
        return TSendResult(true);
      });
    } catch (const EJournalError& e) {
      threw = true;
      EXPECT_NE(std::string(e.what()).find("kann nicht geschrieben werden"), std::string::npos);
    }
  }
  EXPECT_TRUE(threw);
  EXPECT_GT(ended, 0);
  EXPECT_LT(ended, 40);
  EXPECT_FALSE(Run.Sending());
  // Every message whose end of data went out is in the file.
  const TJournalRun j = Journal();
  int recorded = 0;
  for (int nr = 1; nr <= 40; ++nr)
    if (j.ResultOf(nr) == TJournalResult::Sent || j.ResultOf(nr) == TJournalResult::Uncertain) ++recorded;
  EXPECT_EQ(recorded, ended);
}

TEST_F(SendRunJournalTest, TestMailGoesToTheTypedAddressWithTheRecordsFields) {
  Choice.Kind = TJournalRunKind::Test;
  Choice.TestAddress = " ich@example.org ";
  Choice.SelectedRows = {2};
  Choice.BatchMode = true;  // does not count for a test
  std::vector<TOutgoingMail> sent;
  Run.Run(Choice, Rows, Konten, Mails, [&](const TOutgoingMail& mail) {
    sent.push_back(mail);
    return TSendResult(true);
  });
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Recipients, "ich@example.org");
  WriteBytes(Dir.Path() / "t.eml", sent[0].MessageText());
  const std::string block = Block(DescribeSent({Dir.Path() / "t.eml"}), "t.eml");
  EXPECT_EQ(Line(block, "subject"), "[Test] Hallo") << block;
  EXPECT_EQ(Line(block, "to"), "ich@example.org") << block;
  EXPECT_NE(block.find("  text: Hallo N3\n"), std::string::npos) << block;
  const TJournalRun j = Journal();
  EXPECT_EQ(j.Info.Kind, TJournalRunKind::Test);
  EXPECT_EQ(j.Info.Recipients, kJournalTypedRecipient);
  EXPECT_EQ(j.Plan[0].RecNos, std::vector<std::uint32_t>{3});
  EXPECT_EQ(j.Info.Subject, "Hallo");
  // An empty address is refused like an empty list.
  Choice.TestAddress = "  ";
  EXPECT_THROW(Run.Start(Choice, Rows, Konten, Mails), ESendRefused);
}

// Regression: with the server refusing connections, or the password
// wrong, every message of the list failed the same way. The run stops
// after a refused login and after MaxConnectFailures messages in a row
// without a session; the rest stay "nicht gesendet" for a resume.
namespace {

class SendRunHaltTest : public TSendRunFixture {
protected:
  void SetUp() override { PrepareRun(14, "127.0.0.1:9"); }
};

} // namespace

TEST_F(SendRunHaltTest, ARunStopsWhenEveryFurtherMessageWouldFailAlike) {
  const auto connectFailed = [] {
    TSendResult r = TSendResult::Failed("Verbindung zu 127.0.0.1:9 abgelehnt");
    r.ConnectFailed = true;
    return r;
  };
  const auto loginRefused = [] {
    TSendResult r = TSendResult::Refused(530, "Anmeldung abgelehnt (535 5.7.8 nein); 530 5.7.0 Authentication required");
    r.LoginRefused = true;
    return r;
  };
  struct Case {
    const char* Name;
    std::function<TSendResult(int)> Result;  // per message index
    int Processed;                           // of 14; fewer: stopped
    std::string Reason;                      // of the stop
  } cases[] = {
      {"refused login", [&](int i) { return i == 0 ? TSendResult(true) : loginRefused(); }, 2, loginRefused().Reason},
      {"ten connections refused", [&](int) { return connectFailed(); }, 10, connectFailed().Reason},
      {"a refusal after the ninth breaks the row",
       [&](int i) { return i == 9 ? TSendResult::Refused(550, "550 unbekannt") : connectFailed(); }, 14, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Run.Run(Choice, Rows, Konten, Mails, [&](const TOutgoingMail& mail) { return c.Result(mail.Index); });
    EXPECT_EQ(Run.Processed(), c.Processed);
    EXPECT_EQ(Run.Halted(), !c.Reason.empty());
    EXPECT_FALSE(Run.Cancelled());
    const TJournalRun j = ReadJournal(Run.JournalPath());
    EXPECT_EQ(j.Count(TJournalResult::NotSent), 14 - c.Processed);
    if (c.Reason.empty()) continue;
    EXPECT_EQ(Run.ErrorLog().back(), "Versand angehalten: " + c.Reason);
    EXPECT_EQ(j.LastEntryOf(14)->Reason, "Versand angehalten: " + c.Reason);
    EXPECT_TRUE(j.Unfinished());
  }
}

TEST_F(SendRunJournalTest, TheMailsIdentityFindsItsRunAfterTheMailIsSaved) {
  Run.Run(Choice, Rows, Konten, Mails, [](const TOutgoingMail& mail) { return TSendResult(mail.Index != 3); });
  const std::string id = Mails[0].Id;
  ASSERT_EQ(id.size(), 32u);
  EXPECT_EQ(Journal().Info.MailId, id);
  // Saved in the editor: a new date, the identity kept beside mails.dat.
  const std::string dir = Dir.Path().string() + "/";
  Mails[0].Date += 1;
  TMailStore::Save(dir, Mails);
  TMailList back;
  ASSERT_EQ(TMailStore::Open(dir, back).Error, "");
  const auto last = LastRunOfMail(dir, back[0].Id, back[0].Subject, DateTimeToText(back[0].Date));
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->Path, Run.JournalPath());
  EXPECT_EQ(last->Count(TJournalResult::Failed), 1);
  // A second run keeps the identity.
  Run.Run(Choice, Rows, Konten, Mails, [](const TOutgoingMail&) { return TSendResult(true); });
  EXPECT_EQ(Mails[0].Id, id);
}
