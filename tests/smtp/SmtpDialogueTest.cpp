// The client's side of whole SMTP dialogues, played against a scripted
// server: every byte the client sends is compared.
#include "core/Base64.h"
#include "smtp/SmtpAuthCrypto.h"
#include "smtp/TSMTPSend.h"
#include "smtp/TTCPBlockSocket.h"
#include "smtp/ScriptedSmtpRun.h"
#include "smtp/ScriptedSmtpSocket.h"
#include "smtp/TestServerTrust.h"

#include <gtest/gtest.h>

using namespace postello;
using namespace postello::test;

namespace {

std::string Helo() { return postello::test::ClientHelloName(); }

const std::vector<std::string> kData = {
    "From: a@example.org\r\nTo: b@example.org\r\nSubject: Hallo\r\n",
    "Erste Zeile\r\n.\r\nletzte Zeile"};
// The data as it must appear on the wire after DATA, and its size.
const std::string kWireData =
    "From: a@example.org\r\nTo: b@example.org\r\nSubject: Hallo\r\n\r\n"
    "Erste Zeile\r\n..\r\nletzte Zeile\r\n.\r\n";
const std::string kSize = std::to_string(kData[0].size() + 2 + kData[1].size() + 2);
// "\0hans\0geheim" in base64.
const std::string kPlainHans = Base64Encode(std::string("\0hans\0geheim", 12));

struct TRun : TScriptedRun {
  explicit TRun(std::vector<TScriptStep> steps) : TScriptedRun(std::move(steps)) {}
  // For the dialogues of authentication itself, played without TLS: the
  // user has allowed the password in clear for this server.
  TRun& AllowPlain() {
    Trust.PlainAllowed = true;
    return *this;
  }
  bool Send(const std::string& server = "mail.example.org", const std::string& user = "",
            const std::string& password = "", const std::string& recipients = "b@example.org",
            const std::vector<std::string>& data = kData) {
    return SendRawMail("Absender <a@example.org>", recipients, server, data, user, password,
                       Options);
  }
  // As hans with password geheim, the reason of the outcome wanted too.
  TSendResult SendWithReason() {
    return SendRawMailWithReason("a@example.org", "b@example.org", "mail.example.org", kData, "hans", "geheim",
                                 Options);
  }
};

// The steps after a plain greeting and EHLO: envelope, data and QUIT.
std::vector<TScriptStep> Delivery(const std::string& mailFrom) {
  return {{mailFrom, {"250 2.1.0 Ok\r\n"}},
          {"RCPT TO:<b@example.org>\r\n", {"250 2.1.5 Ok\r\n"}},
          {"DATA\r\n", {"354 End data with <CR><LF>.<CR><LF>\r\n"}},
          {kWireData, {"250 2.0.0 queued\r\n"}},
          {"QUIT\r\n", {"221 2.0.0 Bye\r\n"}}};
}

// Delivery with an envelope sender that carries no SIZE.
std::vector<TScriptStep> Delivery() { return Delivery("MAIL FROM:<a@example.org>\r\n"); }

// AUTH LOGIN with the given user and password, accepted with the given answer.
std::vector<TScriptStep> Login(const std::string& user = "hans", const std::string& password = "geheim",
                               const std::string& accepted = "235 ok\r\n") {
  return {{"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
          {Base64Encode(user) + "\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
          {Base64Encode(password) + "\r\n", {accepted}}};
}

// CRAM-MD5 as hans/geheim, refused.
std::vector<TScriptStep> RefusedCramMd5(const std::string& refusal) {
  return {{"AUTH CRAM-MD5\r\n", {"334 PDEyMzRAZXhhbXBsZT4=\r\n"}},
          {Base64Encode(SmtpCramMd5Response("hans", "geheim", "<1234@example>")) + "\r\n",
           {refusal}}};
}

TScriptStep MailFrom(const std::string& answer = "250 ok\r\n") {
  return {"MAIL FROM:<a@example.org>\r\n", {answer}};
}
TScriptStep RcptTo(const std::string& answer = "250 ok\r\n", const std::string& address = "b@example.org") {
  return {"RCPT TO:<" + address + ">\r\n", {answer}};
}

// Envelope and DATA with short answers, the given bytes as the data, then QUIT.
std::vector<TScriptStep> ShortDelivery(const std::string& wire, const std::string& answer = "250 ok\r\n") {
  return {MailFrom(), RcptTo(), {"DATA\r\n", {"354 go\r\n"}}, {wire, {answer}}, Quit()};
}

} // namespace

TEST(SmtpDialogue, PortComesFromTheServerTextOrDefaultsToSmtp) {
  const struct {
    const char* server;
    const char* host;
    const char* port;
  } rows[] = {
      {"mail.example.org", "mail.example.org", "smtp"},
      {"mail.example.org:587", "mail.example.org", "587"},
      {"mail.example.org : 2525 ", "mail.example.org", "2525"},
      {"  mail.example.org  ", "mail.example.org", "smtp"},
      {"\tmail.example.org:\r\n", "mail.example.org", "smtp"},
      {"mail.example.org:submission", "mail.example.org", "submission"},
      {"::1", "::1", "smtp"},
      {"[2001:db8::25]:2525", "2001:db8::25", "2525"},
      {" [::1] ", "::1", "smtp"},
  };
  for (const auto& row : rows) {
    TRun run(std::vector<TScriptStep>{{"", {"554 no service\r\n"}}});
    EXPECT_FALSE(run.Send(row.server)) << row.server;
    EXPECT_EQ(run.State->ConnectHost, row.host) << row.server;
    EXPECT_EQ(run.State->ConnectPort, row.port) << row.server;
    // A refused greeting ends the session without QUIT.
    run.State->ExpectFinished();
  }
}

namespace {

// A dialogue that ends in delivery, sent with the given credentials.
struct TDeliveredRow {
  const char* Name;
  std::vector<TScriptStep> Script;
  bool Consent;  // the user allowed the password in clear
  std::string User = "hans";
  std::string Password = "geheim";
};

void PrintTo(const TDeliveredRow& row, std::ostream* os) { *os << row.Name; }

std::vector<TDeliveredRow> DeliveredRows() {
  const std::string challenge = "<1896.697170952@postoffice.reston.mci.net>";
  return {
      {"MultiLineEhloGivesCapabilitiesLoginAndSize",
       Join(Join(Greeted({"250-first line\r\n250-AUTH LOGIN PLAIN\r\n", "250-SIZE 10240000\r\n250 HELP\r\n"},
                         "220 mail.example.org ESMTP\r\n"),
                 Login("hans", "geheim", "235 2.7.0 Authentication successful\r\n")),
            Delivery("MAIL FROM:<a@example.org> SIZE=" + kSize + "\r\n")),
       true},
      {"OldAuthEqualsFormLeadsToLogin",
       Join(Join(Greeted({"250-mail.example.org\r\n250-AUTH=LOGIN\r\n250 8BITMIME\r\n"}), Login()), Delivery()),
       true},
      {"CramMd5IsPreferredAndLoginIsNotTriedAfterIt",
       Join(Join(Greeted({"250-mail.example.org\r\n250 AUTH LOGIN CRAM-MD5 PLAIN\r\n"}),
                 {{"AUTH CRAM-MD5\r\n", {"334 " + Base64Encode(challenge) + "\r\n"}},
                  {"dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\n", {"235 ok\r\n"}}}),
            Delivery()),
       true, "tim", "tanstaaftanstaaf"},
      {"LoginFollowsAFailedCramMd5",
       Join(Join(Join(Greeted({"250-mail.example.org\r\n250 AUTH CRAM-MD5 LOGIN\r\n"}),
                      RefusedCramMd5("535 5.7.8 Authentication failed\r\n")),
                 Login()),
            Delivery()),
       true},
      // PLAIN carries the password readable on the wire: without TLS it
      // goes only with the user's consent.
      {"OnlyPlainOfferedIsUsedWithConsent",
       Join(Join(Greeted({"250-x\r\n250 AUTH PLAIN XOAUTH2\r\n"}), {{"AUTH PLAIN " + kPlainHans + "\r\n", {"235 ok\r\n"}}}),
            Delivery()),
       true},
      {"NoCredentialsMeansNoAuthEvenWhenOffered",
       Join(Greeted({"250-x\r\n250-AUTH CRAM-MD5 LOGIN\r\n250 SIZE 1000000\r\n"}),
            Delivery("MAIL FROM:<a@example.org> SIZE=" + kSize + "\r\n")),
       false, "", ""},
      {"PasswordAloneStillAuthenticates",
       Join(Join(Greeted({"250-x\r\n250 AUTH LOGIN\r\n"}), Login("", "pw")), Delivery()), true, "", "pw"},
      {"HeloAfterEhloRefusedGivesNoCapabilitiesAuthOrSize",
       Join(Join(Greeted({"500 5.5.1 Command unrecognized\r\n"}, "220 old server\r\n"),
                 {{"HELO " + Helo() + "\r\n", {"250 old server\r\n"}}}),
            Delivery()),
       true},
      {"GreetingOfThreeCharactersReadsAs220", Join(Greeted({"250\r\n"}, "220\r\n"), Delivery()), false, "", ""},
      // SIZE was only offered before TLS, so it is not used.
      {"StarttlsUpgradesAndAsksForCapabilitiesAgainBeforeAuth",
       Join(Join(GreetedThenTls("250-x\r\n250-STARTTLS\r\n250 SIZE 100\r\n", "250-x\r\n250 AUTH LOGIN\r\n",
                                "220 2.0.0 go ahead\r\n"),
                 Login()),
            Delivery()),
       false},
      // A server that (wrongly) still lists STARTTLS after the upgrade.
      {"NoStarttlsOfferedAfterTlsIsNotAskedTwice",
       Join(GreetedThenTls("250-x\r\n250 STARTTLS\r\n", "250-x\r\n250 STARTTLS\r\n"), Delivery()), false, "", ""},
      {"PlainComesLastAfterCramMd5AndLoginFailed",
       Join(Join(Join(Greeted({"250-x\r\n250 AUTH PLAIN LOGIN CRAM-MD5\r\n"}), RefusedCramMd5("535 5.7.8 no\r\n")),
                 {{"AUTH LOGIN\r\n", {"504 5.5.4 not here\r\n"}},
                  {"AUTH PLAIN " + kPlainHans + "\r\n", {"235 ok\r\n"}}}),
            Delivery()),
       true},
      {"PlainIsNotTriedAfterASuccessfulLogin",
       Join(Join(Greeted({"250-x\r\n250 AUTH PLAIN LOGIN\r\n"}), Login()), Delivery()), true},
      {"PlainAnswersAnEmptyChallengeWithTheSameResponse",
       Join(Join(Greeted({"250-x\r\n250 AUTH=PLAIN\r\n"}),
                 {{"AUTH PLAIN " + kPlainHans + "\r\n", {"334 \r\n"}}, {kPlainHans + "\r\n", {"235 ok\r\n"}}}),
            Delivery()),
       true},
      // A NUL would shift the fields and log in as someone else.
      {"PlainIsNotSaidWithANulInTheCredentials", Join(Greeted({"250-x\r\n250 AUTH PLAIN\r\n"}), Delivery()), true,
       "hans", std::string("ge\0heim", 7)},
  };
}

class SmtpDialogueDelivered : public ::testing::TestWithParam<TDeliveredRow> {};

// A dialogue that fails, sent without credentials.
struct TRefusedRow {
  const char* Name;
  std::vector<TScriptStep> Script;
  std::string Recipients = "b@example.org";
};

void PrintTo(const TRefusedRow& row, std::ostream* os) { *os << row.Name; }

std::vector<TRefusedRow> RefusedRows() {
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "250-capability\r\n";
  return {
      {"FirstRefusedRecipientStopsTheEnvelopeThenQuit",
       Join(Greeted({"250 x\r\n"}), {MailFrom(), RcptTo("550 5.1.1 unknown\r\n", "eins@example.org"), Quit()}),
       "eins@example.org, zwei@example.org"},
      {"Reply251CountsAsRefusal",
       Join(Greeted({"250 x\r\n"}), {MailFrom(), RcptTo("251 User not local; will forward\r\n"), Quit()})},
      {"ListBeginningWithAnEmptyPieceFailsAtOnce", Join(Greeted({"250 x\r\n"}), {MailFrom(), Quit()}),
       " , b@example.org"},
      {"RefusedSenderGoesStraightToQuit",
       Join(Greeted({"250 x\r\n"}), {MailFrom("553 5.7.1 sender rejected\r\n"), Quit()})},
      {"ReplyLostAfterGreetingStillEndsWithQuit",
       Join(Greeted({"250 x\r\n"}), {{"MAIL FROM:<a@example.org>\r\n", {}}, {"QUIT\r\n", {}}})},
      {"EndlessMultiLineReplyEndsTheSession", Greeted({many})},
  };
}

class SmtpDialogueRefused : public ::testing::TestWithParam<TRefusedRow> {};

template <typename Row>
std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  return info.param.Name;
}

} // namespace

TEST_P(SmtpDialogueDelivered, SendsExactlyTheScript) {
  const TDeliveredRow& row = GetParam();
  TRun run(row.Script);
  if (row.Consent) run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", row.User, row.Password));
  run.State->ExpectFinished();
}

INSTANTIATE_TEST_SUITE_P(SmtpDialogue, SmtpDialogueDelivered, ::testing::ValuesIn(DeliveredRows()),
                         RowName<TDeliveredRow>);

TEST_P(SmtpDialogueRefused, FailsAfterExactlyTheScript) {
  const TRefusedRow& row = GetParam();
  TRun run(row.Script);
  EXPECT_FALSE(run.Send("mail.example.org", "", "", row.Recipients));
  run.State->ExpectFinished();
}

INSTANTIATE_TEST_SUITE_P(SmtpDialogue, SmtpDialogueRefused, ::testing::ValuesIn(RefusedRows()),
                         RowName<TRefusedRow>);

TEST(SmtpDialogue, SessionKeepsCapabilitiesAndSizeFromEhlo) {
  auto state = std::make_shared<TScriptState>();
  state->Steps = {{"", {"220 hi\r\n"}},
                  {"EHLO client.test\r\n",
                   {"250-first line\r\n250-AUTH LOGIN PLAIN\r\n250-SIZE 10240000\r\n250 HELP\r\n"}}};
  TSMTPSend session(std::make_unique<TScriptedSmtpSocket>(state));
  session.HeloName = "client.test";
  ASSERT_TRUE(session.OpenSession());
  EXPECT_TRUE(session.UsesEsmtp);
  EXPECT_EQ(session.Capabilities,
            (std::vector<std::string>{"AUTH LOGIN PLAIN", "SIZE 10240000", "HELP"}));
  EXPECT_TRUE(session.SizeAnnounced);
  EXPECT_EQ(session.MaxMessageSize, 10240000);
  EXPECT_FALSE(session.Authenticated);  // no credentials, no AUTH
  EXPECT_EQ(session.FindCapability("auth "), "AUTH LOGIN PLAIN");
  EXPECT_EQ(session.FindCapability("STARTTLS"), "");
  state->ExpectFinished();
}

TEST(SmtpDialogue, SizeWithoutNumberIsAnnouncedWithLimitZero) {
  for (const char* line : {"250 SIZE\r\n", "250 SIZE unlimited\r\n", "250 SIZE 99999999999\r\n"}) {
    auto state = std::make_shared<TScriptState>();
    state->Steps = {{"", {"220 hi\r\n"}}, {"EHLO c\r\n", {"250-x\r\n", line}}};
    TSMTPSend session(std::make_unique<TScriptedSmtpSocket>(state));
    session.HeloName = "c";
    ASSERT_TRUE(session.OpenSession());
    EXPECT_TRUE(session.SizeAnnounced) << line;
    EXPECT_EQ(session.MaxMessageSize, 0) << line;
  }
}

TEST(SmtpDialogue, FailedAuthenticationLeavesTheVerdictToTheServer) {
  // LOGIN refused at the user name, then PLAIN refused as well: the
  // refused sender decides.
  TRun run(Join(Greeted({"250-x\r\n250 AUTH PLAIN LOGIN\r\n"}),
                {{"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
                 {Base64Encode("hans") + "\r\n", {"535 no such user\r\n"}},
                 {"AUTH PLAIN AGhhbnMAZ2VoZWlt\r\n", {"535 no such user\r\n"}},
                 MailFrom("530 5.7.0 Authentication required\r\n"),
                 Quit()}));
  run.AllowPlain();
  EXPECT_FALSE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, EhloAndHeloRefusedEndsWithoutQuit) {
  TRun run(Join(Greeted({"500 no\r\n"}), {{"HELO " + Helo() + "\r\n", {"501 no either\r\n"}}}));
  EXPECT_FALSE(run.Send());
  run.State->ExpectFinished();
  EXPECT_TRUE(run.State->Closed);
}

TEST(SmtpDialogue, RecipientListIsWalkedInOrderWithNamesAndEmptyPieces) {
  TRun run(Join(Join(Greeted({"250 x\r\n"}),
                     {MailFrom(), RcptTo("250 ok\r\n", "eins@example.org"),
                      RcptTo("250 ok\r\n", "zwei@example.org"), RcptTo("250 ok\r\n", "drei@example.org")}),
                {{"DATA\r\n", {"354 go\r\n"}}, {kWireData, {"250 ok\r\n"}}, Quit()}));
  EXPECT_TRUE(run.Send("mail.example.org", "", "",
                       " eins@example.org ,, Zwei <zwei@example.org> , <drei@example.org>,"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, RefusedDataAndRefusedMessageFail) {
  TRun refusedData(
      Join(Greeted({"250 x\r\n"}), {MailFrom(), RcptTo(), {"DATA\r\n", {"451 4.3.0 try later\r\n"}}, Quit()}));
  EXPECT_FALSE(refusedData.Send());
  refusedData.State->ExpectFinished();

  TRun refusedMessage(Join(Greeted({"250 x\r\n"}), ShortDelivery(kWireData, "554 5.7.1 spam\r\n")));
  EXPECT_FALSE(refusedMessage.Send());
  refusedMessage.State->ExpectFinished();
}

TEST(SmtpDialogue, DotsAtLineStartsAreDoubled) {
  const std::vector<std::string> data = {"Subject: .\r\n", ".\r\n..\r\n.x\r\na.b\r\n.", "."};
  TRun run(Join(Greeted({"250 x\r\n"}),
                ShortDelivery("Subject: .\r\n\r\n..\r\n...\r\n..x\r\na.b\r\n..\r\n..\r\n.\r\n")));
  EXPECT_TRUE(run.Send("mail.example.org", "", "", "b@example.org", data));
  run.State->ExpectFinished();
}

// Regression: a bare LF followed by "." would end the data early on servers
// that accept LF as a line end, letting message text be read as commands.
TEST(SmtpDialogue, LoneLineEndsInTheDataAreSentAsCrLf) {
  const std::vector<std::string> data = {"A: 1\nB: 2\r\n", "x\n.\nMAIL FROM:<evil@x>\ry\r"};
  TRun run(Join(Greeted({"250 x\r\n"}),
                ShortDelivery("A: 1\r\nB: 2\r\n\r\nx\r\n..\r\nMAIL FROM:<evil@x>\r\ny\r\n\r\n.\r\n")));
  EXPECT_TRUE(run.Send("mail.example.org", "", "", "b@example.org", data));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, LargeDataArrivesWholeAcrossChunks) {
  std::string body;
  for (int i = 0; i < 20000; ++i) body += (i % 7 == 0 ? ".line " : "line ") + std::to_string(i) + "\r\n";
  std::string wire = "H: v\r\n\r\n";
  for (int i = 0; i < 20000; ++i) wire += (i % 7 == 0 ? "..line " : "line ") + std::to_string(i) + "\r\n";
  wire += "\r\n.\r\n";
  TRun run(Join(Greeted({"250 x\r\n"}), ShortDelivery(wire)));
  EXPECT_TRUE(run.Send("mail.example.org", "", "", "b@example.org", {"H: v\r\n", body}));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, GreetingThatNeverComesFailsWithoutSendingAnything) {
  TRun run(std::vector<TScriptStep>{{"", {}}});
  EXPECT_FALSE(run.Send());
  run.State->ExpectFinished();
  EXPECT_TRUE(run.State->Closed);
}

TEST(SmtpDialogue, ConnectFailureSendsNothing) {
  TRun run({});
  run.State->ConnectError = ECONNREFUSED;
  EXPECT_FALSE(run.Send());
  EXPECT_EQ(run.State->Connects, 1);
  run.State->ExpectFinished();
}

// Regression: a line end inside an address would have started a command of
// its own ("RCPT TO:<a@x\r\nRSET>").
TEST(SmtpDialogue, AddressesWithControlCharactersAreRefusedBeforeConnecting) {
  const std::vector<std::string> lists = {"a@x\r\nRCPT TO:victim@y", "ok@x, b\n@y", "c\r@x",
                                         "tab\t@x", "del\x7f@x", std::string("nul\0@x", 6)};
  for (const std::string& list : lists) {
    TRun run({});
    EXPECT_FALSE(run.Send("mail.example.org", "", "", list)) << list;
    EXPECT_EQ(run.State->Connects, 0) << list;
  }
  TRun run({});
  EXPECT_FALSE(SendRawMail("Absender <a@x\r\nRSET>", "b@example.org", "mail.example.org",
                           kData, "", "", run.Options));
  EXPECT_EQ(run.State->Connects, 0);
  // Blanks and line ends around an address are trimmed, not refused.
  TRun trimmed(Join(Greeted({"250 x\r\n"}), Delivery()));
  EXPECT_TRUE(trimmed.Send("mail.example.org", "", "", "\r\n b@example.org\t\r\n"));
  trimmed.State->ExpectFinished();
}

// A refused STARTTLS leaves no encrypted way for the password: the
// session ends before the envelope, even where clear text is allowed.
TEST(SmtpDialogue, StarttlsRefusedEndsTheSessionBeforeTheEnvelope) {
  TRun run(Join(Greeted({"250-x\r\n250-AUTH LOGIN\r\n250 STARTTLS\r\n"}),
                {{"STARTTLS\r\n", {"454 4.7.0 TLS not available\r\n"}}, Quit()}));
  run.AllowPlain();
  const TSendResult result = run.SendWithReason();
  EXPECT_FALSE(result.Delivered);
  EXPECT_EQ(result.Reason, "Der Server bietet keine Verschl\xFCsselung an (STARTTLS abgelehnt: 454 4.7.0 TLS not "
                           "available); Nachricht mit Anmeldedaten nicht gesendet");
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, FailedHandshakeEndsWithoutAnotherWord) {
  TRun run(Join(Greeted({"250-x\r\n250 STARTTLS\r\n"}), {{"STARTTLS\r\n", {"220 go ahead\r\n"}}}));
  run.State->TlsWorks = false;
  EXPECT_FALSE(run.Send("mail.example.org", "hans", "geheim"));
  EXPECT_EQ(run.State->Next, run.State->Steps.size());
  EXPECT_EQ(run.State->Pending, "<TLS>");  // neither QUIT nor credentials after it
}

TEST(SmtpDialogue, Port465SpeaksTlsFromTheFirstByte) {
  TRun run(Join(Join({{"<TLS>", {"220 ready\r\n"}}, {Ehlo(), {"250-x\r\n250 AUTH LOGIN\r\n"}}}, Login()),
                Delivery()));
  EXPECT_TRUE(run.Send("mail.example.org:465", "hans", "geheim"));
  run.State->ExpectFinished();

  TRun broken({});
  broken.State->TlsWorks = false;
  EXPECT_FALSE(broken.Send("mail.example.org:465"));
  EXPECT_EQ(broken.State->Pending, "<TLS>");
}

TEST(SmtpDialogue, OverlongReplyLineEndsTheSession) {
  TRun run(Join(Greeted({"250-x\r\n250 y\r\n"}),
                {{"MAIL FROM:<a@example.org>\r\n", {"250 " + std::string(40000, 'a'), std::string(40000, 'b')}}}));
  EXPECT_FALSE(run.Send());
  run.State->ExpectFinished();
  EXPECT_TRUE(run.State->Closed);
}

TEST(SmtpDialogue, SizeParameterOnlyWhenAnnouncedAndPositive) {
  auto state = std::make_shared<TScriptState>();
  state->Steps = {{"", {"220 hi\r\n"}},
                  {"EHLO c\r\n", {"250-x\r\n250 SIZE 5000\r\n"}},
                  {"MAIL FROM:<a@x>\r\n", {"250 ok\r\n"}},
                  {"MAIL FROM:<a@x> SIZE=1\r\n", {"250 ok\r\n"}},
                  {"MAIL FROM:<a@x> SIZE=123456789012\r\n", {"250 ok\r\n"}}};
  TSMTPSend session(std::make_unique<TScriptedSmtpSocket>(state));
  session.HeloName = "c";
  ASSERT_TRUE(session.OpenSession());
  EXPECT_TRUE(session.SendEnvelopeSender("a@x", 0));
  EXPECT_TRUE(session.SendEnvelopeSender("a@x", 1));
  EXPECT_TRUE(session.SendEnvelopeSender("a@x", 123456789012));
  state->ExpectFinished();
}

TEST(SmtpDialogue, PlainAloneIsUsedWithTheInitialResponse) {
  ASSERT_EQ(kPlainHans, "AGhhbnMAZ2VoZWlt");
  TRun run(Join(Join(Greeted({"250-x\r\n250-AUTH PLAIN\r\n250 8BITMIME\r\n"}, "220 dovecot ready\r\n"),
                     {{"AUTH PLAIN AGhhbnMAZ2VoZWlt\r\n", {"235 2.7.0 Logged in.\r\n"}}}),
                Delivery()));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, RefusedPlainLeavesTheVerdictToTheServerAndSaysWhy) {
  TRun run(Join(Greeted({"250-x\r\n250 AUTH PLAIN\r\n"}),
                {{"AUTH PLAIN " + kPlainHans + "\r\n", {"535 5.7.8 Authentication failed\r\n"}},
                 MailFrom("530 5.7.0 Authentication required\r\n"), Quit()}));
  run.AllowPlain();
  const TSendResult result = run.SendWithReason();
  EXPECT_FALSE(result.Delivered);
  EXPECT_EQ(result.Reason,
            "Anmeldung abgelehnt (535 5.7.8 Authentication failed); 530 5.7.0 Authentication required");
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, PlainOnlyAsAWordOfItsOwn) {
  // Methods whose names merely contain PLAIN are not PLAIN.
  for (const char* offered : {"250 AUTH X-PLAINTEXT\r\n", "250 AUTH PLAINX XPLAIN\r\n"}) {
    TRun run(Join(Greeted({"250-x\r\n", offered}), Delivery()));
    run.AllowPlain();
    EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim")) << offered;
    EXPECT_EQ(run.Trust.Calls,
              (std::vector<std::string>{"seen? mail.example.org:25", "plain? mail.example.org:25"})) << offered;
    run.State->ExpectFinished();
  }
}

TEST(SmtpDialogue, PlainInsideTlsNeedsNoConsent) {
  TRun run(Join(Join(GreetedThenTls("250-x\r\n250 STARTTLS\r\n", "250-x\r\n250 AUTH PLAIN\r\n"),
                     {{"AUTH PLAIN " + kPlainHans + "\r\n", {"235 ok\r\n"}}}),
                Delivery()));
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  for (const std::string& call : run.Trust.Calls) EXPECT_NE(call.substr(0, 6), "plain?") << call;
  run.State->ExpectFinished();
}
