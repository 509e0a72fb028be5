// The login of an account with an OAuth grant, byte for byte against the
// scripted server: the XOAUTH2 line, the error challenge and the one retry
// with a renewed token, and the TLS rules a password has.
#include "core/Base64.h"
#include "smtp/SmtpAuthCrypto.h"
#include "smtp/TSMTPSend.h"
#include "smtp/TSmtpSession.h"
#include "smtp/TTCPBlockSocket.h"
#include "smtp/ScriptedSmtpRun.h"
#include "smtp/ScriptedSmtpSocket.h"
#include "smtp/TestServerTrust.h"

#include <gtest/gtest.h>

using namespace postello;
using namespace postello::test;

namespace {

const std::vector<std::string> kData = {"Subject: x\r\n", "Hallo"};
const std::string kKey = "mail.example.org:587";

// Grants for one account; hands out the tokens in turn and records what
// the session asked.
struct TFakeTokens : TBearerTokens {
  bool Grant = true;
  std::vector<std::string> Issued{"tok-1", "tok-2"};
  size_t Current = 0;
  bool RenewFails = false;
  std::vector<std::string> Calls;

  bool HasGrant(const std::string& account, const std::string& server) override {
    Calls.push_back("has " + account + " " + server);
    return Grant;
  }
  bool AccessToken(const std::string& account, const std::string& server, bool renew, std::string& token,
                   std::string& reason) override {
    Calls.push_back(std::string(renew ? "renew " : "token ") + account + " " + server + (renew ? " " + token : ""));
    if (renew) {
      if (RenewFails) {
        reason = "Anmeldung mit OAuth abgelaufen oder widerrufen (x), bitte melden Sie sich neu an";
        return false;
      }
      ++Current;
    }
    token = Issued.at(Current);
    return true;
  }
};

std::string XOAuth2(const std::string& user, const std::string& token) {
  return "AUTH XOAUTH2 " + Base64Encode("user=" + user + "\x01" "auth=Bearer " + token + "\x01\x01") + "\r\n";
}

struct TRun : TScriptedRun {
  TFakeTokens Tokens;
  explicit TRun(std::vector<TScriptStep> steps) : TScriptedRun(std::move(steps)) { Options.Tokens = &Tokens; }
  TSendResult Send(const std::string& user = "") {
    return SendRawMailWithReason("Versand <versand@example.org>", "b@example.org", "mail.example.org:587", kData,
                                 user, "", Options);
  }
};

std::vector<TScriptStep> TlsServer(const std::string& auth = "250 AUTH LOGIN PLAIN XOAUTH2\r\n") {
  return GreetedThenTls("250-x\r\n250 STARTTLS\r\n", "250-x\r\n" + auth);
}

// The envelope sender refused with answer, then QUIT.
std::vector<TScriptStep> SenderRefused(const std::string& answer = "530 5.7.0 Authentication required\r\n") {
  return {{"MAIL FROM:<versand@example.org>\r\n", {answer}}, Quit()};
}

std::vector<TScriptStep> Delivery() {
  return {{"MAIL FROM:<versand@example.org>\r\n", {"250 ok\r\n"}},
          {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}},
          {"DATA\r\n", {"354 go\r\n"}},
          {"Subject: x\r\n\r\nHallo\r\n.\r\n", {"250 queued\r\n"}},
          Quit()};
}

const std::string kErrorChallenge = "334 eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIn0=\r\n";

} // namespace

TEST(XOAuth2Dialogue, LogsInWithTheTokenInsteadOfAPassword) {
  TRun run(Join(Join(TlsServer(), {{XOAuth2("versand@example.org", "tok-1"), {"235 2.7.0 ok\r\n"}}}), Delivery()));
  const TSendResult r = run.Send();
  EXPECT_TRUE(r.Delivered) << r.Reason;
  EXPECT_EQ(run.Tokens.Calls, (std::vector<std::string>{"has versand@example.org " + kKey,
                                                         "token versand@example.org " + kKey}));
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, TheAccountsUserNameGoesIntoTheLine) {
  TRun run(Join(Join(TlsServer("250 AUTH=XOAUTH2\r\n"), {{XOAuth2("hans@example.org", "tok-1"), {"235 ok\r\n"}}}),
                Delivery()));
  EXPECT_TRUE(run.Send("hans@example.org").Delivered);
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, ErrorChallengeGetsAnEmptyLineThenOneRetryWithARenewedToken) {
  TRun run(Join(Join(TlsServer(), {{XOAuth2("versand@example.org", "tok-1"), {kErrorChallenge}},
                                   {"\r\n", {"535 5.7.8 Username and Password not accepted\r\n"}},
                                   {XOAuth2("versand@example.org", "tok-2"), {"235 ok\r\n"}}}),
                Delivery()));
  EXPECT_TRUE(run.Send().Delivered);
  EXPECT_EQ(run.Tokens.Calls,
            (std::vector<std::string>{"has versand@example.org " + kKey, "token versand@example.org " + kKey,
                                      "renew versand@example.org " + kKey + " tok-1"}));
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, OnlyOneRetry) {
  TRun run(Join(Join(TlsServer(), {{XOAuth2("versand@example.org", "tok-1"), {"535 no\r\n"}},
                                   {XOAuth2("versand@example.org", "tok-2"), {kErrorChallenge}},
                                   {"\r\n", {"535 5.7.8 still no\r\n"}}}),
                SenderRefused()));
  const TSendResult r = run.Send();
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "Anmeldung abgelehnt (535 5.7.8 still no); 530 5.7.0 Authentication required");
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, FailedRenewalEndsTheMessageAskingForANewSignIn) {
  TRun run(Join(TlsServer(), {{XOAuth2("versand@example.org", "tok-1"), {"535 no\r\n"}}, Quit()}));
  run.Tokens.RenewFails = true;
  const TSendResult r = run.Send();
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "Anmeldung mit OAuth abgelaufen oder widerrufen (x), bitte melden Sie sich neu an");
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, NoTokenWithoutTlsUnlessAllowed) {
  TRun run(Join(Greeted({"250-x\r\n250 AUTH XOAUTH2\r\n"}), {Quit()}));
  const TSendResult r = run.Send();
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "Der Server bietet keine Verschl\xFCsselung an; Nachricht mit Anmeldedaten nicht gesendet");
  // The token was never even fetched.
  EXPECT_EQ(run.Tokens.Calls, std::vector<std::string>{"has versand@example.org " + kKey});
  EXPECT_EQ(run.Trust.Calls, (std::vector<std::string>{"seen? " + kKey, "plain? " + kKey}));
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, UntrustedCertificateIsRefusedAsForAPassword) {
  TRun run(Join(Greeted({"250-x\r\n250 STARTTLS\r\n"}),
                {{"STARTTLS\r\n", {"220 go ahead\r\n"}}, {"<TLS>QUIT\r\n", {"221 bye\r\n"}}}));
  run.State->Certificate.Problem = TCertProblem::Untrusted;
  const TSendResult r = run.Send();
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "Zertifikat nicht vertrauensw\xFCrdig");
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, AGrantNeverFallsBackToPasswordMethods) {
  TRun run(Join(TlsServer("250 AUTH LOGIN PLAIN\r\n"), SenderRefused()));
  const TSendResult r = run.Send("hans");
  EXPECT_EQ(r.Reason, "Server bietet keine Anmeldung mit OAuth (XOAUTH2) an; 530 5.7.0 Authentication required");
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, WithoutGrantTheAccountHasNoCredentials) {
  TRun run(Join(Greeted({"250-x\r\n250 AUTH XOAUTH2\r\n"}), Delivery()));
  run.Tokens.Grant = false;
  EXPECT_TRUE(run.Send().Delivered);
  EXPECT_EQ(run.Tokens.Calls, std::vector<std::string>{"has versand@example.org " + kKey});
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, ATokenWithALineEndIsNotSent) {
  TRun run(Join(TlsServer(), SenderRefused()));
  run.Tokens.Issued = {"tok\r\nRSET", "tok\nRSET"};
  EXPECT_FALSE(run.Send().Delivered);
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, AReplyEchoingTheTokenDoesNotPutItInTheReason) {
  TRun run(Join(Join(TlsServer(), {{XOAuth2("versand@example.org", "tok-1"), {"535 bad token tok-1\r\n"}},
                                   {XOAuth2("versand@example.org", "tok-2"), {"535 bad token tok-2\r\n"}}}),
                SenderRefused("530 auth\r\n")));
  const TSendResult r = run.Send();
  EXPECT_EQ(r.Reason, "Anmeldung abgelehnt (535 bad token ***); 530 auth");
  run.State->ExpectFinished();
}

TEST(XOAuth2Dialogue, AReusedConnectionLogsInOnceForSeveralMessages) {
  TRun run(Join(TlsServer(), {{XOAuth2("versand@example.org", "tok-1"), {"235 ok\r\n"}}}));
  for (int n = 0; n < 2; ++n) {
    const std::vector<TScriptStep> delivery = Delivery();
    run.State->Steps.insert(run.State->Steps.end(), delivery.begin(), delivery.end() - 1);
  }
  run.State->Steps.push_back(Quit());
  TSmtpSession session(run.Options, 5);
  for (int n = 0; n < 2; ++n) {
    TOutgoingMail mail;
    mail.Index = n;
    mail.Sender = "Versand <versand@example.org>";
    mail.Recipients = "b@example.org";
    mail.Server = "mail.example.org:587";
    mail.Data = kData;
    const TSendResult r = session.Deliver(mail);
    EXPECT_TRUE(r.Delivered) << n << ": " << r.Reason;
  }
  session.Close();
  EXPECT_EQ(session.Connections(), 1);
  EXPECT_EQ(run.Tokens.Calls, (std::vector<std::string>{"has versand@example.org " + kKey,
                                                         "token versand@example.org " + kKey}));
  run.State->ExpectFinished();
}
