// What the client says and withholds when the server, or someone between,
// is not to be trusted: no password without TLS unless allowed, no
// password to a server that dropped STARTTLS, certificates judged only
// where a password is at stake, no HELO after a silent EHLO, bounded
// replies, cancellation at once, and a reason for every failure. Played
// against the scripted server, byte for byte.
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

std::string Helo() { return "HELO" + Ehlo().substr(4); }

const std::vector<std::string> kData = {"Subject: x\r\n", "Hallo"};
const std::string kWireData = "Subject: x\r\n\r\nHallo\r\n.\r\n";
const std::string kKey = "mail.example.org:25";

struct TRun : TScriptedRun {
  std::atomic<bool> Cancel{false};
  explicit TRun(std::vector<TScriptStep> steps) : TScriptedRun(std::move(steps)) { Options.Cancel = &Cancel; }
  TSendResult Send(const std::string& user = "hans", const std::string& password = "geheim",
                   const std::string& server = "mail.example.org") {
    return SendRawMailWithReason("a@example.org", "b@example.org", server, kData, user, password, Options);
  }
};

std::vector<TScriptStep> Delivery() {
  return {{"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
          {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}},
          {"DATA\r\n", {"354 go\r\n"}},
          {kWireData, {"250 queued\r\n"}},
          {"QUIT\r\n", {"221 bye\r\n"}}};
}

std::vector<TScriptStep> LoginInside(const std::string& tls = "") {
  return {{tls + "AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
          {Base64Encode("hans") + "\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
          {Base64Encode("geheim") + "\r\n", {"235 ok\r\n"}}};
}

// The greeting and an EHLO that offers both methods and no STARTTLS.
std::vector<TScriptStep> PlainServer() {
  return {{"", {"220 ready\r\n"}}, {Ehlo(), {"250-x\r\n250 AUTH CRAM-MD5 LOGIN\r\n"}}};
}

// Greeting, EHLO with STARTTLS, the upgrade and the EHLO inside TLS.
std::vector<TScriptStep> TlsServer() {
  return {{"", {"220 ready\r\n"}},
          {Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}},
          {"STARTTLS\r\n", {"220 go ahead\r\n"}},
          {"<TLS>" + Ehlo(), {"250-x\r\n250 AUTH LOGIN\r\n"}}};
}

} // namespace

// Regression: AUTH LOGIN went to a server that left STARTTLS out of its
// EHLO reply, the password readable by anyone on the way; then the
// envelope and the message went in clear without any login. With
// credentials and no TLS the session ends before the envelope unless the
// user allowed clear text for the server; a server that offers STARTTLS
// and refuses it, or offered it before, ends it even then (downgrade).
TEST(SmtpSecurity, CredentialsWithoutTlsEndTheSessionBeforeTheEnvelope) {
  const std::string none = "Der Server bietet keine Verschl\xFCsselung an";
  const std::string notSent = "Nachricht mit Anmeldedaten nicht gesendet";
  const std::vector<TScriptStep> refusedTls = {{"", {"220 ready\r\n"}},
                                              {Ehlo(), {"250-x\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n"}},
                                              {"STARTTLS\r\n", {"454 4.7.0 TLS not available\r\n"}}};
  struct Case {
    const char* Name;
    std::vector<TScriptStep> Hello;
    bool Seen, Allowed;
    std::vector<TScriptStep> Rest;
    std::string Reason;  // "" : delivered
    std::vector<std::string> Calls;
  } cases[] = {
      {"no STARTTLS", PlainServer(), false, false, {Quit()}, none + "; " + notSent,
       {"seen? " + kKey, "plain? " + kKey}},
      {"PLAIN alone", {{"", {"220 ready\r\n"}}, {Ehlo(), {"250-x\r\n250 AUTH PLAIN\r\n"}}}, false, false,
       {Quit()}, none + "; " + notSent, {"seen? " + kKey, "plain? " + kKey}},
      {"no known method", {{"", {"220 ready\r\n"}}, {Ehlo(), {"250-x\r\n250 AUTH XOAUTH2 GSSAPI\r\n"}}}, false,
       false, {Quit()}, none + "; " + notSent, {"seen? " + kKey, "plain? " + kKey}},
      {"HELO only", {{"", {"220 ready\r\n"}}, {Ehlo(), {"500 what\r\n"}}, {Helo(), {"250 x\r\n"}}}, false, false,
       {Quit()}, none + "; " + notSent, {"seen? " + kKey, "plain? " + kKey}},
      {"STARTTLS refused, clear text allowed", refusedTls, false, true, {Quit()},
       none + " (STARTTLS abgelehnt: 454 4.7.0 TLS not available); " + notSent, {"note " + kKey}},
      {"STARTTLS seen before, clear text allowed", PlainServer(), true, true, {Quit()},
       none + " (STARTTLS fehlt, obwohl er es fr\xFCher angeboten hat); " + notSent, {"seen? " + kKey}},
      {"clear text allowed, no known method", {{"", {"220 ready\r\n"}}, {Ehlo(), {"250-x\r\n250 AUTH GSSAPI\r\n"}}},
       false, true, Delivery(), "", {"seen? " + kKey, "plain? " + kKey}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TRun run(Join(c.Hello, c.Rest));
    if (c.Seen) run.Trust.Seen.insert(kKey);
    run.Trust.PlainAllowed = c.Allowed;
    const TSendResult r = run.Send();
    EXPECT_EQ(r.Delivered, c.Reason.empty());
    EXPECT_EQ(r.Reason, c.Reason);
    EXPECT_EQ(run.Trust.Calls, c.Calls);
    run.State->ExpectFinished();
  }
}

TEST(SmtpSecurity, ClearTextConsentSendsTheMethodsInTheirOrder) {
  TRun run(Join(Join(PlainServer(),
                     {{"AUTH CRAM-MD5\r\n", {"535 no\r\n"}}}),
                Join(LoginInside(), Delivery())));
  run.Trust.PlainAllowed = true;
  EXPECT_TRUE(run.Send().Delivered);
  run.State->ExpectFinished();
}

TEST(SmtpSecurity, StarttlsOfferedIsNotedForTheServer) {
  TRun run(Join(Join(TlsServer(), LoginInside()), Delivery()));
  EXPECT_TRUE(run.Send("hans", "geheim", " Mail.Example.ORG : smtp ").Delivered);
  EXPECT_EQ(run.Trust.Calls, std::vector<std::string>{"note " + kKey});
  run.State->ExpectFinished();

  // Without credentials too: a later account with a password is protected.
  TRun plain(Join(TlsServer(), Delivery()));
  EXPECT_TRUE(plain.Send("", "").Delivered);
  EXPECT_EQ(plain.Trust.Calls, std::vector<std::string>{"note " + kKey});
}

TEST(SmtpSecurity, RefusedStarttlsWithoutCredentialsGoesOnInClear) {
  TRun run(Join({{"", {"220 ready\r\n"}},
                 {Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}},
                 {"STARTTLS\r\n", {"454 4.7.0 TLS not available due to local problem\r\n"}}},
                Delivery()));
  EXPECT_TRUE(run.Send("", "").Delivered);
  run.State->ExpectFinished();
}

TEST(SmtpSecurity, UnverifiedCertificateWithoutCredentialsCarriesTheMessage) {
  for (TCertProblem problem : {TCertProblem::Untrusted, TCertProblem::Expired, TCertProblem::OtherName}) {
    TRun run(Join({{"", {"220 ready\r\n"}},
                   {Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}},
                   {"STARTTLS\r\n", {"220 go ahead\r\n"}},
                   {"<TLS>" + Ehlo(), {"250 x\r\n"}}},
                  Delivery()));
    run.State->Certificate.Problem = problem;
    EXPECT_TRUE(run.Send("", "").Delivered);
    EXPECT_EQ(run.Trust.Calls, std::vector<std::string>{"note " + kKey});
    run.State->ExpectFinished();
  }
}

TEST(SmtpSecurity, UnverifiedCertificateWithCredentialsEndsBeforeAuthWithItsReason) {
  const struct {
    TCertProblem problem;
    const char* reason;
  } rows[] = {{TCertProblem::Untrusted, "Zertifikat nicht vertrauensw\xFCrdig"},
              {TCertProblem::Expired, "Zertifikat abgelaufen"},
              {TCertProblem::OtherName, "Zertifikat gilt f\xFCr einen anderen Namen"}};
  for (const auto& row : rows) {
    TRun run({{"", {"220 ready\r\n"}},
              {Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}},
              {"STARTTLS\r\n", {"220 go ahead\r\n"}},
              {"<TLS>QUIT\r\n", {"221 bye\r\n"}}});
    run.State->Certificate.Problem = row.problem;
    const TSendResult r = run.Send();
    EXPECT_FALSE(r.Delivered);
    EXPECT_EQ(r.Reason, row.reason);
    const std::string fingerprint(64, 'c');
    EXPECT_EQ(run.Trust.Calls, (std::vector<std::string>{"note " + kKey, "cert? " + kKey + " " + fingerprint + " " +
                                                                                 std::to_string(static_cast<int>(row.problem))}));
    run.State->ExpectFinished();
  }
}

TEST(SmtpSecurity, PinnedOrNewlyTrustedCertificateCarriesThePassword) {
  for (bool pinned : {true, false}) {
    TRun run(Join(Join(TlsServer(), LoginInside()), Delivery()));
    run.State->Certificate = {true, std::string(64, 'a'), TCertProblem::Untrusted};
    if (pinned) run.Trust.Pins.insert(kKey + " " + std::string(64, 'a'));
    else run.Trust.TrustAll = true;  // the user says Yes to the question
    EXPECT_TRUE(run.Send().Delivered) << pinned;
    run.State->ExpectFinished();
  }
  // Another certificate than the pinned one is refused.
  TRun other({{"", {"220 ready\r\n"}},
              {Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}},
              {"STARTTLS\r\n", {"220 go ahead\r\n"}},
              {"<TLS>QUIT\r\n", {"221 bye\r\n"}}});
  other.State->Certificate = {true, std::string(64, 'b'), TCertProblem::Untrusted};
  other.Trust.Pins.insert(kKey + " " + std::string(64, 'a'));
  EXPECT_FALSE(other.Send().Delivered);
  other.State->ExpectFinished();
}

TEST(SmtpSecurity, Port465WithARefusedCertificateEndsWithoutAWord) {
  TRun run({});
  run.State->Certificate.Problem = TCertProblem::Untrusted;
  const TSendResult r = run.Send("hans", "geheim", "mail.example.org:465");
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "Zertifikat nicht vertrauensw\xFCrdig");
  EXPECT_EQ(run.State->Pending, "<TLS>");
  EXPECT_EQ(run.Trust.Calls.size(), 1u);

  // Without credentials the same certificate carries the message.
  TRun plain(Join({{"<TLS>", {"220 ready\r\n"}}, {Ehlo(), {"250 x\r\n"}}}, Delivery()));
  plain.State->Certificate.Problem = TCertProblem::Untrusted;
  EXPECT_TRUE(plain.Send("", "", "mail.example.org:465").Delivered);
  plain.State->ExpectFinished();
}

// Regression: after EHLO went unanswered the client said HELO into the
// same silence and waited a second full time-out.
TEST(SmtpSecurity, NoHeloAfterEhloGotNoAnswer) {
  TRun silent({{"", {"220 ready\r\n"}}, {Ehlo(), {}}});
  TSendResult r = silent.Send("", "");
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "keine Antwort vom Server innerhalb von 1 Sekunde");
  silent.State->ExpectFinished();

  TRun closed({{"", {"220 ready\r\n"}}, {Ehlo(), {"<CLOSE>"}}});
  r = closed.Send("", "");
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "Server hat die Verbindung beendet");
  closed.State->ExpectFinished();

  // A refusal is an answer: HELO follows.
  TRun refused(Join({{"", {"220 ready\r\n"}}, {Ehlo(), {"502 no\r\n"}}, {Helo(), {"250 old\r\n"}}}, Delivery()));
  EXPECT_TRUE(refused.Send("", "").Delivered);
  refused.State->ExpectFinished();
}

TEST(SmtpSecurity, ReplyUpToOneMebibyteIsReadAndOneByteMoreEndsTheSession) {
  // 16 lines: 15 of 65,534 bytes and a last one that fills the mebibyte,
  // every line counted with its CR LF.
  std::vector<std::string> lines;
  size_t total = 0;
  for (int i = 0; i < 15; ++i) {
    lines.push_back("250-" + std::string(65530, 'x'));
    total += lines.back().size() + 2;
  }
  const std::string last = "250 " + std::string(TSMTPSend::MaxReplyBytes - total - 2 - 4, 'y');
  for (int extra : {0, 1}) {
    std::string wire;
    for (const std::string& l : lines) wire += l + "\r\n";
    wire += last + std::string(static_cast<size_t>(extra), 'y') + "\r\n";
    if (extra == 0) {
      TRun run(Join({{"", {"220 ready\r\n"}}, {Ehlo(), {wire}}}, Delivery()));
      EXPECT_TRUE(run.Send("", "").Delivered);
      run.State->ExpectFinished();
    } else {
      TRun run({{"", {"220 ready\r\n"}}, {Ehlo(), {wire}}});
      const TSendResult r = run.Send("", "");
      EXPECT_FALSE(r.Delivered);
      EXPECT_EQ(r.Reason, "Antwort des Servers zu gro\xDF");
      EXPECT_TRUE(run.State->Closed);
      run.State->ExpectFinished();
    }
  }
}

TEST(SmtpSecurity, CancelWhileWaitingEndsAtOnceWithoutQuit) {
  // The user cancels while the client waits for each reply in turn, up to
  // the one for the end of the data.
  const std::vector<TScriptStep> steps = Join(Join(TlsServer(), LoginInside()), Delivery());
  for (size_t at = 0; steps[at].Client != kWireData; ++at) {
    TRun run(steps);
    run.State->BeforeStep = [&run, at](size_t step) {
      if (step == at) run.Cancel = true;
    };
    const TSendResult r = run.Send();
    EXPECT_FALSE(r.Delivered) << at;
    EXPECT_TRUE(r.Cancelled) << at;
    EXPECT_EQ(r.Reason, "vom Benutzer abgebrochen") << at;
    // Nothing more went out: the step's bytes were the last.
    EXPECT_EQ(run.State->Next, at) << at;
    EXPECT_EQ(run.State->Pending, steps[at].Client) << at;
    EXPECT_TRUE(run.State->Closed) << at;
  }
}

TEST(SmtpSecurity, CancelAfterTheEndOfTheDataWaitsForTheVerdict) {
  const std::vector<TScriptStep> steps = Join(PlainServer(), Delivery());
  TRun run(steps);
  run.State->BeforeStep = [&run, &steps](size_t step) {
    if (steps[step].Client == kWireData) run.Cancel = true;
  };
  const TSendResult r = run.Send("", "");
  EXPECT_TRUE(r.Delivered);
  EXPECT_FALSE(r.Cancelled);
  run.State->ExpectFinished();
}

TEST(SmtpSecurity, CancelBeforeConnectingSendsNothing) {
  TRun run({});
  run.Cancel = true;
  const TSendResult r = run.Send();
  EXPECT_TRUE(r.Cancelled);
  EXPECT_EQ(run.State->Connects, 0);
}

TEST(SmtpSecurity, EveryFailureHasItsReason) {
  const struct {
    const char* name;
    std::vector<TScriptStep> steps;
    int connectError;
    bool tlsWorks;
    const char* reason;
    // What the run learns besides: no session could be opened, the code
    // of the refusing reply, the end of the data went out.
    bool connectFailed = false;
    int code = 0;
    bool dataEnd = false;
  } rows[] = {
      {"host unknown", {}, TBlockSocket::ErrResolve, true, "Server \"mail.example.org\" nicht gefunden", true, 0},
      {"refused", {}, ECONNREFUSED, true, "Verbindung zu mail.example.org:25 abgelehnt", true, 0},
      {"unreachable", {}, ENETUNREACH, true, "Server mail.example.org:25 nicht erreichbar", true, 0},
      {"silent greeting", {{"", {}}}, 0, true, "keine Antwort vom Server innerhalb von 1 Sekunde", true, 0},
      {"greeting refused", {{"", {"554 5.3.2 no service here\r\n"}}}, 0, true, "554 5.3.2 no service here", true, 554},
      {"gibberish", {{"", {"hello?\r\n"}}}, 0, true, "unverst\xE4ndliche Antwort des Servers: hello?", true, 0},
      {"closed", {{"", {"220 ready\r\n"}}, {Ehlo(), {"250 x\r\n"}}, {"MAIL FROM:<a@example.org>\r\n", {"<CLOSE>"}}},
       0, true, "Server hat die Verbindung beendet", false, 0},
      {"EHLO and HELO refused",
       {{"", {"220 ready\r\n"}}, {Ehlo(), {"500 no\r\n"}}, {Helo(), {"501 5.5.4 not you\r\n"}}}, 0, true,
       "501 5.5.4 not you", true, 501},
      {"handshake", {{"", {"220 ready\r\n"}}, {Ehlo(), {"250-x\r\n250 STARTTLS\r\n"}}, {"STARTTLS\r\n", {"220 go\r\n"}}}, 0,
       false, "TLS-Verbindung fehlgeschlagen", true, 0},
      {"sender",
       {{"", {"220 ready\r\n"}}, {Ehlo(), {"250 x\r\n"}},
        {"MAIL FROM:<a@example.org>\r\n", {"553 5.7.1 <a@example.org>: Sender address rejected\r\n"}},
        {"QUIT\r\n", {"221 bye\r\n"}}},
       0, true, "553 5.7.1 <a@example.org>: Sender address rejected", false, 553},
      {"recipient",
       {{"", {"220 ready\r\n"}}, {Ehlo(), {"250 x\r\n"}}, {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
        {"RCPT TO:<b@example.org>\r\n", {"550-5.1.1 first\r\n550 5.1.1 <b@example.org>: Recipient address rejected\r\n"}},
        {"QUIT\r\n", {"221 bye\r\n"}}},
       0, true, "550 5.1.1 <b@example.org>: Recipient address rejected", false, 550},
      {"data",
       {{"", {"220 ready\r\n"}}, {Ehlo(), {"250 x\r\n"}}, {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
        {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}}, {"DATA\r\n", {"554 5.5.1 no valid recipients\r\n"}},
        {"QUIT\r\n", {"221 bye\r\n"}}},
       0, true, "554 5.5.1 no valid recipients", false, 554},
      {"message",
       {{"", {"220 ready\r\n"}}, {Ehlo(), {"250 x\r\n"}}, {"MAIL FROM:<a@example.org>\r\n", {"250 ok\r\n"}},
        {"RCPT TO:<b@example.org>\r\n", {"250 ok\r\n"}}, {"DATA\r\n", {"354 go\r\n"}},
        {kWireData, {"552 5.3.4 \x01too big\r\n"}}, {"QUIT\r\n", {"221 bye\r\n"}}},
       0, true, "552 5.3.4  too big", false, 552, true},
  };
  for (const auto& row : rows) {
    TRun run(row.steps);
    run.State->ConnectError = row.connectError;
    run.State->TlsWorks = row.tlsWorks;
    const TSendResult r = run.Send("", "");
    EXPECT_FALSE(r.Delivered) << row.name;
    EXPECT_FALSE(r.Cancelled) << row.name;
    EXPECT_EQ(r.Reason, row.reason) << row.name;
    EXPECT_EQ(r.ConnectFailed, row.connectFailed) << row.name;
    EXPECT_EQ(r.ReplyCode, row.code) << row.name;
    EXPECT_EQ(r.DataEndSent, row.dataEnd) << row.name;
    EXPECT_FALSE(r.LoginRefused) << row.name;
  }
}

TEST(SmtpSecurity, RefusedAuthenticationIsNamedBeforeTheServersVerdict) {
  TRun run(Join(TlsServer(), {{"AUTH LOGIN\r\n", {"334 VXNlcm5hbWU6\r\n"}},
                              {Base64Encode("hans") + "\r\n", {"334 UGFzc3dvcmQ6\r\n"}},
                              {Base64Encode("geheim") + "\r\n", {"535 5.7.8 Authentication failed\r\n"}},
                              {"MAIL FROM:<a@example.org>\r\n", {"530 5.7.0 Authentication required\r\n"}},
                              {"QUIT\r\n", {"221 bye\r\n"}}}));
  const TSendResult r = run.Send();
  EXPECT_EQ(r.Reason,
            "Anmeldung abgelehnt (535 5.7.8 Authentication failed); 530 5.7.0 Authentication required");
  // Every further message would be refused the same way.
  EXPECT_TRUE(r.LoginRefused);
  EXPECT_FALSE(r.ConnectFailed);
  run.State->ExpectFinished();
}

TEST(SmtpSecurity, LongReplyLinesAreCutInTheReason) {
  const std::string line = "550 " + std::string(300, 'z');
  TRun run({{"", {line + "\r\n"}}});
  EXPECT_EQ(run.Send("", "").Reason, line.substr(0, 200) + "...");
}

TEST(SmtpSecurity, ServerKeyNamesHostAndPortNumber) {
  const struct {
    const char* server;
    const char* key;
  } rows[] = {{"mail.example.org", "mail.example.org:25"},   {" Mail.Example.ORG ", "mail.example.org:25"},
              {"mail.example.org:587", "mail.example.org:587"}, {"mail.example.org:0587", "mail.example.org:587"},
              {"mail.example.org:submission", "mail.example.org:587"}, {"mail.example.org:smtps", "mail.example.org:465"},
              {"[2001:DB8::25]:2525", "[2001:db8::25]:2525"},  {"::1", "[::1]:25"},
              {"127.0.0.1:2525", "127.0.0.1:2525"}};
  for (const auto& row : rows) EXPECT_EQ(ServerKeyOf(row.server), row.key) << row.server;
}

TEST(SmtpSecurity, FingerprintsAreShownInPairs) {
  EXPECT_EQ(FormatFingerprint("0a1b2c"), "0A:1B:2C");
  EXPECT_EQ(FormatFingerprint(""), "");
}

TEST(SmtpSecurity, TimeLimitsAreNamedAsTheProgramSetsThem) {
  TRun run(std::vector<TScriptStep>{{"", {}}});
  run.Options.ReadTimeout = 60000;  // the scripted server's silence costs no time
  EXPECT_EQ(run.Send("", "").Reason, "keine Antwort vom Server innerhalb von 60 Sekunden");

  auto state = std::make_shared<TScriptState>();
  state->Steps = {{"", {"220 ready\r\n"}}};
  TSMTPSend session(std::make_unique<TScriptedSmtpSocket>(state));
  EXPECT_EQ(session.MessageTimeLimit, 300000);
  session.Sock().SetDeadline(TBlockSocket::TClock::now() - std::chrono::seconds(1));
  EXPECT_FALSE(session.OpenSession());
  EXPECT_EQ(session.FailReason, "keine Antwort vom Server innerhalb des Zeitlimits von 5 Minuten f\xFCr die Nachricht");
  EXPECT_EQ(state->Next, 0u);  // the deadline is checked before any wait
}
