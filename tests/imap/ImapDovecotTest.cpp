// The mailbox against a real Dovecot: sign-in over TLS and STARTTLS,
// headers and prefixes in batches, folders made and messages moved.
#include "imap/TImapMailbox.h"
#include "smtp/TTCPBlockSocket.h"
#include "smtp/TestServerTrust.h"
#include "support/DovecotServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace postello {
namespace {

// The real socket, with a record of every command line sent.
struct TRecordingSocket : TTCPBlockSocket {
  std::shared_ptr<std::string> Sent = std::make_shared<std::string>();
  void SendString(std::string_view bytes, int timeoutMs) override {
    *Sent += bytes;
    TTCPBlockSocket::SendString(bytes, timeoutMs);
  }
};

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string Message(int i, std::size_t bodyBytes = 20) {
  return "From: a" + std::to_string(i) + "@example.org\r\nSubject: Nr. " + std::to_string(i) + "\r\n\r\n" +
         std::string(bodyBytes, 'x') + "\r\n";
}

class ImapDovecot : public ::testing::Test {
public:
  void SetUp() override {
    Server = std::make_unique<test::TDovecotServer>(Separator);
    Server->AddUser("anna", "geheim");
    Server->Start();
    setenv("SSL_CERT_FILE", Server->CertificateFile().c_str(), 1);
  }
  void TearDown() override { unsetenv("SSL_CERT_FILE"); }

  std::unique_ptr<TImapMailbox> Open(bool tls, const std::string& password = "geheim", TImapLimits limits = {}) {
    auto sock = std::make_unique<TRecordingSocket>();
    Sent = sock->Sent;
    auto box = std::make_unique<TImapMailbox>(std::move(sock), Trust, limits);
    TImapLogin login = TImapLogin::FromServer("127.0.0.1:" +
                                              std::to_string(tls ? Server->TlsPort() : Server->PlainPort()));
    login.Security = tls ? TImapSecurity::Tls : TImapSecurity::StartTls;
    login.User = "anna";
    login.Password = password;
    box->Open(login);
    return box;
  }

  char Separator = '/';
  std::unique_ptr<test::TDovecotServer> Server;
  test::TTestServerTrust Trust;
  std::shared_ptr<std::string> Sent;
};

TEST_F(ImapDovecot, SignsInOverTlsAndStartTlsAndRefusesAWrongPassword) {
  Server->Seed("anna", "INBOX", {Message(1), Message(2)});
  for (bool tls : {true, false}) {
    auto box = Open(tls);
    box->Select("INBOX");
    EXPECT_EQ(box->Count(), 2u) << tls;
    EXPECT_NE(box->UidValidity(), 0u);
    EXPECT_EQ(Occurrences(*Sent, "STARTTLS"), tls ? 0u : 1u);
  }
  const std::string port = std::to_string(Server->TlsPort());
  try {
    Open(true, "falsch");
    FAIL() << "signed in with a wrong password";
  } catch (const EImapError& e) {
    EXPECT_EQ(std::string(e.what()), "Anmeldung am Postfach 127.0.0.1:" + port +
                                         " abgelehnt: Authentication failed.");
  }
}

TEST_F(ImapDovecot, FetchesHeadersOneCommandPerBatch) {
  std::vector<std::string> messages;
  for (int i = 1; i <= 7; ++i) messages.push_back(Message(i, 100 * i));
  Server->Seed("anna", "INBOX", messages);
  TImapLimits limits;
  limits.Batch = 3;
  auto box = Open(true, "geheim", limits);
  box->Select("INBOX");
  std::vector<std::size_t> sizes;
  std::vector<TMailItem> all;
  box->FetchHeaders([&](std::vector<TMailItem>&& batch) {
    sizes.push_back(batch.size());
    for (TMailItem& item : batch) all.push_back(std::move(item));
    return true;
  });
  EXPECT_EQ(sizes, (std::vector<std::size_t>{3, 3, 1}));
  EXPECT_EQ(Occurrences(*Sent, "UID FETCH"), 3u);
  ASSERT_EQ(all.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(all[i].Uid, static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(all[i].Header, "From: a" + std::to_string(i + 1) + "@example.org\r\nSubject: Nr. " +
                                 std::to_string(i + 1) + "\r\n\r\n");
    EXPECT_EQ(all[i].Size, Message(i + 1, 100 * (i + 1)).size());
  }
  // Stopping after the first batch asks for no more.
  std::size_t batches = 0;
  box->FetchHeaders([&](std::vector<TMailItem>&&) { return ++batches < 1; });
  EXPECT_EQ(batches, 1u);
  EXPECT_EQ(Occurrences(*Sent, "UID FETCH"), 4u);

  const auto prefixes = box->FetchPrefixes({7, 2, 99}, 40);
  ASSERT_EQ(prefixes.size(), 2u);
  EXPECT_EQ(prefixes[0], std::make_pair(7u, Message(7, 700).substr(0, 40)));
  EXPECT_EQ(prefixes[1], std::make_pair(2u, Message(2, 200).substr(0, 40)));
}

struct ImapDovecotDot : ImapDovecot {
  ImapDovecotDot() { Separator = '.'; }
};

void CreatesFolderAndMovesOnly(ImapDovecot& t, test::TDovecotServer& server, std::shared_ptr<std::string>& sent) {
  server.Seed("anna", "INBOX", {Message(1), Message(2), Message(3), Message(4)});
  auto box = t.Open(true);
  box->EnsureFolder("Postello/Verarbeitet \xC4rger");
  box->EnsureFolder("Postello/Verarbeitet \xC4rger");  // there already: no second CREATE
  EXPECT_EQ(Occurrences(*sent, "CREATE"), 2u);
  box->Select("INBOX");
  box->Move({2, 4}, "Postello/Verarbeitet \xC4rger");
  box->Select("INBOX");
  EXPECT_EQ(box->Count(), 2u);
  std::vector<std::uint32_t> left;
  box->FetchHeaders([&](std::vector<TMailItem>&& batch) {
    for (const TMailItem& item : batch) left.push_back(item.Uid);
    return true;
  });
  EXPECT_EQ(left, (std::vector<std::uint32_t>{1, 3}));
  box->Select("Postello/Verarbeitet \xC4rger");
  EXPECT_EQ(box->Count(), 2u);
  box->Close();
  EXPECT_EQ(server.Messages("anna", "Postello/Verarbeitet &AMQ-rger"), 2u);
}

TEST_F(ImapDovecot, CreatesFolderLevelsAndMovesOnlyTheGivenMessages) { CreatesFolderAndMovesOnly(*this, *Server, Sent); }
TEST_F(ImapDovecotDot, CreatesFolderLevelsAndMovesOnlyTheGivenMessages) { CreatesFolderAndMovesOnly(*this, *Server, Sent); }

} // namespace
} // namespace postello
