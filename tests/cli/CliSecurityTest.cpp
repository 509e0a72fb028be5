// postello-cli security, and send against servers that want a password:
// run as programs on state files made here, against aiosmtpd and the
// hostile test servers.
#include "support/LoopbackPort.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "core/TOptions.h"
#include "send/SendRunSupport.h"

#include "CliRun.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace postello;
using namespace postello::test;

namespace {

class CliSecurityTest : public ::testing::Test {
protected:
  std::string Path(const std::string& name) const { return (Dir.Path() / name).string(); }

  // One account with user and password on the server, one text mail,
  // three recipients.
  void MakeState(const std::string& server) {
    TKontoRec k;
    k.Absender = "Versand";
    k.Email = "versand@example.org";
    k.Server = server;
    k.User = "hans";
    k.Password = CodePassw("geheim");
    MakeSendFolder(Dir.Path().string() + "/", k,
                   {{"p1@example.org", "N1", "V1", "", "", ""},
                    {"p2@example.org", "N2", "V2", "", "", ""},
                    {"p3@example.org", "N3", "V3", "", "", ""}});
  }

  Result Cli(const std::string& args) { return CliIn(Dir.Path().string(), args, Out.Path()); }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Dir.Path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  TTempDir Dir;
  TTempDir Out;  // the command's output, outside the folder it works on
};

std::string Lower(std::string fingerprint) {
  std::erase(fingerprint, ':');
  for (char& c : fingerprint) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return fingerprint;
}

} // namespace

TEST_F(CliSecurityTest, ShowsTheCertificateAndPinsItForTheServer) {
  TTempDir certs;
  MakeCertificate(certs.Path(), "DNS:mail.example.org");
  TSmtpTestServer server({"--starttls", "--cert", (certs.Path() / "cert.pem").string(), "--key",
                          (certs.Path() / "key.pem").string(), "--auth-required", "--user", "hans", "--password",
                          "geheim"});
  ASSERT_NE(server.Port(), 0);
  const std::string key = "127.0.0.1:" + std::to_string(server.Port());
  MakeState(key);
  const std::string fingerprint = OpensslFingerprint(certs.Path() / "cert.pem");
  ASSERT_EQ(fingerprint.size(), 95u);

  // Looking writes nothing.
  const std::vector<std::string> before = Files();
  Result r = Cli("security --account 0");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Utf8("Server: " + key + "\nZertifikat: " + fingerprint +
                        " (Zertifikat nicht vertrauensw\xFCrdig)\nVertraute Zertifikate: keine\n"
                        "Unverschl\xFCsseltes Passwort: nicht erlaubt\nSTARTTLS gesehen: nein\n"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Files(), before);

  // Sending with the password fails with the reason, before any AUTH.
  r = Cli("send --mail 0 --account 0 --to p1@example.org");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Utf8("Fehler beim Senden der Nachricht an p1@example.org: Zertifikat nicht vertrauensw\xFCrdig\n"));
  EXPECT_EQ(server.Count(), 0);

  r = Cli("security --account 0 --trust-certificate '" + fingerprint + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Utf8("Dem Zertifikat " + fingerprint + " wird f\xFCr " + key + " vertraut.\n"));
  // The send above noted that the server offers STARTTLS.
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "sicherheit.dat"),
            "Postello sicherheit.dat 1\n" + key + " starttls\n" + key + " zertifikat " + Lower(fingerprint) + "\n");
  struct stat st {};
  ASSERT_EQ(stat(Path("sicherheit.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  r = Cli("security --account 0");
  EXPECT_EQ(r.out, Utf8("Server: " + key + "\nZertifikat: " + fingerprint +
                        " (Zertifikat nicht vertrauensw\xFCrdig, hier vertraut)\nVertrautes Zertifikat: " +
                        fingerprint + "\nUnverschl\xFCsseltes Passwort: nicht erlaubt\nSTARTTLS gesehen: ja\n"));

  r = Cli("send --mail 0 --account 0");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "3 Mails von 3 verarbeitet 0 fehlgeschlagen.\n");
  ASSERT_EQ(server.Count(), 3);
  EXPECT_NE(server.Notes(3).find("\"mechanism\": \"CRAM-MD5\""), std::string::npos) << server.Notes(3);
  EXPECT_NE(server.Notes(3).find("\"tls\": true"), std::string::npos);

  r = Cli("security --account 0 --forget");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, Utf8("Alle Eintr\xE4ge f\xFCr " + key + " sind entfernt.\n"));
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "sicherheit.dat"), "Postello sicherheit.dat 1\n");
  r = Cli("security --account 0 --forget");
  EXPECT_EQ(r.out, Utf8("F\xFCr " + key + " war nichts gespeichert.\n"));
  r = Cli("send --mail 0 --account 0 --to p1@example.org");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(server.Count(), 3);
}

TEST_F(CliSecurityTest, PasswordInClearOnlyAfterAllowPlainAuth) {
  TSmtpTestServer server({"--auth-in-clear", "--auth-required", "--user", "hans", "--password", "geheim"});
  ASSERT_NE(server.Port(), 0);
  const std::string key = "127.0.0.1:" + std::to_string(server.Port());
  MakeState(key);
  Result r = Cli("send --mail 0 --account 0 --to p1@example.org");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Utf8("Fehler beim Senden der Nachricht an p1@example.org: Der Server bietet keine "
                        "Verschl\xFCsselung an; Nachricht mit Anmeldedaten nicht gesendet\n"));
  EXPECT_EQ(server.Count(), 0);
  EXPECT_FALSE(std::filesystem::exists(Path("sicherheit.dat")));

  r = Cli("security --account 0");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(Utf8("\nZertifikat: keines (der Server bietet keine Verschl\xFCsselung an)\n")),
            std::string::npos)
      << r.out;

  r = Cli("security --account 0 --allow-plain-auth");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Utf8("F\xFCr " + key + " darf das Passwort unverschl\xFCsselt gesendet werden.\n"));
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "sicherheit.dat"), "Postello sicherheit.dat 1\n" + key + " klartext\n");
  r = Cli("send --mail 0 --account 0 --to p1@example.org");
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(server.Count(), 1);
  EXPECT_NE(server.Notes(1).find("\"user\": \"hans\""), std::string::npos);
}

TEST_F(CliSecurityTest, WrongArgumentsChangeNothing) {
  MakeState("127.0.0.1:2525");
  const std::vector<std::string> before = Files();
  for (const char* args : {"security", "security --account 0 --trust-certificate abc",
                           "security --account 0 --trust-certificate '0123'",
                           "security --account x", "security --account 0 extra"}) {
    const Result r = Cli(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("Aufruf: postello-cli security"), std::string::npos) << args << r.err;
  }
  const Result r = Cli("security --account 1 --allow-plain-auth");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, Utf8("Es gibt kein Konto Nummer 1 (gespeichert: 1 Konto, gez\xE4hlt ab 0).\n"));
  EXPECT_EQ(Files(), before);
}

TEST_F(CliSecurityTest, UnreachableServerAndDamagedFileAreReported) {
  const int port = postello::test::UnusedLoopbackPort();
  ASSERT_NE(port, 0);
  const std::string key = "127.0.0.1:" + std::to_string(port);
  MakeState(key);
  WriteBytes(Path("sicherheit.dat"), "Postello sicherheit.dat 1\n" + key + " klartext\n" + key + " vielleicht\n");
  const Result r = Cli("security --account 0");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, Utf8("Server: " + key + "\nZertifikat: nicht abrufbar (Verbindung zu " + key +
                        " abgelehnt)\nVertraute Zertifikate: keine\nUnverschl\xFCsseltes Passwort: nicht erlaubt\n"
                        "STARTTLS gesehen: nein\n"));
  EXPECT_NE(r.err.find(Utf8("sicherheit.dat\" ist besch\xE4" "digt (Zeile 3): unbekannter Eintrag.")),
            std::string::npos)
      << r.err;
  // Reading kept the damaged file as it was.
  EXPECT_FALSE(std::filesystem::exists(Path("sicherheit.dat.defekt")));
}

TEST_F(CliSecurityTest, CtrlCEndsAStalledSessionAtOnce) {
  TSmtpTestServer server({"--mode", "stall"}, "hostile_smtp_server.py");
  ASSERT_NE(server.Port(), 0);
  MakeState("127.0.0.1:" + std::to_string(server.Port()));
  const std::string out = (Out.Path() / "o").string(), err = (Out.Path() / "e").string();
  const pid_t pid = StartCli({"send", "--mail", "0", "--account", "0", "--dir", Dir.Path().string()}, out, err);
  ASSERT_GT(pid, 0);
  // Wait until the client has said EHLO into the silence.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (ReadFileBytes(server.Spool() / "conn-1.txt").find("EHLO") == std::string::npos &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto start = std::chrono::steady_clock::now();
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(ReadFileBytes(out), "1 Mail von 3 verarbeitet 1 fehlgeschlagen.\n");
  EXPECT_EQ(ReadFileBytes(err),
            "Fehler beim Senden der Nachricht an p1@example.org: vom Benutzer abgebrochen\nVersand abgebrochen.\n");
  EXPECT_FALSE(std::filesystem::exists(server.Spool() / "conn-2.txt"));
}
