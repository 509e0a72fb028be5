// The real client (TTCPBlockSocket, OpenSSL) against servers that are not
// to be trusted: one that offers no TLS to an account with a password, one
// that drops STARTTLS after having offered it, certificates that fail the
// check, a server that stalls, one that trickles, and one whose EHLO reply
// would fill memory. What the client said is read from the server's
// transcript.
#include "core/Base64.h"
#include "smtp/TSMTPSend.h"
#include "send/TSendPacer.h"
#include "smtp/TSmtpSession.h"
#include "smtp/TStoredServerTrust.h"
#include "smtp/TestServerTrust.h"
#include "smtp/SmtpAuthCrypto.h"
#include "smtp/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace postello;
using postello::test::MakeCertificate;
using postello::test::MakeExpiredCertificate;
using postello::test::OpensslFingerprint;
using postello::test::HostileTranscripts;
using postello::test::Occurrences;
using postello::test::ReadFileBytes;
using postello::test::TSmtpTestServer;
using postello::test::TTempDir;

namespace {

const std::vector<std::string> kData = {"Subject: Test\r\n", "Hallo"};

std::string Server(int port, const std::string& host = "127.0.0.1") {
  return host + ":" + std::to_string(port);
}

TSmtpTestServer Hostile(const std::string& mode, std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"--mode", mode};
  args.insert(args.end(), more.begin(), more.end());
  return TSmtpTestServer(args, "hostile_smtp_server.py");
}

// Connection n's transcript, once the server is done with it.
std::string Transcript(const TSmtpTestServer& server, int n) {
  const auto path = server.Spool() / ("conn-" + std::to_string(n) + ".txt");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string text;
  while (std::chrono::steady_clock::now() < deadline) {
    text = ReadFileBytes(path);
    if (text.find("<END>") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return text;
}

// A certificate for 127.0.0.1 in certs, trusted by the client while the
// object lives; ServerArgs() hands it to the hostile server.
class TTrust {
public:
  explicit TTrust(const std::filesystem::path& file) { setenv("SSL_CERT_FILE", file.c_str(), 1); }
  explicit TTrust(const TTempDir& certs) : mDir(certs.Path()) {
    MakeCertificate(mDir, "IP:127.0.0.1");
    setenv("SSL_CERT_FILE", (mDir / "cert.pem").c_str(), 1);
  }
  ~TTrust() { unsetenv("SSL_CERT_FILE"); }
  std::vector<std::string> ServerArgs() const {
    return {"--cert", (mDir / "cert.pem").string(), "--key", (mDir / "key.pem").string()};
  }

private:
  std::filesystem::path mDir;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

// Regression: the envelope and the whole message went in clear, without
// AUTH, and the message counted as sent where the server took it.
TEST(SmtpHostileServer, NoStarttlsWithCredentialsPutsNothingOfTheMessageOnTheWire) {
  TSmtpTestServer server = Hostile("no-starttls");
  ASSERT_NE(server.Port(), 0);
  TTempDir data;
  TStoredServerTrust trust(data.Path().string() + "/");
  TSMTPSendOptions options;
  options.Trust = &trust;
  const TSendResult r = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData,
                                              "hans", "geheim", options);
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "Der Server bietet keine Verschl\xFCsselung an; Nachricht mit Anmeldedaten nicht gesendet");
  const std::string wire = Transcript(server, 1);
  EXPECT_EQ(wire.find("AUTH"), std::string::npos) << wire;
  EXPECT_EQ(wire.find(Base64Encode("geheim")), std::string::npos) << wire;
  EXPECT_EQ(wire.find("MAIL"), std::string::npos) << wire;
  EXPECT_NE(wire.find("\nQUIT\n<END>\n"), std::string::npos) << wire;

  // With the user's consent the password goes, once asked for.
  int asked = 0;
  trust.Ask = [&](const std::string&) {
    ++asked;
    return true;
  };
  SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData, "hans", "geheim", options);
  SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData, "hans", "geheim", options);
  EXPECT_EQ(asked, 1);
  EXPECT_NE(Transcript(server, 2).find("\nAUTH CRAM-MD5\n"), std::string::npos) << Transcript(server, 2);
  EXPECT_NE(Transcript(server, 3).find("\nAUTH CRAM-MD5\n"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(data.Path() / "sicherheit.dat"),
            "Postello sicherheit.dat 1\n127.0.0.1:" + std::to_string(server.Port()) + " klartext\n");
}

TEST(SmtpHostileServer, ServerThatDropsStarttlsAfterOfferingItGetsNoPassword) {
  TTempDir certs;
  TTrust system(certs);
  TSmtpTestServer server = Hostile("drop-starttls", system.ServerArgs());
  ASSERT_NE(server.Port(), 0);
  TTempDir data;
  TStoredServerTrust trust(data.Path().string() + "/");
  int asked = 0;
  trust.Ask = [&](const std::string&) {
    ++asked;
    return true;
  };
  TSMTPSendOptions options;
  options.Trust = &trust;
  options.ReadTimeout = 10000;
  EXPECT_TRUE(SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData, "hans",
                                    "geheim", options).Delivered);
  EXPECT_NE(Transcript(server, 1).find("STARTTLS\n<TLS>\nEHLO"), std::string::npos) << Transcript(server, 1);

  // The same server (host and port) without STARTTLS: a man in the middle
  // who strips it gets no password, and nobody is asked.
  const TSendResult r = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData,
                                              "hans", "geheim", options);
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason.rfind("Der Server bietet keine Verschl\xFCsselung an (STARTTLS fehlt, ", 0), 0u) << r.Reason;
  const std::string wire = Transcript(server, 2);
  EXPECT_EQ(wire.find("AUTH"), std::string::npos) << wire;
  EXPECT_EQ(wire.find("MAIL"), std::string::npos) << wire;
  EXPECT_EQ(asked, 0);
  // Remembered beyond this run.
  TStoredServerTrust later(data.Path().string() + "/");
  EXPECT_TRUE(later.StartTlsSeen("127.0.0.1:" + std::to_string(server.Port())));
}

// The same on reused connections and two sessions at once: only the one
// connection that had TLS carries anything of a message.
TEST(SmtpHostileServer, StrippedStarttlsMidRunAndInParallelSessionsGetsNoMessage) {
  TTempDir certs;
  TTrust system(certs);
  TSmtpTestServer server = Hostile("drop-starttls", system.ServerArgs());
  ASSERT_NE(server.Port(), 0);
  TTempDir data;
  TStoredServerTrust trust(data.Path().string() + "/");
  TSMTPSendOptions options;
  options.Trust = &trust;
  options.ReadTimeout = 10000;
  std::atomic<int> delivered{0}, refused{0};
  const auto worker = [&] {
    TSmtpSession session(options, 3);
    for (int i = 0; i < 3; ++i) {
      TOutgoingMail m;
      m.Sender = "a@example.org";
      m.Recipients = "b@example.org";
      m.Server = Server(server.Port());
      m.Data = kData;
      m.User = "hans";
      m.Password = "geheim";
      const TSendResult r = session.Deliver(m);
      if (r.Delivered) ++delivered;
      if (r.Reason.rfind("Der Server bietet keine Verschl\xFCsselung an", 0) == 0) ++refused;
    }
  };
  std::thread one(worker), two(worker);
  one.join();
  two.join();
  EXPECT_EQ(delivered, 1);
  EXPECT_EQ(refused, 5);
  const std::vector<std::string> wire = HostileTranscripts(server);
  EXPECT_EQ(Occurrences(wire, "MAIL"), 1);
  EXPECT_EQ(Occurrences(wire, "AUTH"), 1);
  ASSERT_FALSE(wire.empty());
  EXPECT_LT(wire[0].find("<TLS>"), wire[0].find("MAIL")) << wire[0];
}

TEST(SmtpHostileServer, UntrustedCertificatePinnedByTheUserThenCarriesThePassword) {
  TTempDir certs;
  MakeCertificate(certs.Path(), "IP:127.0.0.1");
  TSmtpTestServer server({"--starttls", "--cert", (certs.Path() / "cert.pem").string(), "--key",
                          (certs.Path() / "key.pem").string(), "--auth-required", "--user", "hans", "--password",
                          "geheim"});
  ASSERT_NE(server.Port(), 0);
  TTempDir data;
  std::string question;
  {
    // The user says No: the message fails, nothing is pinned.
    TStoredServerTrust trust(data.Path().string() + "/");
    trust.Ask = [&](const std::string& q) {
      question = q;
      return false;
    };
    TSMTPSendOptions options;
    options.Trust = &trust;
    const TSendResult r = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData,
                                                "hans", "geheim", options);
    EXPECT_FALSE(r.Delivered);
    EXPECT_EQ(r.Reason, "Zertifikat nicht vertrauensw\xFCrdig");
    EXPECT_EQ(server.Count(), 0);
    // The fingerprint shown is the certificate's, as openssl computes it.
    const std::string fingerprint = OpensslFingerprint(certs.Path() / "cert.pem");
    ASSERT_EQ(fingerprint.size(), 95u);
    EXPECT_NE(question.find("\n" + fingerprint + "\n"), std::string::npos) << question;
  }
  {
    TStoredServerTrust trust(data.Path().string() + "/");
    trust.Ask = [](const std::string&) { return true; };
    TSMTPSendOptions options;
    options.Trust = &trust;
    EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", Server(server.Port()), kData, "hans", "geheim",
                            options));
  }
  {
    // Pinned: no question any more.
    TStoredServerTrust trust(data.Path().string() + "/");
    TSMTPSendOptions options;
    options.Trust = &trust;
    EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", Server(server.Port()), kData, "hans", "geheim",
                            options));
  }
  ASSERT_EQ(server.Count(), 2);
  EXPECT_NE(server.Notes(2).find("\"mechanism\": \"CRAM-MD5\""), std::string::npos) << server.Notes(2);
  EXPECT_NE(server.Notes(2).find("\"tls\": true"), std::string::npos);
  const std::string file = ReadFileBytes(data.Path() / "sicherheit.dat");
  std::string hex = OpensslFingerprint(certs.Path() / "cert.pem");
  std::erase(hex, ':');
  for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string key = "127.0.0.1:" + std::to_string(server.Port());
  EXPECT_EQ(file, "Postello sicherheit.dat 1\n" + key + " starttls\n" + key + " zertifikat " + hex + "\n");
}

TEST(SmtpHostileServer, ExpiredCertificateIsNamedAsSuch) {
  TTempDir certs;
  MakeExpiredCertificate(certs.Path(), "IP:127.0.0.1");
  TTrust system(certs.Path() / "cert.pem");
  TSmtpTestServer server({"--starttls", "--cert", (certs.Path() / "cert.pem").string(), "--key",
                          (certs.Path() / "key.pem").string()});
  ASSERT_NE(server.Port(), 0);
  const TSendResult r = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData,
                                              "hans", "geheim");
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "Zertifikat abgelaufen");
  // Without a password the message goes, encrypted all the same.
  EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", Server(server.Port()), kData, "", ""));
  ASSERT_EQ(server.Count(), 1);
  EXPECT_NE(server.Notes(1).find("\"tls\": true"), std::string::npos);
}

TEST(SmtpHostileServer, StallEndsAtOnceOnCancelWithoutAnotherWord) {
  TSmtpTestServer server = Hostile("stall");
  ASSERT_NE(server.Port(), 0);
  std::atomic<bool> cancel{false};
  TSMTPSendOptions options;
  options.Cancel = &cancel;  // ReadTimeout stays at 60 seconds
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
  });
  const auto start = std::chrono::steady_clock::now();
  const TSendResult r = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData, "",
                                              "", options);
  const double took = Seconds(start);
  user.join();
  EXPECT_LT(took, 3.0);
  EXPECT_FALSE(r.Delivered);
  EXPECT_TRUE(r.Cancelled);
  const std::string wire = Transcript(server, 1);
  EXPECT_EQ(wire.substr(0, 5), "EHLO ");
  EXPECT_EQ(wire.substr(wire.find('\n') + 1), "<EOF>\n<END>\n");  // neither HELO nor QUIT
}

TEST(SmtpHostileServer, SilentEhloGetsNoHelo) {
  TSmtpTestServer server = Hostile("stall");
  ASSERT_NE(server.Port(), 0);
  TSMTPSendOptions options;
  options.ReadTimeout = 300;
  const auto start = std::chrono::steady_clock::now();
  const TSendResult r = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData, "",
                                              "", options);
  EXPECT_LT(Seconds(start), 3.0);  // one wait, not two
  EXPECT_EQ(r.Reason, "keine Antwort vom Server innerhalb von 300 Millisekunden");
  const std::string wire = Transcript(server, 1);
  EXPECT_EQ(wire.substr(wire.find('\n') + 1), "<EOF>\n<END>\n") << wire;
}

TEST(SmtpHostileServer, TricklingServerMeetsTheTimeLimitOfTheMessage) {
  TSmtpTestServer server = Hostile("trickle");
  ASSERT_NE(server.Port(), 0);
  TSMTPSendOptions options;
  options.ReadTimeout = 1000;        // never reached: a byte comes every 50 ms
  options.MessageTimeLimit = 2000;
  const auto start = std::chrono::steady_clock::now();
  const TSendResult r = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData, "",
                                              "", options);
  const double took = Seconds(start);
  EXPECT_FALSE(r.Delivered);
  EXPECT_GE(took, 1.9);
  EXPECT_LT(took, 4.0);
  EXPECT_EQ(r.Reason, "keine Antwort vom Server innerhalb des Zeitlimits von 2 Sekunden f\xFCr die Nachricht");
}

// Regression: 4,096 reply lines of 64 KiB each were held in memory
// (526 MB) before the session gave up.
TEST(SmtpHostileServer, EhloReplyOverOneMebibyteEndsTheSession) {
  TSmtpTestServer server = Hostile("huge-ehlo");
  ASSERT_NE(server.Port(), 0);
  TSMTPSendOptions options;
  options.ReadTimeout = 5000;
  const TSendResult r = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()), kData,
                                              "hans", "geheim", options);
  EXPECT_FALSE(r.Delivered);
  EXPECT_EQ(r.Reason, "Antwort des Servers zu gro\xDF");
  const std::string wire = Transcript(server, 1);
  EXPECT_EQ(wire.substr(wire.find('\n') + 1), "<EOF>\n<END>\n") << wire;
}

namespace {

TOutgoingMail SessionMail(int port, const std::string& user = "", const std::string& password = "") {
  TOutgoingMail m;
  m.Sender = "a@example.org";
  m.Recipients = "b@example.org";
  m.Server = Server(port);
  m.Data = kData;
  m.User = user;
  m.Password = password;
  return m;
}

} // namespace

// Regression: a line sent right behind the 354 was taken for the answer
// to the end of the data (three refused messages counted as sent), and a
// garbled answer to the end that held "421" and "too many" had the pacer
// send the message three more times. Counted at the server, through the
// pacer and a reused connection as a run sends.
TEST(SmtpHostileServer, WhatComesAroundTheEndOfTheDataNeitherSendsNorRepeatsAMessage) {
  const struct {
    const char* Mode;
    int Stored;  // messages whose end of data reached the server
    std::string Reason;
    bool Uncertain;
  } cases[] = {
      {"stray-after-354", 0,
       "Server antwortet vor dem Ende der Nachricht (250 2.0.0 stray), Nachricht nicht abgeschlossen", false},
      {"garbled-end", 3, "unverst\xE4ndliche Antwort des Servers: x; 421 4.7.0 too many connections", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Mode);
    TSmtpTestServer server = Hostile(c.Mode);
    ASSERT_NE(server.Port(), 0);
    TSendPacer pacer(0);
    auto now = std::chrono::steady_clock::now();
    pacer.Now = [&] { return now; };
    pacer.Sleep = [&](TSendPacer::TMs ms) { now += ms; };
    TSMTPSendOptions options;
    options.ReadTimeout = 5000;
    TSmtpSession session(options, 10);
    for (int i = 0; i < 3; ++i) {
      const TSendResult r =
          pacer.Deliver(SessionMail(server.Port()), [&](const TOutgoingMail& m) { return session.Deliver(m); });
      EXPECT_FALSE(r.Delivered);
      EXPECT_EQ(r.Reason, c.Reason);
      EXPECT_EQ(r.Uncertain, c.Uncertain);
    }
    session.Close();
    const std::vector<std::string> wire = HostileTranscripts(server);
    EXPECT_EQ(Occurrences(wire, "<DATA>"), c.Stored);
    EXPECT_EQ(wire.size(), 3u);
  }
}

// A connection carries on only with the login it was opened with: a
// changed password or user name opens a new one and logs in anew.
TEST(SmtpHostileServer, AChangedLoginNeverRidesOnTheOldConnection) {
  TSmtpTestServer server = Hostile("plain-ok");
  ASSERT_NE(server.Port(), 0);
  postello::test::TTestServerTrust trust;
  trust.PlainAllowed = true;
  TSMTPSendOptions options;
  options.ReadTimeout = 5000;
  options.Trust = &trust;
  TSmtpSession session(options, 10);
  const std::pair<const char*, const char*> logins[] = {{"hans", "eins"}, {"hans", "zwei"}, {"otto", "zwei"}, {"otto", "zwei"}};
  for (const auto& [user, password] : logins)
    EXPECT_TRUE(session.Deliver(SessionMail(server.Port(), user, password)).Delivered) << user << password;
  session.Close();
  const std::vector<std::string> wire = HostileTranscripts(server);
  ASSERT_EQ(wire.size(), 3u);
  const auto auth = [](const std::string& user, const std::string& password) {
    return "AUTH PLAIN " + Base64Encode(std::string(1, '\0') + user + '\0' + password) + "\n";
  };
  EXPECT_NE(wire[0].find(auth("hans", "eins")), std::string::npos) << wire[0];
  EXPECT_NE(wire[1].find(auth("hans", "zwei")), std::string::npos) << wire[1];
  EXPECT_NE(wire[2].find(auth("otto", "zwei")), std::string::npos) << wire[2];
  EXPECT_EQ(Occurrences(wire, "AUTH"), 3);
  EXPECT_EQ(Occurrences({wire[2]}, "<DATA>"), 2);
}
