// Delivery to a real SMTP server (aiosmtpd on loopback), in clear, with
// STARTTLS and with TLS from the first byte, and the real socket's limits.
#include "smtp/TSMTPSend.h"
#include "smtp/TTCPBlockSocket.h"
#include "smtp/SmtpTestServer.h"
#include "smtp/TestServerTrust.h"
#include "support/LoopbackPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

using namespace postello;
using postello::test::MakeCertificate;
using postello::test::TSmtpTestServer;
using postello::test::TTempDir;
using postello::test::TTestServerTrust;

namespace {

const std::vector<std::string> kData = {
    "From: \"Postello\" <absender@example.org>\r\n"
    "To: empfaenger@example.org\r\n"
    "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
    "Content-Transfer-Encoding: 8bit\r\n",
    "Sehr geehrte Frau M\xFCller,\r\n"
    ".\r\n"
    "..zwei Punkte\r\n"
    ". ein Punkt und ein Blank\r\n"
    "\r\n"
    "Mit freundlichen Gr\xFC\xDF" "en\r\n"
    "."};

std::string WholeMessage(const std::vector<std::string>& data) {
  std::string all;
  for (const std::string& item : data) all += item + "\r\n";
  return all;
}

std::string Server(int port, const std::string& host = "127.0.0.1") {
  return host + ":" + std::to_string(port);
}

// Points OpenSSL's default trust store at one file for the life of the
// object.
class TTrust {
public:
  explicit TTrust(const std::filesystem::path& file) {
    setenv("SSL_CERT_FILE", file.c_str(), 1);
  }
  ~TTrust() { unsetenv("SSL_CERT_FILE"); }
};

} // namespace

TEST(SmtpServer, PlainDeliveryStoresExactlyTheMessageGiven) {
  TSmtpTestServer server({});
  ASSERT_NE(server.Port(), 0);
  EXPECT_TRUE(SendRawMail("Postello <absender@example.org>", "Frau M\xFCller <empfaenger@example.org>",
                          Server(server.Port()), kData, "", ""));
  ASSERT_EQ(server.Count(), 1);
  EXPECT_EQ(server.Message(1), WholeMessage(kData));
  const std::string notes = server.Notes(1);
  EXPECT_NE(notes.find("\"mail_from\": \"absender@example.org\""), std::string::npos) << notes;
  EXPECT_NE(notes.find("\"rcpt_tos\": [\"empfaenger@example.org\"]"), std::string::npos) << notes;
  EXPECT_NE(notes.find("\"SIZE=" + std::to_string(WholeMessage(kData).size()) + "\""),
            std::string::npos) << notes;
  EXPECT_NE(notes.find("\"tls\": false"), std::string::npos) << notes;
}

TEST(SmtpServer, LargeMessageArrivesByteForByte) {
  std::string body;
  std::mt19937 random(7);
  for (int line = 0; line < 30000; ++line) {
    std::string text(random() % 77, 'x');
    for (char& c : text) c = static_cast<char>(32 + random() % 224);
    if (line % 11 == 0) text.insert(0, ".");
    body += text + "\r\n";
  }
  const std::vector<std::string> data = {"Subject: gross\r\n", body};
  TSmtpTestServer server({});
  ASSERT_NE(server.Port(), 0);
  EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", Server(server.Port()), data, "", ""));
  ASSERT_EQ(server.Count(), 1);
  EXPECT_EQ(server.Message(1), WholeMessage(data));
}

TEST(SmtpServer, EachAuthenticationMethodInClear) {
  // The user allowed the password in clear for the server.
  TTestServerTrust trust;
  trust.PlainAllowed = true;
  TSMTPSendOptions options;
  options.Trust = &trust;
  const struct {
    const char* offered;
    const char* used;
  } rows[] = {{"LOGIN", "LOGIN"},
                {"CRAM-MD5", "CRAM-MD5"},
                {"LOGIN CRAM-MD5", "CRAM-MD5"},
                {"PLAIN", "PLAIN"},
                {"PLAIN LOGIN", "LOGIN"}};
  for (const auto& row : rows) {
    TSmtpTestServer server({"--auth-in-clear", "--auth-required", "--user", "hans", "--password",
                            "g\xE9heim 1", "--mechanisms", row.offered});
    ASSERT_NE(server.Port(), 0);
    EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", Server(server.Port()), kData, "hans",
                            "g\xE9heim 1", options)) << row.offered;
    ASSERT_EQ(server.Count(), 1) << row.offered;
    EXPECT_EQ(server.Message(1), WholeMessage(kData));
    EXPECT_NE(server.Notes(1).find(std::string("\"mechanism\": \"") + row.used + "\""),
              std::string::npos) << server.Notes(1);
  }
}

TEST(SmtpServer, WrongPasswordShowsAsRefusedSender) {
  TSmtpTestServer server({"--auth-in-clear", "--auth-required", "--user", "hans", "--password",
                          "geheim"});
  ASSERT_NE(server.Port(), 0);
  TTestServerTrust trust;
  trust.PlainAllowed = true;
  TSMTPSendOptions options;
  options.Trust = &trust;
  const TSendResult result = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()),
                                                   kData, "hans", "falsch", options);
  EXPECT_FALSE(result.Delivered);
  EXPECT_EQ(result.Reason.substr(0, 25), "Anmeldung abgelehnt (535 ") << result.Reason;
  EXPECT_NE(result.Reason.find("; 530 "), std::string::npos) << result.Reason;
  EXPECT_FALSE(SendRawMail("a@example.org", "b@example.org", Server(server.Port()), kData, "", ""));
  EXPECT_EQ(server.Count(), 0);
}

TEST(SmtpServer, RefusedRecipientFailsTheWholeMessage) {
  TSmtpTestServer server({"--refuse", "weg@example.org"});
  ASSERT_NE(server.Port(), 0);
  EXPECT_FALSE(SendRawMail("a@example.org", "da@example.org, weg@example.org, auch@example.org",
                           Server(server.Port()), kData, "", ""));
  EXPECT_EQ(server.Count(), 0);
  EXPECT_TRUE(SendRawMail("a@example.org", "da@example.org, auch@example.org",
                          Server(server.Port()), kData, "", ""));
  ASSERT_EQ(server.Count(), 1);
  EXPECT_NE(server.Notes(1).find("[\"da@example.org\", \"auch@example.org\"]"), std::string::npos);
}

TEST(SmtpServer, StarttlsWithTrustedCertificateAndEachMethod) {
  TTempDir certs;
  MakeCertificate(certs.Path(), "DNS:localhost,IP:127.0.0.1");
  TTrust trust(certs.Path() / "cert.pem");
  // PLAIN alone is what a Dovecot-backed server offers by default.
  for (const char* mechanisms : {"LOGIN", "CRAM-MD5", "PLAIN"}) {
    // AUTH is offered only after STARTTLS here, as most providers do.
    TSmtpTestServer server({"--starttls", "--cert", (certs.Path() / "cert.pem").string(), "--key",
                            (certs.Path() / "key.pem").string(), "--auth-required", "--user",
                            "hans", "--password", "geheim", "--mechanisms", mechanisms});
    ASSERT_NE(server.Port(), 0);
    EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", Server(server.Port()), kData, "hans",
                            "geheim")) << mechanisms;
    // By name as well: the certificate is checked against "localhost".
    EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", Server(server.Port(), "localhost"),
                            kData, "hans", "geheim")) << mechanisms;
    ASSERT_EQ(server.Count(), 2);
    for (int n = 1; n <= 2; ++n) {
      EXPECT_EQ(server.Message(n), WholeMessage(kData));
      const std::string notes = server.Notes(n);
      EXPECT_NE(notes.find("\"tls\": true"), std::string::npos) << notes;
      EXPECT_NE(notes.find(std::string("\"mechanism\": \"") + mechanisms + "\""), std::string::npos)
          << notes;
    }
  }
}

// A certificate that fails the check stops a session with credentials
// (before any AUTH) and no other: without a password TLS is opportunistic.
TEST(SmtpServer, StarttlsWithUntrustedOrMismatchedCertificateFailsOnlyWithCredentials) {
  TTempDir certs;
  MakeCertificate(certs.Path(), "DNS:mail.example.org");
  const std::vector<std::string> args = {"--starttls", "--cert", (certs.Path() / "cert.pem").string(),
                                         "--key", (certs.Path() / "key.pem").string(), "--user", "hans",
                                         "--password", "geheim"};
  {
    // Not in the trust store at all.
    TSmtpTestServer server(args);
    ASSERT_NE(server.Port(), 0);
    const TSendResult refused = SendRawMailWithReason("a@example.org", "b@example.org", Server(server.Port()),
                                                      kData, "hans", "geheim");
    EXPECT_FALSE(refused.Delivered);
    EXPECT_EQ(refused.Reason, "Zertifikat nicht vertrauensw\xFCrdig");
    EXPECT_EQ(server.Count(), 0);
    EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", Server(server.Port()), kData, "", ""));
    ASSERT_EQ(server.Count(), 1);
    EXPECT_NE(server.Notes(1).find("\"tls\": true"), std::string::npos) << server.Notes(1);
    EXPECT_NE(server.Notes(1).find("\"auth\": null"), std::string::npos) << server.Notes(1);
  }
  {
    // Trusted, but made out for another host than the one we connect to.
    TTrust trust(certs.Path() / "cert.pem");
    TSmtpTestServer server(args);
    ASSERT_NE(server.Port(), 0);
    for (const std::string& host : {std::string("127.0.0.1"), std::string("localhost")}) {
      const TSendResult refused = SendRawMailWithReason("a@example.org", "b@example.org",
                                                        Server(server.Port(), host), kData, "hans", "geheim");
      EXPECT_FALSE(refused.Delivered) << host;
      EXPECT_EQ(refused.Reason, "Zertifikat gilt f\xFCr einen anderen Namen") << host;
    }
    EXPECT_EQ(server.Count(), 0);
    EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", Server(server.Port(), "localhost"), kData, "", ""));
    EXPECT_EQ(server.Count(), 1);
  }
}

TEST(SmtpServer, Port465SpeaksTlsFromTheFirstByte) {
  // Port 465 is fixed, so each run takes its own loopback address.
  std::random_device seed;
  const std::string ip = "127." + std::to_string(1 + seed() % 250) + "." +
                         std::to_string(seed() % 256) + "." + std::to_string(2 + seed() % 250);
  TTempDir certs;
  MakeCertificate(certs.Path(), "IP:" + ip);
  TTrust trust(certs.Path() / "cert.pem");
  TSmtpTestServer server({"--host", ip, "--port", "465", "--implicit-tls", "--cert",
                          (certs.Path() / "cert.pem").string(), "--key",
                          (certs.Path() / "key.pem").string(), "--auth-in-clear", "--auth-required",
                          "--user", "hans", "--password", "geheim"});
  if (server.Port() == 0) GTEST_SKIP() << "cannot listen on " << ip << ":465";
  EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org", ip + ":465", kData, "hans", "geheim"));
  ASSERT_EQ(server.Count(), 1);
  EXPECT_EQ(server.Message(1), WholeMessage(kData));
  EXPECT_NE(server.Notes(1).find("\"tls\": true"), std::string::npos) << server.Notes(1);
}

TEST(SmtpServer, Ipv6LiteralInBrackets) {
  TSmtpTestServer server({"--host", "::1"});
  if (server.Port() == 0) GTEST_SKIP() << "no IPv6 loopback";
  EXPECT_TRUE(SendRawMail("a@example.org", "b@example.org",
                          "[::1]:" + std::to_string(server.Port()), kData, "", ""));
  ASSERT_EQ(server.Count(), 1);
  EXPECT_EQ(server.Message(1), WholeMessage(kData));
}

TEST(SmtpServer, GreetingThatNeverComesEndsAfterTheReadTimeout) {
  // A listener that accepts connections (the kernel does) but never speaks.
  int port = 0;
  const int fd = postello::test::BindLoopback(port, true);
  ASSERT_GE(fd, 0);
  TSMTPSendOptions options;
  options.ReadTimeout = 300;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(SendRawMail("a@example.org", "b@example.org", Server(port), kData, "", "", options));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  close(fd);
}

TEST(SmtpServer, SocketReportsTimeOutClosedPeerAndRefusedConnect) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  const std::string port = std::to_string(ntohs(addr.sin_port));

  TTCPBlockSocket sock;
  sock.Connect("127.0.0.1", port);
  ASSERT_EQ(sock.LastError(), 0);
  EXPECT_EQ(sock.RemotePort(), ntohs(addr.sin_port));
  EXPECT_EQ(sock.RecvLine(50), "");
  EXPECT_EQ(sock.LastError(), TBlockSocket::ErrTimedOut);

  const int peer = accept(fd, nullptr, nullptr);
  ASSERT_GE(peer, 0);
  const char reply[] = "220 hi\r\n221 bye";
  ASSERT_EQ(send(peer, reply, sizeof reply - 1, 0), static_cast<ssize_t>(sizeof reply - 1));
  close(peer);
  EXPECT_EQ(sock.RecvLine(1000), "220 hi");
  EXPECT_EQ(sock.RecvLine(1000), "");
  EXPECT_EQ(sock.LastError(), TBlockSocket::ErrConnReset);
  // Writing to the closed peer fails quietly instead of killing the program.
  for (int i = 0; i < 3; ++i) sock.SendString(std::string(100000, 'x'), 1000);
  EXPECT_NE(sock.LastError(), 0);
  sock.CloseSocket();
  close(fd);

  sock.Connect("127.0.0.1", port);  // nobody listens any more
  EXPECT_NE(sock.LastError(), 0);
  EXPECT_EQ(sock.RemotePort(), 0);
  sock.Connect("", "25");
  EXPECT_NE(sock.LastError(), 0);
  EXPECT_FALSE(sock.StartTls("localhost", 100));
}

// Regression: replies forged in clear right behind "220" for STARTTLS were
// read as the server's first answer inside TLS.
TEST(SmtpServer, CleartextBehindTheStarttlsGoAheadIsDropped) {
  TTempDir certs;
  MakeCertificate(certs.Path(), "IP:127.0.0.1");
  TTrust trust(certs.Path() / "cert.pem");
  TSmtpTestServer server({"--cert", (certs.Path() / "cert.pem").string(), "--key",
                          (certs.Path() / "key.pem").string()},
                         "starttls_injection_server.py");
  ASSERT_NE(server.Port(), 0);
  TSMTPSend session;
  session.ReadTimeout = 5000;
  session.SplitServer(Server(server.Port()));
  ASSERT_TRUE(session.OpenSession());
  EXPECT_TRUE(session.UsesTls);
  EXPECT_EQ(session.Capabilities, (std::vector<std::string>{"AUTH LOGIN"}));
  session.CloseSession();
  EXPECT_EQ(session.ReplyCode, 221);
}

TEST(SmtpServer, WriteToAPeerThatNeverReadsEndsAfterTheTimeout) {
  int port = 0;
  const int fd = postello::test::BindLoopback(port, true);
  ASSERT_GE(fd, 0);
  TTCPBlockSocket sock;
  sock.Connect("127.0.0.1", std::to_string(port));
  ASSERT_EQ(sock.LastError(), 0);
  // Far more than the kernel buffers of both ends hold.
  sock.SendString(std::string(64 << 20, 'x'), 200);
  EXPECT_EQ(sock.LastError(), TBlockSocket::ErrTimedOut);
  close(fd);
}

TEST(SmtpServer, ServiceNamesConnectToTheirWellKnownPorts) {
  // Fixed ports, so each run listens on its own loopback address.
  std::random_device seed;
  const std::string ip = "127." + std::to_string(1 + seed() % 250) + "." +
                         std::to_string(seed() % 256) + "." + std::to_string(2 + seed() % 250);
  for (const auto& [service, port] :
       {std::pair<const char*, int>{"smtp", 25}, {"submission", 587}, {"smtps", 465}}) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, ip.c_str(), &addr.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 1) != 0) {
      close(fd);
      GTEST_SKIP() << "cannot listen on " << ip << ":" << port;
    }
    TTCPBlockSocket sock;
    sock.Connect(ip, service);
    EXPECT_EQ(sock.LastError(), 0) << service;
    EXPECT_EQ(sock.RemotePort(), port) << service;
    close(fd);
  }
}

TEST(SmtpServer, SessionsOnSeveralThreadsAtOnce) {
  TTempDir certs;
  MakeCertificate(certs.Path(), "IP:127.0.0.1");
  TTrust trust(certs.Path() / "cert.pem");
  TSmtpTestServer server({"--starttls", "--cert", (certs.Path() / "cert.pem").string(), "--key",
                          (certs.Path() / "key.pem").string(), "--auth-required", "--user", "hans",
                          "--password", "geheim"});
  ASSERT_NE(server.Port(), 0);
  std::atomic<int> delivered{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        const std::vector<std::string> data = {
            "Subject: " + std::to_string(t) + "/" + std::to_string(i) + "\r\n", kData[1]};
        if (SendRawMail("a@example.org", "b@example.org", Server(server.Port()), data, "hans",
                        "geheim"))
          ++delivered;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(delivered, 20);
  ASSERT_EQ(server.Count(), 20);
  std::vector<std::string> subjects;
  for (int n = 1; n <= 20; ++n) {
    const std::string message = server.Message(n);
    EXPECT_EQ(message.substr(message.find("\r\n")), "\r\n\r\n" + kData[1] + "\r\n");
    subjects.push_back(message.substr(0, message.find("\r\n")));
  }
  std::sort(subjects.begin(), subjects.end());
  EXPECT_EQ(std::unique(subjects.begin(), subjects.end()), subjects.end());
}
