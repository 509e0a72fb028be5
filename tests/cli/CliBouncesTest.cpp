// postello-cli bounces against Dovecot, seeded with the reports for a run
// sent to aiosmtpd: reading changes nothing, --apply blocks the two
// bounced addresses, moves their reports and leaves a customer's answer,
// and the next run skips exactly those two.
#include "core/TMailStore.h"
#include "send/SendRunSupport.h"
#include "send/TBlockList.h"
#include "support/DovecotServer.h"
#include "support/LoopbackPort.h"

#include "CliRun.h"
#include "CliSendState.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

using namespace postello;
using namespace postello::test;

namespace {

std::string HeaderOf(const std::string& message, const std::string& name) {
  const std::size_t at = message.find("\r\n" + name + ": ");
  if (at == std::string::npos) return {};
  const std::size_t from = at + name.size() + 4;
  return message.substr(from, message.find("\r\n", from) - from);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Every file of the folder with its bytes.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    out[e.path().string()] = e.is_regular_file() ? ReadFileBytes(e.path()) : "<dir>";
  return out;
}

} // namespace

TEST(CliBounces, ApplyBlocksTheBouncedAddressesAndTheNextRunSkipsThem) {
  TTempDir dir, outs;
  const std::string d = dir.Path().string();
  TSmtpTestServer smtp({});
  ASSERT_NE(smtp.Port(), 0);
  WriteOptionsAndAccount(dir.Path(), smtp.Port());
  WritePeople(dir.Path(), 4);
  TMailList mails;
  TMailRec* mail = mails.Add();
  mail->Subject = "Newsletter";
  mail->MailType = 2;
  mail->PlainText = "Hallo [%Vorname]";
  TMailStore::Save(d + "/", mails);
  Result r = CliIn(d, "send --mail 0 --account 0 --personal", outs.Path());
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(smtp.Count(), 4);
  std::map<std::string, std::string> idOf;
  for (int n = 1; n <= 4; ++n) idOf[HeaderOf(smtp.Message(n), "To")] = HeaderOf(smtp.Message(n), "Message-ID");
  for (int i = 1; i <= 4; ++i) idOf[Address(i)] = idOf["<" + Address(i) + ">"];
  ASSERT_EQ(idOf.size(), 8u);


  // p2: Postfix's report of an unknown user; p3: an old server's text
  // naming nobody, traced by the returned Message-ID alone.
  const std::string data = std::string(POSTELLO_TEST_DATA) + "/inbox/";
  const std::string postfix = Replaced(Replaced(ReadFileBytes(data + "postfix-unknown-user.eml"), "niemand@postello-test.example",
                                                Address(2)),
                                       "<20261210030000.1.postello@postello-test.example>", idOf[Address(2)]);
  const std::string plain = "Return-Path: <>\r\nFrom: Mail Delivery Subsystem <MAILER-DAEMON@alt.example>\r\n"
                            "To: versand@example.org\r\nSubject: Returned mail: User unknown\r\n"
                            "Date: Thu, 10 Dec 2026 09:00:00 +0000\r\nMessage-ID: <bounce3@alt.example>\r\n\r\n"
                            "Your message could not be delivered.\r\n550 5.1.1 User unknown\r\n\r\n"
                            "   ----- Original message follows -----\r\n\r\nMessage-ID: " + idOf[Address(3)] +
                            "\r\nFrom: Versand <versand@example.org>\r\nSubject: Newsletter\r\n\r\nHallo V3\r\n";
  TDovecotServer dovecot;
  dovecot.AddUser("postfach", "geheim");
  dovecot.Seed("postfach", "INBOX", {postfix, plain, ReadFileBytes(data + "customer-reply.eml")});
  dovecot.Start();
  r = CliIn(d, "mailbox --account 0 --server 127.0.0.1:" + std::to_string(dovecot.PlainPort()) +
                   " --user postfach --password-stdin", outs.Path(), "printf 'geheim\\n' | ");
  ASSERT_EQ(r.status, 0) << r.err;

  const std::string cert = "SSL_CERT_FILE='" + dovecot.CertificateFile() + "' ";
  const std::map<std::string, std::string> before = Snapshot(dir.Path());
  r = CliIn(d, "bounces --account 0", outs.Path(), cert);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string run = std::filesystem::path(ListJournals(d + "/").at(0)).filename().string();
  EXPECT_NE(r.out.find(Address(2) + "\t" + Utf8("Harter R\xFC" "ckl\xE4ufer") + "\t5.1.1"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\t" + run + "\t2\twird gesperrt\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(Address(3) + "\t" + Utf8("Harter R\xFC" "ckl\xE4ufer")), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\t" + run + "\t3\twird gesperrt\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("hans@kunden.example>\tSonstige\t"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, Utf8("3 Nachrichten gelesen: Harter R\xFC" "ckl\xE4ufer: 2, Sonstige: 1.\n"
                        "Ohne --apply wurde nichts ge\xE4ndert.\n"));
  EXPECT_EQ(Snapshot(dir.Path()), before);
  EXPECT_EQ(dovecot.Messages("postfach", "INBOX"), 3u);

  r = CliIn(d, "bounces --account 0 --apply", outs.Path(), cert);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("2 Adressen auf die Sperrliste gesetzt, 2 Nachrichten nach \"Postello/Verarbeitet\" verschoben.\n"),
            std::string::npos) << r.err;
  EXPECT_EQ(dovecot.Messages("postfach", "INBOX"), 1u);
  EXPECT_EQ(dovecot.Messages("postfach", "Postello/Verarbeitet"), 2u);
  const TBlockList blocked = TBlockList::Load(d);
  ASSERT_EQ(blocked.Size(), 2u);
  EXPECT_EQ(blocked.Entries()[0].Address, Address(2));
  EXPECT_EQ(blocked.Entries()[1].Address, Address(3));

  r = CliIn(d, "send --mail 0 --account 0 --personal", outs.Path());
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(smtp.Count(), 6);
  EXPECT_EQ(HeaderOf(smtp.Message(5), "To") + " " + HeaderOf(smtp.Message(6), "To"),
            "<" + Address(1) + "> <" + Address(4) + ">");
}

TEST(CliBounces, CtrlCEndsTheWaitForASilentServer) {
  TTempDir dir, outs;
  const std::string d = dir.Path().string();
  WriteOptionsAndAccount(dir.Path(), 25);
  int port = 0;
  const int silent = BindLoopback(port, true);
  ASSERT_GE(silent, 0);
  ASSERT_EQ(CliIn(d, "mailbox --account 0 --server 127.0.0.1:" + std::to_string(port) + " --user u --password-stdin",
                  outs.Path(), "printf 'x\\n' | ").status, 0);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = StartCli({"bounces", "--account", "0", "--dir", d}, (outs.Path() / "o").string(),
                             (outs.Path() / "e").string());
  const int status = InterruptWhen(pid, [&] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(500); });
  close(silent);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_NE(ReadFileBytes(outs.Path() / "e").find("abgebrochen"), std::string::npos) << ReadFileBytes(outs.Path() / "e");
}
