#include "inbox/TInboxVerdict.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace postello;

namespace {

std::string Sample(const std::string& name) {
  std::ifstream in(std::string(POSTELLO_TEST_DATA) + "/inbox/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TInboxContext Context() {
  TInboxContext context;
  context.UnsubscribeMailboxes = {"abmelden@postello-test.example"};
  return context;
}

// "hard: a@b failed 5.1.1, c@d delayed 4.2.2 | id=x | to=a@b,c@d"
std::string Summary(const TInboxVerdict& v) {
  static const char* kNames[] = {"other", "hard", "soft", "unsubscribe", "complaint", "auto"};
  std::string out = kNames[static_cast<int>(v.Kind)];
  out += ":";
  for (const TInboxRecipient& r : v.Recipients) {
    out += " " + r.Address;
    if (!r.Action.empty()) out += " " + r.Action;
    if (!r.Status.empty()) out += " " + r.Status;
    if (&r != &v.Recipients.back()) out += ",";
  }
  if (!v.ReturnedMessageId.empty()) out += " | id=" + v.ReturnedMessageId;
  for (std::size_t i = 0; i < v.ReturnedTo.size(); ++i) out += (i ? "," : " | to=") + v.ReturnedTo[i];
  return out;
}

std::string Message(const std::string& header, const std::string& body = "Text\r\n") {
  return header + "\r\n" + body;
}

} // namespace

TEST(InboxVerdictTest, SamplesSortIntoTheirKinds) {
  struct Case {
    const char* file;
    const char* summary;
    const char* reason;
  };
  const Case cases[] = {
      {"postfix-unknown-user.eml",
       "hard: niemand@postello-test.example failed 5.1.1 | id=20261210030000.1.postello@postello-test.example | "
       "to=niemand@postello-test.example",
       "5.1.1 Empf\xE4nger unbekannt: unknown user: \"niemand\""},
      {"postfix-mailbox-full.eml",
       "hard: voll@postello-test.example failed 5.2.2 | id=20261210030000.2.postello@postello-test.example | "
       "to=voll@postello-test.example",
       "5.2.2 Postfach voll: input/output error"},
      {"postfix-utf8-unknown-user.eml",
       "hard: niemand@postello-test.example failed 5.1.1 | id=20261210030000.3.postello@postello-test.example | "
       "to=niemand@postello-test.example",
       "5.1.1 Empf\xE4nger unbekannt: unknown user: \"niemand\""},
      {"postfix-utf8-mailbox-full.eml",
       "hard: voll@postello-test.example failed 5.2.2 | id=20261210030000.4.postello@postello-test.example | "
       "to=voll@postello-test.example",
       "5.2.2 Postfach voll: input/output error"},
      {"postfix-utf8-address.eml",
       "hard: j\xFCrgen@postello-test.example failed 5.1.1 | id=20261210030000.5.postello@postello-test.example | "
       "to=j\xFCrgen@postello-test.example",
       "5.1.1 Empf\xE4nger unbekannt: unknown user: \"j\xFCrgen\""},
      {"exchange-ndr.eml",
       "hard: max.muster@firma.example failed 5.1.10 | id=20261210030000.6.postello@postello-test.example | "
       "to=max.muster@firma.example",
       "5.1.10 Adresse ung\xFCltig: 550 5.1.10 RESOLVER.ADR.RecipientNotFound; Recipient not found by SMTP address "
       "lookup"},
      {"gmail-dsn.eml",
       "hard: alt.kunde@gmail.example failed 5.1.1 | id=20261210030000.7.postello@postello-test.example | "
       "to=alt.kunde@gmail.example",
       "5.1.1 Empf\xE4nger unbekannt: 550-5.1.1 The email account that you tried to reach does not exist. Please try "
       "550-5.1.1 double-chec\x85"},
      {"gmail-delay.eml",
       "soft: info@langsam.example delayed 4.4.1 | id=20261210030000.8.postello@postello-test.example | "
       "to=info@langsam.example",
       "4.4.1 Zustellung verz\xF6gert (Netz): The recipient server did not accept our requests to connect. "
       "[mx.langsam.example 203.0.113.7: timed \x85"},
      {"qmail-bounce.eml",
       "hard: weg@kunden.example failed 5.1.1, voll@kunden.example delayed 4.2.2 | "
       "id=20261210030000.9.postello@postello-test.example | to=weg@kunden.example,voll@kunden.example",
       "5.1.1 Empf\xE4nger unbekannt: 550 5.1.1 <weg@kunden.example>: Recipient address rejected: User unknown in "
       "virtual mailbox table Gi\x85"},
      {"out-of-office.eml", "auto: erika@kunden.example", "Automatische Antwort"},
      {"unsubscribe.eml", "unsubscribe: kunde@example.org", "Abmeldung per E-Mail"},
      {"feedback-report.eml",
       "complaint: beschwerde@kunden.example | id=20261210030000.11.postello@postello-test.example | "
       "to=beschwerde@kunden.example",
       "Beschwerde (abuse)"},
      {"customer-reply.eml", "other:", "Pers\xF6nliche Nachricht"},
  };
  for (const Case& c : cases) {
    const std::string bytes = Sample(c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    const TInboxVerdict v = ClassifyMessage(bytes, Context());
    EXPECT_EQ(Summary(v), c.summary) << c.file;
    EXPECT_EQ(v.Reason, c.reason) << c.file;
  }
  // The message's own headers, decoded from encoded words and raw UTF-8.
  const TInboxVerdict exchange = ClassifyMessage(Sample("exchange-ndr.eml"), Context());
  EXPECT_EQ(exchange.Subject, "Unzustellbar: Newsletter f\xFCr Dezember");
  EXPECT_EQ(exchange.MessageId, "6c5e2a0b-1d7d-4f1d-9d0a-2f3c9e0b7a11@AM0PR10MB3011.eurprd10.prod.outlook.example");
  EXPECT_EQ(exchange.Date, "Thu, 10 Dec 2026 09:14:02 +0000");
  EXPECT_EQ(ClassifyMessage(Sample("out-of-office.eml"), Context()).From, "Erika Beispiel <erika@kunden.example>");
}

TEST(InboxVerdictTest, RulesOfEachKind) {
  const std::string dsn =
      "From: MAILER-DAEMON@mx.example\r\nSubject: Returned\r\n"
      "Content-Type: multipart/report; report-type=delivery-status; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\nSee below.\r\n"
      "--b\r\nContent-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; mx.example\r\n\r\n";
  const std::string arf =
      "From: abuse@isp.example\r\nSubject: Report\r\n"
      "Content-Type: multipart/report; report-type=feedback-report; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: message/feedback-report\r\n\r\n";
  const std::string plain = "From: Mail Delivery System <postmaster@mx.example>\r\nTo: news@our.example\r\n";
  struct Case {
    std::string message;
    const char* summary;
  };
  const Case cases[] = {
      // Status reports: the original recipient's xtext or unitext, a delay, a failure beside a delay, success.
      {dsn + "Original-Recipient: rfc822;a+2Bb@x.example\r\nFinal-Recipient: rfc822; c@x.example\r\n"
             "Action: failed\r\nStatus: 5.7.1 (policy)\r\n\r\n--b--\r\n",
       "hard: a+b@x.example failed 5.7.1"},
      {dsn + "Original-Recipient: rfc822;a+ab@x.example\r\nFinal-Recipient: rfc822; a+ab@x.example\r\n"
             "Action: failed\r\n--b--\r\n",
       "hard: a+ab@x.example failed"},
      {dsn + "Final-Recipient: utf-8; j\\x{FC}rgen@x.example\r\nAction: delayed\r\nStatus: 4.7.0\r\n\r\n"
             "Final-Recipient: rfc822; b@x.example\r\nAction: failed\r\nStatus: 5.0.0\r\n\r\n"
             "Final-Recipient: rfc822; c@x.example\r\nAction: delivered\r\nStatus: 2.0.0\r\n--b--\r\n",
       "hard: j\xFCrgen@x.example delayed 4.7.0, b@x.example failed 5.0.0"},
      {dsn + "Final-Recipient: rfc822; c@x.example\r\nAction: delivered\r\nStatus: 2.0.0\r\n--b--\r\n", "other:"},
      // A status part counts in a report or a server's message, not in a person's forward.
      {"From: k@x.example\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
       "Content-Type: message/delivery-status\r\n\r\nFinal-Recipient: rfc822; k@x.example\r\nAction: failed\r\n--b--\r\n",
       "other:"},
      // Complaints: the recipient named in the report, else the returned message's To; not-spam is none.
      {arf + "Feedback-Type: abuse\r\nOriginal-Rcpt-To: <k@x.example>\r\n\r\n--b--\r\n", "complaint: k@x.example"},
      {arf + "Feedback-Type: abuse\r\n\r\n--b\r\nContent-Type: text/rfc822-headers\r\n\r\n"
             "To: \"Kunde, K.\" <k@x.example>\r\nMessage-ID: <m1@our.example>\r\n\r\n--b--\r\n",
       "complaint: k@x.example | id=m1@our.example | to=k@x.example"},
      {arf + "Feedback-Type: not-spam\r\nOriginal-Rcpt-To: k@x.example\r\n\r\n--b--\r\n", "other:"},
      {arf + "Feedback-Type: " + std::string(5000, 'a') + "\r\nOriginal-Rcpt-To: k@x.example\r\n\r\n--b--\r\n",
       "complaint: k@x.example"},
      // Bounces without a status part: codes and "<address>:" lines, else the quoted headers.
      {Message(plain + "Subject: Unzustellbar\r\n",
               "Die Nachricht konnte nicht zugestellt werden: 550 Mailbox unavailable\r\n\r\n"
               "------ This is a copy of the message's headers. ------\r\n\r\n"
               "From: news@our.example\r\nTo: k@x.example\r\nMessage-ID: <m2@our.example>\r\n"),
       "hard: | id=m2@our.example | to=k@x.example"},
      {Message(plain + "Subject: Mail delivery failed\r\n", "<k@x.example>:\r\nConnection refused, 421 try later\r\n"),
       "soft: k@x.example delayed"},
      {Message(plain + "Subject: Warning: message delayed\r\n", "<k@x.example>: still trying\r\n"),
       "soft: k@x.example delayed"},
      {Message(plain + "Subject: Undelivered Mail\r\n", "<news@our.example>: our own\r\n"), "hard:"},
      {Message(plain + "Subject: Returned mail: see transcript for details\r\n",
               "   ----- The following addresses had permanent fatal errors -----\r\n<k@x.example>\r\n"
               "    (reason: 550 5.1.1 User unknown)\r\n"),
       "hard: k@x.example failed 5.1.1"},
      {Message(plain + "Subject: Ihre Anfrage 4711\r\n", "Wir haben Ihre Nachricht erhalten.\r\n"), "other:"},
      {Message(plain + "Subject: Unzustellbar\r\nContent-Type: text/html\r\n",
               "<p>&lt;k@x.example&gt;:<br>Remote host said: <b>550</b> unknown</p>\r\n"),
       "hard: k@x.example failed"},
      {Message(plain + "Subject: Delivery Status Notification (Success)\r\n", "<k@x.example>: 250 ok\r\n"), "other:"},
      // A person's reply about a bounce is no bounce.
      {Message("From: k@x.example\r\nSubject: AW: Unzustellbar\r\n"), "other:"},
      // Unsubscribes: the address in the subject or the text's first lines, else the sender.
      {Message("From: k@x.example\r\nSubject: UNSUBSCRIBE\r\n"), "unsubscribe: k@x.example"},
      {Message("From: Karl <karl>\r\nSubject: abmelden\r\n"), "unsubscribe:"},
      {Message("From: k@x.example\r\nSubject: Abmelden%20alt%40x.example\r\n"), "unsubscribe: alt@x.example"},
      {Message("From: k@x.example\r\nTo: abmelden@postello-test.example\r\nSubject: Abmelden\r\n",
               "Bitte austragen:\r\nalt@x.example\r\n"),
       "unsubscribe: alt@x.example"},
      {Message("From: k@x.example\r\nTo: abmelden@postello-test.example\r\nSubject: Bitte\r\n",
               "abmelden@postello-test.example\r\n\r\n> alt@x.example\r\n"),
       "unsubscribe: k@x.example"},
      {Message("From: k@x.example\r\nDelivered-To: abmelden@postello-test.example\r\nAuto-Submitted: auto-generated\r\n"),
       "unsubscribe: k@x.example"},
      // Automatic replies, also when their subject repeats an unsubscribe word.
      {Message("From: k@x.example\r\nAuto-Submitted: auto-generated\r\nSubject: Abmeldung\r\n"), "auto: k@x.example"},
      {Message("From: k@x.example\r\nAuto-Submitted: no\r\nSubject: Frage\r\n"), "other:"},
      {Message("From: k@x.example\r\nX-Autoreply: yes\r\n"), "auto: k@x.example"},
      {Message("From: k@x.example\r\nPrecedence: auto_reply\r\n"), "auto: k@x.example"},
      {"From: k@x.example\r\nContent-Type: multipart/report; report-type=disposition-notification; boundary=b\r\n\r\n"
       "--b\r\nContent-Type: message/disposition-notification\r\n\r\nFinal-Recipient: rfc822; k@x.example\r\n--b--\r\n",
       "auto: k@x.example"},
      {Message("From: k@x.example\r\nSubject: =?utf-8?q?ABWESEND=3A_Gr=C3=BC=C3=9Fe?=\r\n"), "auto: k@x.example"},
      {Message("From: k@x.example\r\nSubject: Out of Office: Newsletter\r\n"), "auto: k@x.example"},
      {Message("From: k@x.example\r\nSubject: Ich bin nicht im B\xFCro\r\n"), "auto: k@x.example"},
      {Message("From: k@x.example\r\nSubject: AW: Am 18. bin ich abwesend\r\n"), "other:"},
  };
  for (const Case& c : cases) {
    const TInboxVerdict v = ClassifyMessage(c.message, Context());
    EXPECT_EQ(Summary(v), c.summary) << c.message;
    EXPECT_LE(v.Reason.size(), 160u) << c.message; // a line of the result table
  }
}

TEST(InboxVerdictTest, ReadsWholeMessageOnlyWhereTheHeaderCannotDecide) {
  struct Case {
    const char* header;
    bool whole;
  };
  const Case cases[] = {
      {"Content-Type: multipart/report; report-type=delivery-status; boundary=x\r\n", true},
      {"Content-Type: multipart/report; report-type=feedback-report; boundary=x\r\n", true},
      {"From: MAILER-DAEMON@mx.example\r\nSubject: failure notice\r\n", true},
      {"From: Postmaster <postmaster@mx.example>\r\nContent-Type: multipart/mixed; boundary=x\r\n", true},
      {"From: k@x.example\r\nSubject: Undeliverable: Newsletter\r\n", true},
      {"From: k@x.example\r\nSubject: Abmelden\r\n", true},
      {"From: k@x.example\r\nTo: abmelden@postello-test.example\r\nSubject: Bitte\r\n", true},
      {"From: k@x.example\r\nSubject: Abmelden alt@x.example\r\n", false},
      {"From: k@x.example\r\nSubject: Re: Unzustellbar\r\n", false},
      {"From: k@x.example\r\nSubject: Abwesenheitsnotiz\r\nAuto-Submitted: auto-replied\r\n", false},
      {"From: k@x.example\r\nSubject: Re: Newsletter\r\nContent-Type: text/plain\r\n", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadsWholeMessage(c.header, Context()), c.whole) << c.header;
  // Without the mailboxes only the subject tells an unsubscribe.
  EXPECT_FALSE(ReadsWholeMessage("From: k@x.example\r\nTo: abmelden@postello-test.example\r\nSubject: Bitte\r\n"));
}

TEST(InboxVerdictTest, HostileInputIsBoundedAndNeverThrows) {
  const std::string gmail = Sample("gmail-dsn.eml");
  const std::string filler(1024 * 1024, 'x');
  std::string hugeHeader = "From: k@x.example\r\nSubject: Abmelden\r\n";
  for (int i = 0; i < 100000; ++i) hugeHeader += "X-F: 0\r\n";
  std::string nested = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
  for (int i = 0; i < 60000; ++i) nested += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=b" + std::to_string(i + 1) + "\r\n\r\n";
  std::string blankLines;
  for (int i = 0; i < 32 * 1024; ++i) blankLines += "\r\n";
  std::string huge = gmail;
  for (int i = 0; i < 50; ++i) huge += filler;
  struct Case {
    const char* what;
    std::string message;
    const char* summary;
  };
  const Case cases[] = {
      {"no headers at all", "\r\nnur Text\r\n", "other:"},
      {"empty", "", "other:"},
      {"binary", std::string("\0\xFF\r\n\r\n--\0", 8), "other:"},
      {"truncated after the status", gmail.substr(0, gmail.find("Status: 5.1.1") + 13),
       "hard: alt.kunde@gmail.example failed 5.1.1"},
      {"report cut before its recipients", gmail.substr(0, gmail.find("Final-Recipient")), "hard:"},
      {"50 MB message", huge,
       "hard: alt.kunde@gmail.example failed 5.1.1 | id=20261210030000.7.postello@postello-test.example | "
       "to=alt.kunde@gmail.example"},
      {"status part beyond the first 256 KB",
       gmail.substr(0, gmail.find("--000000000000b1e2a3060c4d5e6f\r\nContent-Type: message/delivery-status")) +
           blankLines + blankLines + blankLines + blankLines + gmail.substr(gmail.find("--000000000000b1e2a3060c4d5e6f\r\nContent-Type: message/delivery-status")),
       "hard:"},
      {"100,000 header lines", hugeHeader + "Auto-Submitted: auto-replied\r\n\r\nText\r\n", "unsubscribe: k@x.example"},
      {"header beyond 64 KB", hugeHeader.substr(0, hugeHeader.find("\r\n", 80 * 1024) + 2) + "Auto-Submitted: auto-replied\r\n\r\nText\r\n",
       "unsubscribe: k@x.example"},
      {"status part beyond 64 KB",
       gmail.substr(0, gmail.find("Final-Recipient")) + blankLines + gmail.substr(gmail.find("Final-Recipient")),
       "hard: | id=20261210030000.7.postello@postello-test.example | to=alt.kunde@gmail.example"},
      {"60,000 nested parts", nested, "other:"},
      {"unclosed report with a broken status block, no words of failure",
       "From: MAILER-DAEMON@mx.example\r\nContent-Type: multipart/report; boundary=b\r\n\r\n--b\r\n"
       "Content-Type: message/delivery-status\r\n\r\nFinal-Recipient rfc822 k@x.example\r\n: failed\r\n\r\n"
       "Final-Recipient: rfc822; <>\r\nAction: failed\r\n",
       "other:"},
  };
  for (const Case& c : cases) EXPECT_EQ(Summary(ClassifyMessage(c.message, Context())), c.summary) << c.what;
  // Every cut of a report reads without a fault.
  for (std::size_t n = 0; n < gmail.size(); n += 37) (void)ClassifyMessage(gmail.substr(0, n), Context());
}
