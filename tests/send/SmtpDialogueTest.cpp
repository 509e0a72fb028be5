// The client's side of whole SMTP dialogues, played against a scripted
// server: every byte the client sends is compared.
#include "send/SmtpAuthCrypto.h"
#include "send/TSMTPSend.h"
#include "send/TTCPBlockSocket.h"
#include "send/ScriptedSmtpRun.h"
#include "send/ScriptedSmtpSocket.h"
#include "send/TestServerTrust.h"

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
};

// The steps after a plain greeting and EHLO: envelope, data and QUIT.
std::vector<TScriptStep> Delivery(const std::string& mailFrom) {
  return {{mailFrom, {"250 2.1.0 Ok\r\n"}},
          {"RCPT TO:<b@example.org>\r\n", {"250 2.1.5 Ok\r\n"}},
          {"DATA\r\n", {"354 End data with <CR><LF>.<CR><LF>\r\n"}},
          {kWireData, {"250 2.0.0 queued\r\n"}},
          {"QUIT\r\n", {"221 2.0.0 Bye\r\n"}}};
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

TEST(SmtpDialogue, MultiLineEhloGivesCapabilitiesLoginAndSize) {
  TRun run(Join({{"", {"220 mail.example.org ESMTP\r\n"}},
                 {Ehlo(),
                  {"250-first line\r\n250-AUTH LOGIN PLAIN\r\n", "250-SIZE 10240000\r\n250 HELP\r\n"}},
                 {"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
                 {SmtpBase64Encode("hans") + "\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
                 {SmtpBase64Encode("geheim") + "\r\n", {"235 2.7.0 Authentication successful\r\n"}}},
                Delivery("MAIL FROM:<a@example.org> SIZE=" + kSize + "\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

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

TEST(SmtpDialogue, OldAuthEqualsFormLeadsToLogin) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-mail.example.org\r\n250-AUTH=LOGIN\r\n250 8BITMIME\r\n"}},
                 {"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
                 {SmtpBase64Encode("hans") + "\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
                 {SmtpBase64Encode("geheim") + "\r\n", {"235 ok\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, CramMd5IsPreferredAndLoginIsNotTriedAfterIt) {
  const std::string challenge = "<1896.697170952@postoffice.reston.mci.net>";
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-mail.example.org\r\n250 AUTH LOGIN CRAM-MD5 PLAIN\r\n"}},
                 {"AUTH CRAM-MD5\r\n", {"334 " + SmtpBase64Encode(challenge) + "\r\n"}},
                 {"dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\n", {"235 ok\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "tim", "tanstaaftanstaaf"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, LoginFollowsAFailedCramMd5) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-mail.example.org\r\n250 AUTH CRAM-MD5 LOGIN\r\n"}},
                 {"AUTH CRAM-MD5\r\n", {"334 PDEyMzRAZXhhbXBsZT4=\r\n"}},
                 {SmtpBase64Encode(SmtpCramMd5Response("hans", "geheim", "<1234@example>")) + "\r\n",
                  {"535 5.7.8 Authentication failed\r\n"}},
                 {"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
                 {SmtpBase64Encode("hans") + "\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
                 {SmtpBase64Encode("geheim") + "\r\n", {"235 ok\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, FailedAuthenticationLeavesTheVerdictToTheServer) {
  // LOGIN refused at the user name, then PLAIN refused as well: the
  // refused sender decides.
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250-x\r\n250 AUTH PLAIN LOGIN\r\n"}},
            {"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
            {SmtpBase64Encode("hans") + "\r\n", {"535 no such user\r\n"}},
            {"AUTH PLAIN AGhhbnMAZ2VoZWlt\r\n", {"535 no such user\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"530 5.7.0 Authentication required\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  run.AllowPlain();
  EXPECT_FALSE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

// PLAIN carries the password readable on the wire: without TLS and without
// the user's consent it is not sent.
TEST(SmtpDialogue, OnlyPlainOfferedWithoutConsentSendsNoAuth) {
  TRun run(Join({{"", {"220 ready\r\n"}}, {Ehlo(), {"250-x\r\n250 AUTH PLAIN XOAUTH2\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, NoCredentialsMeansNoAuthEvenWhenOffered) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250-AUTH CRAM-MD5 LOGIN\r\n250 SIZE 1000000\r\n"}}},
                Delivery("MAIL FROM:<a@example.org> SIZE=" + kSize + "\r\n")));
  EXPECT_TRUE(run.Send("mail.example.org", "", ""));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, PasswordAloneStillAuthenticates) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250 AUTH LOGIN\r\n"}},
                 {"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
                 {"\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
                 {SmtpBase64Encode("pw") + "\r\n", {"235 ok\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "", "pw"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, HeloAfterEhloRefusedGivesNoCapabilitiesAuthOrSize) {
  TRun run(Join({{"", {"220 old server\r\n"}},
                 {Ehlo(), {"500 5.5.1 Command unrecognized\r\n"}},
                 {"HELO " + Helo() + "\r\n", {"250 old server\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, EhloAndHeloRefusedEndsWithoutQuit) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"500 no\r\n"}},
            {"HELO " + Helo() + "\r\n", {"501 no either\r\n"}}});
  EXPECT_FALSE(run.Send());
  run.State->ExpectFinished();
  EXPECT_TRUE(run.State->Closed);
}

TEST(SmtpDialogue, FirstRefusedRecipientStopsTheEnvelopeThenQuit) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250 x\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
            {"RCPT TO:<eins@example.org>\r\n", {"550 5.1.1 unknown\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  EXPECT_FALSE(run.Send("mail.example.org", "", "", "eins@example.org, zwei@example.org"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, Reply251CountsAsRefusal) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250 x\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
            {"RCPT TO:<b@example.org>\r\n", {"251 User not local; will forward\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  EXPECT_FALSE(run.Send());
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, RecipientListIsWalkedInOrderWithNamesAndEmptyPieces) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250 x\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
            {"RCPT TO:<eins@example.org>\r\n", {"250 ok\r\n"}},
            {"RCPT TO:<zwei@example.org>\r\n", {"250 ok\r\n"}},
            {"RCPT TO:<drei@example.org>\r\n", {"250 ok\r\n"}},
            {"DATA\r\n", {"354 go\r\n"}},
            {kWireData, {"250 ok\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  EXPECT_TRUE(run.Send("mail.example.org", "", "",
                       " eins@example.org ,, Zwei <zwei@example.org> , <drei@example.org>,"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, ListBeginningWithAnEmptyPieceFailsAtOnce) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250 x\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  EXPECT_FALSE(run.Send("mail.example.org", "", "", " , b@example.org"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, RefusedSenderGoesStraightToQuit) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250 x\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"553 5.7.1 sender rejected\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  EXPECT_FALSE(run.Send());
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, RefusedDataAndRefusedMessageFail) {
  TRun refusedData({{"", {"220 ready\r\n"}},
                    {Ehlo(), {"250 x\r\n"}},
                    {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
                    {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}},
                    {"DATA\r\n", {"451 4.3.0 try later\r\n"}},
                    {"QUIT\r\n", {"221 bye\r\n"}}});
  EXPECT_FALSE(refusedData.Send());
  refusedData.State->ExpectFinished();

  TRun refusedMessage({{"", {"220 ready\r\n"}},
                       {Ehlo(), {"250 x\r\n"}},
                       {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
                       {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}},
                       {"DATA\r\n", {"354 go\r\n"}},
                       {kWireData, {"554 5.7.1 spam\r\n"}},
                       {"QUIT\r\n", {"221 bye\r\n"}}});
  EXPECT_FALSE(refusedMessage.Send());
  refusedMessage.State->ExpectFinished();
}

TEST(SmtpDialogue, GreetingOfThreeCharactersReadsAs220) {
  TRun run(Join({{"", {"220\r\n"}}, {Ehlo(), {"250\r\n"}}}, Delivery("MAIL FROM:<a@example.org>\r\n")));
  EXPECT_TRUE(run.Send());
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, DotsAtLineStartsAreDoubled) {
  const std::vector<std::string> data = {"Subject: .\r\n", ".\r\n..\r\n.x\r\na.b\r\n.", "."};
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250 x\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
            {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}},
            {"DATA\r\n", {"354 go\r\n"}},
            {"Subject: .\r\n\r\n..\r\n...\r\n..x\r\na.b\r\n..\r\n..\r\n.\r\n", {"250 ok\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  EXPECT_TRUE(run.Send("mail.example.org", "", "", "b@example.org", data));
  run.State->ExpectFinished();
}

// Regression: a bare LF followed by "." would end the data early on servers
// that accept LF as a line end, letting message text be read as commands.
TEST(SmtpDialogue, LoneLineEndsInTheDataAreSentAsCrLf) {
  const std::vector<std::string> data = {"A: 1\nB: 2\r\n", "x\n.\nMAIL FROM:<evil@x>\ry\r"};
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250 x\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
            {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}},
            {"DATA\r\n", {"354 go\r\n"}},
            {"A: 1\r\nB: 2\r\n\r\nx\r\n..\r\nMAIL FROM:<evil@x>\r\ny\r\n\r\n.\r\n", {"250 ok\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  EXPECT_TRUE(run.Send("mail.example.org", "", "", "b@example.org", data));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, LargeDataArrivesWholeAcrossChunks) {
  std::string body;
  for (int i = 0; i < 20000; ++i) body += (i % 7 == 0 ? ".line " : "line ") + std::to_string(i) + "\r\n";
  std::string wire = "H: v\r\n\r\n";
  for (int i = 0; i < 20000; ++i) wire += (i % 7 == 0 ? "..line " : "line ") + std::to_string(i) + "\r\n";
  wire += "\r\n.\r\n";
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250 x\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
            {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}},
            {"DATA\r\n", {"354 go\r\n"}},
            {wire, {"250 ok\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
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

TEST(SmtpDialogue, ReplyLostAfterGreetingStillEndsWithQuit) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250 x\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {}},
            {"QUIT\r\n", {}}});
  EXPECT_FALSE(run.Send());
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
  TRun trimmed(Join({{"", {"220 ready\r\n"}}, {Ehlo(), {"250 x\r\n"}}},
                    Delivery("MAIL FROM:<a@example.org>\r\n")));
  EXPECT_TRUE(trimmed.Send("mail.example.org", "", "", "\r\n b@example.org\t\r\n"));
  trimmed.State->ExpectFinished();
}

TEST(SmtpDialogue, StarttlsUpgradesAndAsksForCapabilitiesAgainBeforeAuth) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250-STARTTLS\r\n250 SIZE 100\r\n"}},
                 {"STARTTLS\r\n", {"220 2.0.0 go ahead\r\n"}},
                 {"<TLS>" + Ehlo(), {"250-x\r\n250 AUTH LOGIN\r\n"}},
                 {"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
                 {SmtpBase64Encode("hans") + "\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
                 {SmtpBase64Encode("geheim") + "\r\n", {"235 ok\r\n"}}},
                // SIZE was only offered before TLS, so it is not used.
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

// A refused STARTTLS leaves no encrypted way for the password: the
// session goes on in clear without AUTH, even where clear text is allowed,
// and the server's answer to the envelope decides.
TEST(SmtpDialogue, StarttlsRefusedGoesOnInClearWithoutThePassword) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250-x\r\n250-AUTH LOGIN\r\n250 STARTTLS\r\n"}},
            {"STARTTLS\r\n", {"454 4.7.0 TLS not available\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"530 5.7.0 Authentication required\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  run.AllowPlain();
  const TSendResult result = SendRawMailWithReason("a@example.org", "b@example.org", "mail.example.org", kData,
                                                   "hans", "geheim", run.Options);
  EXPECT_FALSE(result.Delivered);
  EXPECT_EQ(result.Reason,
            "Server lehnt die Verschl\xFCsselung ab (454 4.7.0 TLS not available), Passwort nicht gesendet; "
            "530 5.7.0 Authentication required");
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, FailedHandshakeEndsWithoutAnotherWord) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}},
            {"STARTTLS\r\n", {"220 go ahead\r\n"}}});
  run.State->TlsWorks = false;
  EXPECT_FALSE(run.Send("mail.example.org", "hans", "geheim"));
  EXPECT_EQ(run.State->Next, run.State->Steps.size());
  EXPECT_EQ(run.State->Pending, "<TLS>");  // neither QUIT nor credentials after it
}

TEST(SmtpDialogue, Port465SpeaksTlsFromTheFirstByte) {
  TRun run(Join({{"<TLS>", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250 AUTH LOGIN\r\n"}},
                 {"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
                 {SmtpBase64Encode("hans") + "\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
                 {SmtpBase64Encode("geheim") + "\r\n", {"235 ok\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  EXPECT_TRUE(run.Send("mail.example.org:465", "hans", "geheim"));
  run.State->ExpectFinished();

  TRun broken({});
  broken.State->TlsWorks = false;
  EXPECT_FALSE(broken.Send("mail.example.org:465"));
  EXPECT_EQ(broken.State->Pending, "<TLS>");
}

TEST(SmtpDialogue, NoStarttlsOfferedAfterTlsIsNotAskedTwice) {
  // A server that (wrongly) still lists STARTTLS after the upgrade.
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}},
                 {"STARTTLS\r\n", {"220 go ahead\r\n"}},
                 {"<TLS>" + Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  EXPECT_TRUE(run.Send());
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, OverlongReplyLineEndsTheSession) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250-x\r\n250 y\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n",
             {"250 " + std::string(40000, 'a'), std::string(40000, 'b')}}});
  EXPECT_FALSE(run.Send());
  run.State->ExpectFinished();
  EXPECT_TRUE(run.State->Closed);
}

TEST(SmtpDialogue, EndlessMultiLineReplyEndsTheSession) {
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "250-capability\r\n";
  TRun run({{"", {"220 ready\r\n"}}, {Ehlo(), {many}}});
  EXPECT_FALSE(run.Send());
  run.State->ExpectFinished();
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

namespace {

// "\0hans\0geheim" in base64.
const std::string kPlainHans = SmtpBase64Encode(std::string("\0hans\0geheim", 12));

} // namespace

TEST(SmtpDialogue, PlainAloneIsUsedWithTheInitialResponse) {
  ASSERT_EQ(kPlainHans, "AGhhbnMAZ2VoZWlt");
  TRun run(Join({{"", {"220 dovecot ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250-AUTH PLAIN\r\n250 8BITMIME\r\n"}},
                 {"AUTH PLAIN AGhhbnMAZ2VoZWlt\r\n", {"235 2.7.0 Logged in.\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, PlainComesLastAfterCramMd5AndLoginFailed) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250 AUTH PLAIN LOGIN CRAM-MD5\r\n"}},
                 {"AUTH CRAM-MD5\r\n", {"334 PDEyMzRAZXhhbXBsZT4=\r\n"}},
                 {SmtpBase64Encode(SmtpCramMd5Response("hans", "geheim", "<1234@example>")) + "\r\n",
                  {"535 5.7.8 no\r\n"}},
                 {"AUTH LOGIN\r\n", {"504 5.5.4 not here\r\n"}},
                 {"AUTH PLAIN " + kPlainHans + "\r\n", {"235 ok\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, PlainIsNotTriedAfterASuccessfulLogin) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250 AUTH PLAIN LOGIN\r\n"}},
                 {"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
                 {SmtpBase64Encode("hans") + "\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
                 {SmtpBase64Encode("geheim") + "\r\n", {"235 ok\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, PlainAnswersAnEmptyChallengeWithTheSameResponse) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250 AUTH=PLAIN\r\n"}},
                 {"AUTH PLAIN " + kPlainHans + "\r\n", {"334 \r\n"}},
                 {kPlainHans + "\r\n", {"235 ok\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, RefusedPlainLeavesTheVerdictToTheServerAndSaysWhy) {
  TRun run({{"", {"220 ready\r\n"}},
            {Ehlo(), {"250-x\r\n250 AUTH PLAIN\r\n"}},
            {"AUTH PLAIN " + kPlainHans + "\r\n", {"535 5.7.8 Authentication failed\r\n"}},
            {"MAIL FROM:<a@example.org>\r\n", {"530 5.7.0 Authentication required\r\n"}},
            {"QUIT\r\n", {"221 bye\r\n"}}});
  run.AllowPlain();
  const TSendResult result = SendRawMailWithReason("a@example.org", "b@example.org", "mail.example.org", kData,
                                                   "hans", "geheim", run.Options);
  EXPECT_FALSE(result.Delivered);
  EXPECT_EQ(result.Reason,
            "Anmeldung abgelehnt (535 5.7.8 Authentication failed); 530 5.7.0 Authentication required");
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, PlainOnlyAsAWordOfItsOwn) {
  // Methods whose names merely contain PLAIN are not PLAIN.
  for (const char* offered : {"250 AUTH X-PLAINTEXT\r\n", "250 AUTH PLAINX XPLAIN\r\n"}) {
    TRun run(Join({{"", {"220 ready\r\n"}}, {Ehlo(), {"250-x\r\n", offered}}},
                  Delivery("MAIL FROM:<a@example.org>\r\n")));
    run.AllowPlain();
    EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim")) << offered;
    EXPECT_EQ(run.Trust.Calls, std::vector<std::string>{}) << offered;
    run.State->ExpectFinished();
  }
}

TEST(SmtpDialogue, PlainIsNotSaidWithANulInTheCredentials) {
  // A NUL would shift the fields and log in as someone else.
  TRun run(Join({{"", {"220 ready\r\n"}}, {Ehlo(), {"250-x\r\n250 AUTH PLAIN\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  run.AllowPlain();
  EXPECT_TRUE(run.Send("mail.example.org", "hans", std::string("ge\0heim", 7)));
  run.State->ExpectFinished();
}

TEST(SmtpDialogue, PlainInsideTlsNeedsNoConsent) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}},
                 {"STARTTLS\r\n", {"220 go ahead\r\n"}},
                 {"<TLS>" + Ehlo(), {"250-x\r\n250 AUTH PLAIN\r\n"}},
                 {"AUTH PLAIN " + kPlainHans + "\r\n", {"235 ok\r\n"}}},
                Delivery("MAIL FROM:<a@example.org>\r\n")));
  EXPECT_TRUE(run.Send("mail.example.org", "hans", "geheim"));
  for (const std::string& call : run.Trust.Calls) EXPECT_NE(call.substr(0, 6), "plain?") << call;
  run.State->ExpectFinished();
}
