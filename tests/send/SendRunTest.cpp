// The send run with the real address table, message object and an aiosmtpd
// server; what arrived is read back by Python's email package.
#include "core/StoredDateTime.h"
#include "send/RunLogLine.h"
#include "send/TSendRun.h"
#include "send/SendRunSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <regex>
#include <set>
#include <thread>

using namespace postello;
using namespace postello::test;

namespace {

const char* const kStatus7 = "7 Mails von 7 verarbeitet 1 fehlgeschlagen.";
const char* const kFullTree =
    "multipart/mixed(multipart/related(multipart/alternative(text/plain,text/html),image/gif),application/pdf)";
const char* const kPersonalHeaders =
    "From,Reply-To,Subject,Date,Message-ID,To,Mime-Version,X-Mailer,Content-Type,Content-Length";
// Batch messages have their To line too, holding the empty group.
const char* const kBatchHeaders =
    "From,Reply-To,Subject,Date,Message-ID,To,Mime-Version,X-Mailer,Content-Type,Content-Length";

std::string Address(int i) { return "p" + std::to_string(i) + "@example.org"; }

class SendRunTest : public TSendRunParts {
protected:
  void SetUp() override {
    Picture = "GIF89a" + RandomBytes(20 * 1024, 1);
    Document = "%PDF-1.4\n" + RandomBytes(60 * 1024, 2);
    WriteBytes(Dir.Path() / "logo.gif", Picture);
    WriteBytes(Dir.Path() / "preise.pdf", Document);
  }

  // People p1 ... pn with Vorname Vn and Name Nn.
  void MakePeople(int n) {
    std::vector<TAddress> records;
    for (int i = 1; i <= n; ++i)
      records.push_back({Address(i), "N" + std::to_string(i), "V" + std::to_string(i), "", "", ""});
    MakeAddressTable(Table, (Dir.Path() / "adr.dbf").string(), records);
  }

  void AddAccount(int port) {
    TKontoRec* k = Konten.Add();
    k->Absender = "Versand M\xFCller";
    k->Email = "versand@example.org";
    k->Antwort = "antwort@example.org";
    k->Server = "127.0.0.1:" + std::to_string(port);
  }

  TMailRec* AddHtmlMail() {
    TMailRec* m = Mails.Add();
    m->Subject = "Angebot Dezember";
    m->MailType = 1;
    m->HtmlText = "<p>Hallo [%Vorname] [%Name],</p><img src=\"cid:LOGO.GIF\">";
    m->PlainText = "Hallo [%Vorname] [%Name],\r\nbis bald.";
    m->Attachments.Add()->FileName = (Dir.Path() / "logo.gif").string();
    m->CurAttach->ContentId = "LOGO.GIF";
    m->Attachments.Add()->FileName = (Dir.Path() / "preise.pdf").string();
    return m;
  }

  TSendChoice Choice(bool batch = false, double bcc = 20) {
    TSendChoice c;
    c.BatchMode = batch;
    c.BccCount = bcc;
    c.KontoIndex = 0;
    c.MailIndex = 0;
    return c;
  }

  static TSendResult Smtp(const TOutgoingMail& mail) { return DeliverMail(mail); }

  // Writes each message as the command line's --eml-dir does, so Python
  // can read messages that went to no server.
  TSendRun::TDeliver Capture() {
    std::filesystem::create_directories(Dir.Path() / "out");
    return [this](const TOutgoingMail& mail) {
      const std::string base = (Dir.Path() / "out" / std::to_string(mail.Index + 1)).string();
      WriteBytes(base + ".eml", mail.MessageText());
      std::string env = mail.Sender + "\n";
      for (const std::string& a : mail.EnvelopeAddresses()) env += a + "\n";
      WriteBytes(base + ".env", env);
      return true;
    };
  }
  std::string DescribeCaptured(int count) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i <= count; ++i) files.push_back(Dir.Path() / "out" / (std::to_string(i) + ".eml"));
    return DescribeSent(files);
  }

  // Copies what the server stored (messages and envelope notes) into the
  // test's folder and describes it.
  std::string DescribeReceived(const TSmtpTestServer& server) {
    std::filesystem::create_directories(Dir.Path() / "received");
    std::vector<std::filesystem::path> files;
    for (int n = 1; n <= server.Count(); ++n) {
      const auto base = Dir.Path() / "received" / ("msg-" + std::to_string(n));
      WriteBytes(base.string() + ".eml", server.Message(n));
      WriteBytes(base.string() + ".json", server.Notes(n));
      files.push_back(base.string() + ".eml");
    }
    return DescribeSent(files);
  }

  std::string PictureLines() const {
    return "part 2 image/gif name= cid=<LOGO.GIF> disposition=inline\n  bytes: " +
           std::to_string(Picture.size()) + " " + Sha256Hex(Picture) + "\n";
  }
  std::string DocumentLines() const {
    return "part 3 application/pdf name=preise.pdf cid= disposition=attachment\n  bytes: " +
           std::to_string(Document.size()) + " " + Sha256Hex(Document) + "\n";
  }

  std::string Picture, Document;
};

TEST_F(SendRunTest, PersonalisedRunOfSevenWithTheThirdRefused) {
  TSmtpTestServer server({"--refuse", Address(3)});
  ASSERT_NE(server.Port(), 0);
  MakePeople(7);
  AddAccount(server.Port());
  AddHtmlMail();
  std::vector<std::string> seen;
  Run.OnProgress = [&] {
    seen.push_back(std::to_string(Run.Progress()) + " " + Run.StatusText() + (Run.Sending() ? "" : " (end)"));
  };
  std::vector<std::string> logged;
  Run.OnErrorLog = [&](const std::string& line) { logged.push_back(line + " @" + std::to_string(Run.Processed())); };
  EXPECT_EQ(Run.StatusText(), "0 Mails von 0 verarbeitet 0 fehlgeschlagen.");

  Run.Run(Choice(), ReadRecipientList(Table, 0), Konten, Mails, Smtp);

  EXPECT_EQ(Run.StatusText(), kStatus7);
  EXPECT_EQ(Run.Progress(), 100);
  EXPECT_FALSE(Run.Sending());
  EXPECT_FALSE(Run.Cancelled());
  EXPECT_EQ(Run.FailedCount(), 1);
  // The server's own reply line says why.
  const std::string line =
      "Fehler beim Senden der Nachricht an p3@example.org: 550 5.1.1 <p3@example.org>: Recipient address rejected";
  EXPECT_EQ(Run.ErrorLog(), std::vector<std::string>{line});
  // The line is logged before the counters move on to the third message.
  EXPECT_EQ(logged, std::vector<std::string>{line + " @2"});
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "14 1 Mail von 7 verarbeitet 0 fehlgeschlagen.",
                      "28 2 Mails von 7 verarbeitet 0 fehlgeschlagen.",
                      "42 3 Mails von 7 verarbeitet 1 fehlgeschlagen.",
                      "57 4 Mails von 7 verarbeitet 1 fehlgeschlagen.",
                      "71 5 Mails von 7 verarbeitet 1 fehlgeschlagen.",
                      "85 6 Mails von 7 verarbeitet 1 fehlgeschlagen.",
                      "100 7 Mails von 7 verarbeitet 1 fehlgeschlagen.",
                      "100 7 Mails von 7 verarbeitet 1 fehlgeschlagen. (end)"}));
  // The table stands on the last merged recipient.
  EXPECT_EQ(Table.RecNo(), 7u);

  ASSERT_EQ(server.Count(), 6);
  const std::string all = DescribeReceived(server);
  std::set<std::string> ids;
  const std::regex idForm(R"(<[0-9a-f]+\.[0-9a-f]{16}\.[0-9a-f]+@example\.org>)");
  int n = 0;
  for (int i : {1, 2, 4, 5, 6, 7}) {
    const std::string block = Block(all, "msg-" + std::to_string(++n) + ".eml");
    SCOPED_TRACE(block);
    const std::string v = std::to_string(i);
    EXPECT_EQ(Line(block, "envelope"), "versand@example.org -> " + Address(i));
    EXPECT_EQ(Line(block, "headers"), kPersonalHeaders);
    EXPECT_EQ(Line(block, "from"), "Versand M\xFCller|versand@example.org");
    EXPECT_EQ(Line(block, "reply-to"), "Versand M\xFCller|antwort@example.org");
    EXPECT_EQ(Line(block, "to"), Address(i));
    EXPECT_EQ(Line(block, "subject"), "Angebot Dezember");
    EXPECT_EQ(Line(block, "date"), "ok");
    EXPECT_EQ(Line(block, "length"), "ok");
    EXPECT_EQ(Line(block, "tree"), kFullTree);
    const std::string id = Line(block, "message-id");
    EXPECT_TRUE(std::regex_match(id, idForm)) << id;
    ids.insert(id);
    EXPECT_NE(block.find("part 0 text/plain name= cid= disposition=inline\n  text: Hallo V" + v + " N" + v +
                         ",\\r\\nbis bald.\n"
                         "part 1 text/html name= cid= disposition=inline\n  text: <p>Hallo V" + v + " N" + v +
                         ",</p><img src=\"cid:LOGO.GIF\">\n" + PictureLines() + DocumentLines() + "defects: 0\n"),
              std::string::npos);
  }
  EXPECT_EQ(ids.size(), 6u);
}

TEST_F(SendRunTest, BatchRunOf41At20SendsEnvelopesOf20And20And1ToUndisclosedRecipients) {
  TSmtpTestServer server({});
  ASSERT_NE(server.Port(), 0);
  MakePeople(41);
  AddAccount(server.Port());
  AddHtmlMail();

  Run.Run(Choice(true, 20), ReadRecipientList(Table, 0), Konten, Mails, Smtp);

  EXPECT_EQ(Run.MessageCount(), 3);
  EXPECT_EQ(Run.StatusText(), "3 Mails von 3 verarbeitet 0 fehlgeschlagen.");
  EXPECT_TRUE(Run.ErrorLog().empty());
  ASSERT_EQ(server.Count(), 3);
  const std::string all = DescribeReceived(server);
  const int firsts[] = {1, 21, 41}, lasts[] = {20, 40, 41};
  for (int m = 0; m < 3; ++m) {
    const std::string block = Block(all, "msg-" + std::to_string(m + 1) + ".eml");
    SCOPED_TRACE(block);
    std::string envelope;
    for (int i = firsts[m]; i <= lasts[m]; ++i) envelope += (i > firsts[m] ? "," : "") + Address(i);
    EXPECT_EQ(Line(block, "envelope"), "versand@example.org -> " + envelope);
    EXPECT_EQ(Line(block, "headers"), kBatchHeaders);
    EXPECT_EQ(Line(block, "to"), "");
    EXPECT_EQ(Line(block, "tree"), kFullTree);
    // Nothing is merged in a batch.
    EXPECT_NE(block.find("  text: Hallo [%Vorname] [%Name],\\r\\nbis bald.\n"), std::string::npos);
    EXPECT_NE(block.find(PictureLines() + DocumentLines() + "defects: 0\n"), std::string::npos);
  }
}

TEST_F(SendRunTest, CancelDuringTheThirdOfTenLetsItFinishAndSendsNoFourth) {
  TSmtpTestServer server({});
  ASSERT_NE(server.Port(), 0);
  MakePeople(10);
  AddAccount(server.Port());
  AddHtmlMail();
  int idle = 0;
  Run.OnIdle = [&] { ++idle; };

  // As the window does it: compose here, deliver on another thread, and
  // the click on "Abbrechen" arrives while the third session runs.
  Run.Start(Choice(), ReadRecipientList(Table, 0), Konten, Mails);
  EXPECT_TRUE(Run.Sending());
  while (std::optional<TOutgoingMail> mail = Run.NextMessage()) {
    std::future<TSendResult> session = std::async(std::launch::async, [&mail] { return DeliverMail(*mail); });
    if (mail->Index == 2) Run.RequestCancel();
    Run.Finish(*mail, session.get());
  }

  EXPECT_EQ(server.Count(), 3);
  EXPECT_EQ(idle, 4);
  EXPECT_TRUE(Run.Cancelled());
  EXPECT_FALSE(Run.Sending());
  EXPECT_EQ(Run.Progress(), 30);  // as far as it got
  EXPECT_EQ(Run.Processed(), 3);
  EXPECT_EQ(Run.StatusText(), "3 Mails von 10 verarbeitet 0 fehlgeschlagen.");
  EXPECT_EQ(Line(Block(DescribeReceived(server), "msg-3.eml"), "to"), Address(3));

  // The next run starts afresh; the status text stays until its first
  // message is done.
  Run.Start(Choice(), ReadRecipientList(Table, 0), Konten, Mails);
  EXPECT_FALSE(Run.CancelRequested());
  EXPECT_EQ(Run.StatusText(), "3 Mails von 10 verarbeitet 0 fehlgeschlagen.");
  Run.OnIdle = [&] {
    if (Run.Processed() == 1) Run.RequestCancel();
  };
  while (std::optional<TOutgoingMail> mail = Run.NextMessage()) Run.Finish(*mail, DeliverMail(*mail));
  EXPECT_EQ(Run.StatusText(), "1 Mail von 10 verarbeitet 0 fehlgeschlagen.");
  EXPECT_EQ(server.Count(), 4);

  // A click during the last message finds nothing left to stop.
  Run.OnIdle = nullptr;
  Run.Start(Choice(), ReadRecipientList(Table, 0), Konten, Mails);
  while (std::optional<TOutgoingMail> mail = Run.NextMessage()) {
    if (mail->Index == 9) Run.RequestCancel();
    Run.Finish(*mail, DeliverMail(*mail));
  }
  EXPECT_FALSE(Run.Cancelled());
  EXPECT_EQ(Run.StatusText(), "10 Mails von 10 verarbeitet 0 fehlgeschlagen.");
  EXPECT_EQ(server.Count(), 14);
}

// Recipients given straight as rows: address and record position.
TRecipientList Rows(const std::vector<std::string>& addresses) {
  TRecipientList rows;
  for (std::size_t i = 0; i < addresses.size(); ++i)
    rows.push_back({addresses[i], static_cast<std::uint32_t>(i)});
  return rows;
}

TRecipientList People(int n) {
  std::vector<std::string> a;
  for (int i = 1; i <= n; ++i) a.push_back(Address(i));
  return Rows(a);
}

TEST_F(SendRunTest, RefusalsSendNothingAndLeaveTheStateAlone) {
  MakePeople(3);
  AddAccount(25);
  AddHtmlMail();
  int delivered = 0;
  const auto count = [&](const TOutgoingMail&) { return ++delivered, true; };
  const auto refusal = [&](TSendChoice choice, const TRecipientList& rows, TKontoList& konten, TMailList& mails) {
    try {
      Run.Run(choice, rows, konten, mails, count);
    } catch (const ESendRefused& e) {
      EXPECT_FALSE(Run.Sending());
      return std::string(e.what());
    }
    return std::string("(no refusal)");
  };
  const std::string noRecipients = "Es sind keine Empf\xE4nger vorhanden!";
  const std::string noAccount = "Es ist kein Absender-Konto ausgew\xE4hlt!";
  const std::string noMail = "Es ist keine eMail zum versenden ausgew\xE4hlt!";

  TSendChoice one = Choice();
  one.Recipients = TRecipientChoice::One;
  one.TypedAddress = "    ";
  EXPECT_EQ(refusal(one, ReadRecipientList(Table, 0), Konten, Mails), noRecipients);
  one.TypedAddress = "";
  EXPECT_EQ(refusal(one, ReadRecipientList(Table, 0), Konten, Mails), noRecipients);

  TSendChoice selected = Choice();
  selected.Recipients = TRecipientChoice::Selected;
  EXPECT_EQ(refusal(selected, ReadRecipientList(Table, 0), Konten, Mails), noRecipients);
  selected.SelectedRows = {3, 17};  // rows the list does not have
  EXPECT_EQ(refusal(selected, ReadRecipientList(Table, 0), Konten, Mails), noRecipients);

  // A closed table lists nothing.
  Table.Close();
  EXPECT_EQ(refusal(Choice(), ReadRecipientList(Table, 0), Konten, Mails), noRecipients);

  TKontoRec* none = nullptr;
  TKontoList noKonten{&none};
  EXPECT_EQ(refusal(Choice(), People(2), noKonten, Mails), noAccount);
  TSendChoice badKonto = Choice();
  badKonto.KontoIndex = -1;
  EXPECT_EQ(refusal(badKonto, People(2), Konten, Mails), noAccount);
  badKonto.KontoIndex = 1;
  EXPECT_EQ(refusal(badKonto, People(2), Konten, Mails), noAccount);

  TMailRec* noneMail = nullptr;
  TMailList noMails{&noneMail};
  EXPECT_EQ(refusal(Choice(), People(2), Konten, noMails), noMail);
  TSendChoice badMail = Choice();
  badMail.MailIndex = -1;
  EXPECT_EQ(refusal(badMail, People(2), Konten, Mails), noMail);

  // The checks come in this order.
  EXPECT_EQ(refusal(one, People(2), noKonten, noMails), noRecipients);
  EXPECT_EQ(refusal(Choice(), People(2), noKonten, noMails), noAccount);

  EXPECT_EQ(delivered, 0);
  EXPECT_TRUE(Run.ErrorLog().empty());
  EXPECT_EQ(Run.StatusText(), "0 Mails von 0 verarbeitet 0 fehlgeschlagen.");

  // A run going on cannot be started again.
  Run.Start(Choice(), People(2), Konten, Mails);
  EXPECT_THROW(Run.Start(Choice(), People(2), Konten, Mails), std::logic_error);
}

TEST_F(SendRunTest, BatchArithmetic) {
  AddAccount(25);
  AddHtmlMail();
  struct TCase {
    int recipients;
    double bcc;
    std::vector<int> sizes;
  };
  for (const TCase& c : std::vector<TCase>{{45, 20, {20, 20, 5}},
                                           {1, 20, {1}},
                                           {100, 100, {100}},
                                           {101, 100, {100, 1}},
                                           {41, 20.9, {20, 20, 1}},
                                           {7, 3, {3, 3, 1}},
                                           {3, 1, {1, 1, 1}},
                                           {40, 20, {20, 20}}}) {
    SCOPED_TRACE(std::to_string(c.recipients) + " at " + std::to_string(c.bcc));
    std::vector<int> sizes;
    std::vector<std::string> logAddresses;
    Run.Run(Choice(true, c.bcc), People(c.recipients), Konten, Mails, [&](const TOutgoingMail& mail) {
      sizes.push_back(static_cast<int>(mail.EnvelopeAddresses().size()));
      logAddresses.push_back(mail.LogAddress);
      return true;
    });
    EXPECT_EQ(sizes, c.sizes);
    EXPECT_EQ(Run.MessageCount(), static_cast<int>(c.sizes.size()));
    for (std::size_t m = 0; m < logAddresses.size(); ++m)
      EXPECT_EQ(logAddresses[m], Address(static_cast<int>(m) * static_cast<int>(c.bcc) + 1));
  }
}

TEST_F(SendRunTest, ProgressUsesIntegerDivisionAndAFailedBatchLogsItsFirstAddress) {
  AddAccount(25);
  AddHtmlMail();
  std::vector<int> progress;
  Run.OnProgress = [&] { progress.push_back(Run.Progress()); };
  Run.Run(Choice(true, 2), People(5), Konten, Mails, [](const TOutgoingMail& mail) { return mail.Index != 1; });
  // The bar stays full once the run is over.
  EXPECT_EQ(progress, (std::vector<int>{33, 66, 100, 100}));
  EXPECT_EQ(Run.ErrorLog(), std::vector<std::string>{"Fehler beim Senden der Nachricht an p3@example.org"});
  EXPECT_EQ(Run.StatusText(), "3 Mails von 3 verarbeitet 1 fehlgeschlagen.");
  // The error log keeps its lines across runs.
  Run.Run(Choice(), People(1), Konten, Mails, [](const TOutgoingMail&) { return false; });
  EXPECT_EQ(Run.ErrorLog().size(), 2u);
  EXPECT_EQ(Run.ErrorLog().back(), "Fehler beim Senden der Nachricht an p1@example.org");
  EXPECT_EQ(Run.StatusText(), "1 Mail von 1 verarbeitet 1 fehlgeschlagen.");
}

TEST(RunLogLine, NamesTheKindAndTheStartTime) {
  const struct {
    TJournalRunKind kind;
    double when;
    const char* line;
  } cases[] = {
      {TJournalRunKind::Retry, EncodeDateTime(2026, 1, 2, 23, 5, 7), "--- Wiederholung am 02.01.2026 23:05:07 ---"},
      {TJournalRunKind::Test, EncodeDateTime(2026, 3, 4), "--- Test am 04.03.2026 00:00:00 ---"},
  };
  for (const auto& c : cases) EXPECT_EQ(RunLogLine(c.kind, c.when), c.line);
}

TEST_F(SendRunTest, SelectedRowsGoInListOrderAndMergeTheirOwnRecords) {
  // The third record has no address, so rows and records part ways.
  MakeAddressTable(Table, (Dir.Path() / "adr.dbf").string(),
                   {{"a@example.org", "Alt", "Anna", "", "", ""},
                    {"b@example.org", "Berg", "Ben", "", "", ""},
                    {"", "Leer", "Lea", "", "", ""},
                    {"c@example.org", "Cron", "Cem", "", "", ""},
                    {"d@example.org", "Dorn", "Dana", "", "", ""}});
  AddAccount(25);
  AddHtmlMail();
  TSendChoice choice = Choice();
  choice.Recipients = TRecipientChoice::Selected;
  choice.SelectedRows = {3, 0, 2, 3};
  Run.Run(choice, ReadRecipientList(Table, 0), Konten, Mails, Capture());
  EXPECT_EQ(Run.RecipientAddresses(), (std::vector<std::string>{"a@example.org", "c@example.org", "d@example.org"}));
  const std::string all = DescribeCaptured(3);
  const char* const expected[][2] = {{"a@example.org", "Anna Alt"}, {"c@example.org", "Cem Cron"},
                                     {"d@example.org", "Dana Dorn"}};
  for (int m = 0; m < 3; ++m) {
    const std::string block = Block(all, std::to_string(m + 1) + ".eml");
    SCOPED_TRACE(block);
    EXPECT_EQ(Line(block, "to"), expected[m][0]);
    EXPECT_NE(block.find(std::string("  text: Hallo ") + expected[m][1] + ",\\r\\nbis bald.\n"), std::string::npos);
  }
}

TEST_F(SendRunTest, TypedAddressIsTrimmedAndKeepsThePlaceholders) {
  MakePeople(3);
  AddAccount(25);
  AddHtmlMail();
  TSendChoice choice = Choice();
  choice.Recipients = TRecipientChoice::One;
  choice.TypedAddress = "  Typed@Example.org  ";
  Run.Run(choice, ReadRecipientList(Table, 0), Konten, Mails, Capture());
  EXPECT_EQ(Run.StatusText(), "1 Mail von 1 verarbeitet 0 fehlgeschlagen.");
  const std::string block = Block(DescribeCaptured(1), "1.eml");
  EXPECT_EQ(Line(block, "envelope"), "versand@example.org -> Typed@Example.org") << block;
  EXPECT_EQ(Line(block, "to"), "Typed@Example.org");
  EXPECT_NE(block.find("  text: Hallo [%Vorname] [%Name],\\r\\nbis bald.\n"), std::string::npos) << block;
  EXPECT_NE(block.find("  text: <p>Hallo [%Vorname] [%Name],</p>"), std::string::npos) << block;
}

TEST_F(SendRunTest, BodiesByMailTypeAndTextsThatAreOrBecomeEmpty) {
  MakeAddressTable(Table, (Dir.Path() / "adr.dbf").string(), {{"a@example.org", "Alt", "Anna", "", "", ""}});
  AddAccount(25);
  TMailRec* text = Mails.Add();
  text->Subject = "Nur Text";
  text->MailType = 2;
  text->HtmlText = "<p>nie gesendet</p>";
  TMailRec* design = Mails.Add();
  design->MailType = 0;
  design->DesignHtml = "<p>Design [%Vorname]</p>";
  design->HtmlText = "<p>nicht dieser</p>";
  design->PlainText = "[%Anrede]";  // merges to nothing
  TMailRec* html = Mails.Add();
  html->MailType = 1;
  html->HtmlText = "[%Info 1][%Info 2]";  // merges to nothing
  html->PlainText = "";

  for (int mail = 0; mail < 3; ++mail) {
    TSendChoice choice = Choice();
    choice.MailIndex = mail;
    Run.Run(choice, ReadRecipientList(Table, 0), Konten, Mails, Capture());
    std::filesystem::rename(Dir.Path() / "out" / "1.eml", Dir.Path() / "out" / ("mail" + std::to_string(mail) + ".eml"));
    std::filesystem::rename(Dir.Path() / "out" / "1.env", Dir.Path() / "out" / ("mail" + std::to_string(mail) + ".env"));
  }
  const std::string all = DescribeSent({Dir.Path() / "out" / "mail0.eml", Dir.Path() / "out" / "mail1.eml",
                                        Dir.Path() / "out" / "mail2.eml"});
  const std::string plainOnly = Block(all, "mail0.eml");
  EXPECT_EQ(Line(plainOnly, "tree"), "text/plain") << plainOnly;
  EXPECT_EQ(Line(plainOnly, "headers"),
            "From,Reply-To,Subject,Date,Message-ID,To,Mime-Version,X-Mailer,Content-Type,"
            "Content-Transfer-Encoding,Content-Disposition,Content-Length");
  EXPECT_EQ(Line(plainOnly, "  text"), " ");
  EXPECT_EQ(Line(plainOnly, "length"), "ok");
  const std::string designMail = Block(all, "mail1.eml");
  EXPECT_EQ(Line(designMail, "tree"), "multipart/alternative(text/plain,text/html)") << designMail;
  EXPECT_NE(designMail.find("part 0 text/plain name= cid= disposition=inline\n  text:  \n"
                            "part 1 text/html name= cid= disposition=inline\n  text: <p>Design Anna</p>\n"),
            std::string::npos)
      << designMail;
  // No subject: no Subject line.
  EXPECT_EQ(Line(designMail, "headers").find("Subject"), std::string::npos);
  const std::string htmlMail = Block(all, "mail2.eml");
  EXPECT_NE(htmlMail.find("part 0 text/plain name= cid= disposition=inline\n  text:  \n"
                          "part 1 text/html name= cid= disposition=inline\n  text:  \n"),
            std::string::npos)
      << htmlMail;
}

TEST_F(SendRunTest, AddressesWithControlCharactersAreNeverSent) {
  TSmtpTestServer server({});
  ASSERT_NE(server.Port(), 0);
  MakePeople(5);
  AddAccount(server.Port());
  AddHtmlMail();
  const TRecipientList rows = Rows({"p1@example.org", "x@example.org>\r\nRCPT TO:<evil@example.org",
                                    "p3@example.org\t", "p4@example.org\n", "p5@example.org"});
  std::vector<int> handed;
  Run.Run(Choice(), rows, Konten, Mails, [&](const TOutgoingMail& mail) {
    handed.push_back(mail.Index);
    return DeliverMail(mail);
  });
  EXPECT_EQ(handed, (std::vector<int>{0, 4}));
  EXPECT_EQ(Run.StatusText(), "5 Mails von 5 verarbeitet 3 fehlgeschlagen.");
  EXPECT_EQ(Run.ErrorLog(), (std::vector<std::string>{
                                "Fehler beim Senden der Nachricht an x@example.org>  RCPT TO:<evil@example.org: "
                                "Adresse enth\xE4lt ein Steuerzeichen",
                                "Fehler beim Senden der Nachricht an p3@example.org : Adresse enth\xE4lt ein Steuerzeichen",
                                "Fehler beim Senden der Nachricht an p4@example.org : Adresse enth\xE4lt ein Steuerzeichen"}));
  ASSERT_EQ(server.Count(), 2);
  EXPECT_NE(server.Notes(1).find("\"rcpt_tos\": [\"p1@example.org\"]"), std::string::npos);
  EXPECT_NE(server.Notes(2).find("\"rcpt_tos\": [\"p5@example.org\"]"), std::string::npos);

  // In a batch the whole message stays unsent, as one refused address
  // fails a batch anyway.
  Run.Run(Choice(true, 2), rows, Konten, Mails, Smtp);
  EXPECT_EQ(Run.StatusText(), "3 Mails von 3 verarbeitet 2 fehlgeschlagen.");
  ASSERT_EQ(server.Count(), 3);
  EXPECT_NE(server.Notes(3).find("\"rcpt_tos\": [\"p5@example.org\"]"), std::string::npos);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(server.Notes(n).find("evil"), std::string::npos);
}

TEST_F(SendRunTest, AttachmentsAreReadOncePerRun) {
  MakePeople(3);
  AddAccount(25);
  AddHtmlMail();
  const TSendRun::TDeliver capture = Capture();
  // Once the first message is out, the files are gone: the later messages
  // still carry them, read at the start.
  Run.Run(Choice(), ReadRecipientList(Table, 0), Konten, Mails, [&](const TOutgoingMail& mail) {
    std::filesystem::remove(Dir.Path() / "logo.gif");
    std::filesystem::remove(Dir.Path() / "preise.pdf");
    return capture(mail);
  });
  EXPECT_EQ(Run.StatusText(), "3 Mails von 3 verarbeitet 0 fehlgeschlagen.");
  const std::string all = DescribeCaptured(3);
  for (int m = 1; m <= 3; ++m)
    EXPECT_NE(Block(all, std::to_string(m) + ".eml").find(PictureLines() + DocumentLines() + "defects: 0\n"),
              std::string::npos)
        << all;

  // The next run reads them again, and a file that is gone ends the run.
  int delivered = 0;
  EXPECT_THROW(Run.Run(Choice(), ReadRecipientList(Table, 0), Konten, Mails,
                       [&](const TOutgoingMail&) { return ++delivered, true; }),
               EFOpenError);
  EXPECT_EQ(delivered, 0);
  EXPECT_FALSE(Run.Sending());
  EXPECT_EQ(Run.StatusText(), "3 Mails von 3 verarbeitet 0 fehlgeschlagen.");
  EXPECT_TRUE(Run.ErrorLog().empty());
}

TEST_F(SendRunTest, AttachmentsReadOnceGiveTheBytesOfReadingPerMessage) {
  MakePeople(2);
  AddAccount(25);
  AddHtmlMail();
  ZIzorAvarivi2000 reference;
  reference.ApplyFormSettings();
  reference.SetHtmlBody("x");
  reference.SetPlainBody("y");
  reference.AddAttachmentFile((Dir.Path() / "logo.gif").string(), "", true);
  reference.AddAttachmentFile((Dir.Path() / "preise.pdf").string(), "", false);
  Run.Start(Choice(), ReadRecipientList(Table, 0), Konten, Mails);
  for (int m = 0; m < 2; ++m) {
    const std::optional<TOutgoingMail> mail = Run.NextMessage();
    ASSERT_TRUE(mail.has_value());
    ASSERT_EQ(Msg.AttachList.Count(), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(Msg.AttachList[i]->HeaderText(), reference.AttachList[i]->HeaderText());
      EXPECT_TRUE(Msg.AttachList[i]->EncodedBody == reference.AttachList[i]->EncodedBody) << "attachment " << i;
      EXPECT_NE(mail->Data[1].find(reference.AttachList[i]->EncodedBody), std::string::npos);
    }
    Run.Finish(*mail, true);
  }
}

TEST_F(SendRunTest, ErrorWhileComposingEndsTheRunKeepingWhatWasSent) {
  MakePeople(4);
  AddAccount(25);
  TMailRec* mail = AddHtmlMail();
  mail->Attachments.Add()->FileName = (Dir.Path() / "fehlt.pdf").string();
  Run.Start(Choice(), ReadRecipientList(Table, 0), Konten, Mails);
  EXPECT_THROW(Run.NextMessage(), EFOpenError);
  Run.Abort();
  EXPECT_FALSE(Run.Sending());
  EXPECT_FALSE(Run.NextMessage().has_value());
  // Started afresh without the missing file, the run works.
  mail->Attachments.Delete(2);
  std::vector<std::string> sent;
  Run.Run(Choice(), ReadRecipientList(Table, 0), Konten, Mails, [&](const TOutgoingMail& m) {
    sent.push_back(m.Recipients);
    return true;
  });
  EXPECT_EQ(sent.size(), 4u);
}

TEST_F(SendRunTest, ChoosesAccountAndMailByIndexAndMovesTheirCursors) {
  MakePeople(1);
  AddAccount(25);
  AddAccount(2525);
  Konten[1].Email = "zwei@example.net";
  Konten[1].User = "nutzer";
  Konten[1].Password = CodePassw("Geheim!9");
  AddHtmlMail();
  TMailRec* second = Mails.Add();
  second->Subject = "Zweite";
  second->MailType = 2;
  second->PlainText = "Text";
  TSendChoice choice = Choice();
  choice.KontoIndex = 1;
  choice.MailIndex = 1;
  Run.Start(choice, ReadRecipientList(Table, 0), Konten, Mails);
  EXPECT_EQ(CurKonto, &Konten[1]);
  EXPECT_EQ(CurMail, &Mails[1]);
  const std::optional<TOutgoingMail> mail = Run.NextMessage();
  ASSERT_TRUE(mail.has_value());
  EXPECT_EQ(mail->Sender, "zwei@example.net");
  EXPECT_EQ(mail->Server, "127.0.0.1:2525");
  EXPECT_EQ(mail->User, "nutzer");
  EXPECT_EQ(mail->Password, "Geheim!9");
  EXPECT_EQ(mail->Recipients, "p1@example.org");
  ASSERT_EQ(mail->Data.size(), 2u);
  EXPECT_EQ(mail->Data[0], Msg.HeaderText());
  EXPECT_EQ(mail->Data[1], Msg.EncodedBody);
  EXPECT_EQ(mail->Data[0].find("From: "), 0u);
  EXPECT_NE(mail->Data[0].find(" <zwei@example.net>\r\nReply-To: "), std::string::npos);
  EXPECT_NE(mail->Data[0].find("Subject: Zweite\r\n"), std::string::npos);
  Run.Finish(*mail, true);
  EXPECT_FALSE(Run.NextMessage().has_value());
}

TEST_F(SendRunTest, CancelledRunEndsItsLogWithVersandAbgebrochen) {
  AddAccount(25);
  AddHtmlMail();
  // Between two messages: the one under way was delivered.
  Run.OnIdle = [&] {
    if (Run.Processed() == 2) Run.RequestCancel();
  };
  Run.Run(Choice(), People(5), Konten, Mails, [](const TOutgoingMail& mail) { return mail.Index != 0; });
  EXPECT_TRUE(Run.Cancelled());
  EXPECT_EQ(Run.ErrorLog(), (std::vector<std::string>{"Fehler beim Senden der Nachricht an p1@example.org",
                                                       "Versand abgebrochen."}));
  EXPECT_EQ(Run.StatusText(), "2 Mails von 5 verarbeitet 1 fehlgeschlagen.");

  // A run that ends by itself adds nothing.
  Run.OnIdle = nullptr;
  Run.Run(Choice(), People(2), Konten, Mails, [](const TOutgoingMail&) { return true; });
  EXPECT_EQ(Run.ErrorLog().size(), 2u);
}

TEST_F(SendRunTest, SessionCutOffByTheUserCountsAsFailedAndEndsTheRunCancelled) {
  AddAccount(25);
  AddHtmlMail();
  std::vector<std::string> logged;
  Run.OnErrorLog = [&](const std::string& line) { logged.push_back(line); };
  for (int cutAt : {1, 2}) {  // the second message, and the last one
    logged.clear();
    int handed = 0;
    Run.Run(Choice(), People(3), Konten, Mails, [&](const TOutgoingMail& mail) -> TSendResult {
      ++handed;
      if (mail.Index == cutAt) return TSendResult::Interrupted("vom Benutzer abgebrochen");
      return true;
    });
    EXPECT_EQ(handed, cutAt + 1);
    EXPECT_TRUE(Run.Cancelled()) << cutAt;
    EXPECT_FALSE(Run.Sending());
    EXPECT_EQ(Run.FailedCount(), 1);
    EXPECT_EQ(Run.StatusText(),
              std::to_string(cutAt + 1) + " Mails von 3 verarbeitet 1 fehlgeschlagen.");
    EXPECT_EQ(logged, (std::vector<std::string>{"Fehler beim Senden der Nachricht an " + Address(cutAt + 1) +
                                                    ": vom Benutzer abgebrochen",
                                                "Versand abgebrochen."}));
  }
}

TEST_F(SendRunTest, CancelEndsAStalledSessionAtOnce) {
  TSmtpTestServer server({"--mode", "stall"}, "hostile_smtp_server.py");
  ASSERT_NE(server.Port(), 0);
  AddAccount(server.Port());
  AddHtmlMail();
  TSMTPSendOptions options;  // 60 seconds per wait, as in the program
  options.Cancel = Run.CancelFlag();
  const auto start = std::chrono::steady_clock::now();
  Run.Start(Choice(), People(3), Konten, Mails);
  while (std::optional<TOutgoingMail> mail = Run.NextMessage()) {
    std::future<TSendResult> session =
        std::async(std::launch::async, [&mail, &options] { return DeliverMail(*mail, options); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Run.RequestCancel();  // "Abbrechen" while the server keeps silent
    Run.Finish(*mail, session.get());
  }
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  EXPECT_TRUE(Run.Cancelled());
  EXPECT_EQ(Run.StatusText(), "1 Mail von 3 verarbeitet 1 fehlgeschlagen.");
  EXPECT_EQ(Run.ErrorLog(), (std::vector<std::string>{
                                "Fehler beim Senden der Nachricht an p1@example.org: vom Benutzer abgebrochen",
                                "Versand abgebrochen."}));
}

} // namespace
