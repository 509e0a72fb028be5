// postello-cli oauth and sending with XOAUTH2, run as programs against a
// fake OAuth provider and an aiosmtpd that takes only the provider's
// current access token (tests/data/send/oauth_test_server.py).
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "core/TPostfachStore.h"
#include "core/TOptions.h"
#include "send/SendRunSupport.h"

#include "CliRun.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <regex>

using namespace postello;
using namespace postello::test;

namespace {

// A GET by Python's urllib, which follows the provider's redirect to the
// loopback address as a browser would.
int Fetch(const std::string& url) {
  const std::string cmd =
      "python3 -c 'import sys, urllib.request; "
      "urllib.request.build_opener(urllib.request.ProxyHandler({})).open(sys.argv[1], timeout=20).read()' '" +
      url + "' >/dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

class CliOAuthTest : public ::testing::Test {
protected:
  void SetUp() override {
    MakeCertificate(Certs.Path(), "IP:127.0.0.1");
    Server = std::make_unique<TSmtpTestServer>(
        std::vector<std::string>{"--cert", (Certs.Path() / "cert.pem").string(), "--key",
                                 (Certs.Path() / "key.pem").string()},
        "oauth_test_server.py");
    ASSERT_NE(Server->Port(), 0);
    Http = "http://127.0.0.1:" + ReadFileBytes(Server->Spool() / "http_port");
    MakeState("127.0.0.1:" + std::to_string(Server->Port()));
  }

  std::string Path(const std::string& name) const { return (Dir.Path() / name).string(); }

  void MakeState(const std::string& server) {
    TKontoRec k;
    k.Absender = "Versand";
    k.Email = "Versand@Example.org";
    k.Server = server;
    k.User = "versand@example.org";
    MakeSendFolder(Dir.Path().string() + "/", k,
                   {{"p1@example.org", "N1", "V1", "", "", ""}, {"p2@example.org", "N2", "V2", "", "", ""}});
  }

  // No Secret Service here: the grants must go to the file.
  std::string Env() const {
    return "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent SSL_CERT_FILE='" + (Certs.Path() / "cert.pem").string() +
           "' ";
  }

  Result Cli(const std::string& args, const std::string& env = {}) {
    return CliIn(Dir.Path().string(), args, Out.Path(), Env() + env);
  }

  // Runs the sign-in; once the address is printed, fetches it (when
  // browse) as the user's browser would.
  Result SignIn(const std::string& provider, bool browse = true, const std::string& env = {}) {
    const std::string cmd = Env() + env + std::string(POSTELLO_BIN_DIR) + "/postello-cli oauth --account 0 " +
                            provider + " --dir '" + Dir.Path().string() + "' 2>'" + Out.Path().string() + "/e'";
    FILE* pipe = popen(cmd.c_str(), "r");
    Result r;
    if (pipe == nullptr) return r;
    char buf[8192];
    while (fgets(buf, sizeof buf, pipe) != nullptr) {
      r.out += buf;
      if (r.out.back() == '\n' && r.out.find('\n') == r.out.size() - 1 && browse) {
        std::string url = r.out;
        url.pop_back();
        Address = url;
        Fetched = Fetch(url);
      }
    }
    const int rc = pclose(pipe);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.err = ReadFileBytes(Out.Path() / "e");
    return r;
  }

  std::string Custom() const {
    return "--authorize-url " + Http + "/authorize --token-url " + Http +
           "/token --scope smtp --client-id postello-test-client";
  }

  void Control(const std::string& query) { ASSERT_EQ(Fetch(Http + "/control?" + query), 0); }

  std::string Log() const { return ReadFileBytes(Server->Spool() / "oauth.log"); }

  // Every token the provider handed out, from the grant file.
  std::vector<std::string> Tokens() const {
    const std::string text = ReadFileBytes(Dir.Path() / "oauth.dat");
    std::vector<std::string> out;
    const std::regex token("(AT|RT)-[0-9a-f]{24}");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), token); it != std::sregex_iterator(); ++it)
      out.push_back(it->str());
    return out;
  }

  // No token in any file but the grant store.
  void ExpectNoTokenOutside(const std::vector<std::string>& tokens, const Result& r) {
    for (const std::string& t : tokens) {
      EXPECT_EQ(r.out.find(t), std::string::npos) << t;
      EXPECT_EQ(r.err.find(t), std::string::npos) << t;
      for (const auto& e : std::filesystem::directory_iterator(Dir.Path())) {
        if (e.path().filename() == "oauth.dat") continue;
        EXPECT_EQ(ReadFileBytes(e.path()).find(t), std::string::npos) << t << " in " << e.path();
      }
    }
  }

  TTempDir Certs;
  std::unique_ptr<TSmtpTestServer> Server;
  std::string Http;
  TTempDir Dir;
  TTempDir Out;
  std::string Address;
  int Fetched = -1;
};

TEST_F(CliOAuthTest, SignsInAndSendsWithXOAuth2) {
  Result r = SignIn(Custom());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Fetched, 0);
  // One line on standard output: the address, with the PKCE challenge and
  // the loopback redirect.
  ASSERT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  EXPECT_TRUE(r.out.starts_with(Http + "/authorize?response_type=code&client_id=postello-test-client&"
                                       "redirect_uri=http%3A%2F%2F127.0.0.1%3A"))
      << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("&scope=smtp&state=[-_A-Za-z0-9]{22}&code_challenge=[-_A-Za-z0-9]{43}"
                                                  "&code_challenge_method=S256&login_hint=Versand%40Example.org\n$")))
      << r.out;
  EXPECT_NE(r.err.find(Utf8("\xD6" "ffnen Sie diese Adresse im Browser")), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Angemeldet: Konto 0 (Versand@Example.org, 127.0.0.1:"), std::string::npos) << r.err;
  EXPECT_EQ(Log(), "authorize login_hint=Versand@Example.org\ntoken authorization_code ok\n");

  // The grant is in the file, readable by the owner only.
  struct stat st {};
  ASSERT_EQ(stat(Path("oauth.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::vector<std::string> tokens = Tokens();
  ASSERT_EQ(tokens.size(), 2u);
  ExpectNoTokenOutside(tokens, r);

  r = Cli("send --mail 0 --account 0");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2 Mails von 2 verarbeitet 0 fehlgeschlagen.\n");
  ASSERT_EQ(Server->Count(), 2);
  EXPECT_NE(Server->Notes(1).find("\"mechanism\": \"XOAUTH2\""), std::string::npos) << Server->Notes(1);
  EXPECT_NE(Server->Notes(1).find("\"tls\": true"), std::string::npos);
  // Valid token: no refresh.
  EXPECT_EQ(Log(), "authorize login_hint=Versand@Example.org\ntoken authorization_code ok\nsmtp auth ok\nsmtp auth ok\n");
  ExpectNoTokenOutside(tokens, r);

  // Signing out removes the grant; the account is then one without
  // credentials, which the server refuses.
  r = Cli("oauth --account 0 --sign-out");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Das Konto 0 (Versand@Example.org, 127.0.0.1:" + std::to_string(Server->Port()) +
                       ") ist abgemeldet.\n");
  EXPECT_TRUE(Tokens().empty());
  r = Cli("oauth --account 0 --sign-out");
  EXPECT_EQ(r.out, "Das Konto 0 war nicht mit OAuth angemeldet.\n");
  r = Cli("send --mail 0 --account 0 --to p1@example.org");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Server->Count(), 2);
}

// The reply mailbox reads with the account's grant: with it, the sign-in
// asks Microsoft for IMAP access too.
TEST_F(CliOAuthTest, MailboxWithOAuthAsksMicrosoftForImap) {
  const std::string dir = Dir.Path().string() + "/";
  for (const bool mailbox : {false, true}) {
    TKontoList konten;
    ASSERT_EQ(TKontoStore::Open(dir, konten).Error, "");
    konten[0].Mailbox = {mailbox ? "outlook.office365.com:993" : "", "v", "", true, "INBOX", "Erledigt"};
    TPostfachStore::Save(dir, konten);
    const Result r = SignIn("--provider microsoft --client-id x", false, "POSTELLO_OAUTH_WAIT=1 ");
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string scope = std::string("&scope=https%3A%2F%2Foutlook.office.com%2FSMTP.Send%20") +
                              (mailbox ? "https%3A%2F%2Foutlook.office.com%2FIMAP.AccessAsUser.All%20" : "") +
                              "offline_access&";
    EXPECT_NE(r.out.find(scope), std::string::npos) << mailbox << r.out;
  }
}

TEST_F(CliOAuthTest, ExpiredTokenIsRenewedBeforeTheSend) {
  // A lifetime shorter than the slack: the token counts as expired at once.
  Control("expires_in=30");
  Result r = SignIn(Custom());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> first = Tokens();
  Control("expires_in=3600");
  r = Cli("send --mail 0 --account 0 --to p1@example.org");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Server->Count(), 1);
  EXPECT_EQ(Log(), "authorize login_hint=Versand@Example.org\ntoken authorization_code ok\n"
                   "token refresh_token ok\nsmtp auth ok\n");
  // The renewed tokens replaced the old ones in the store.
  const std::vector<std::string> second = Tokens();
  ASSERT_EQ(second.size(), 2u);
  EXPECT_NE(second, first);
  ExpectNoTokenOutside(second, r);
  ExpectNoTokenOutside(first, r);
}

TEST_F(CliOAuthTest, RefusedTokenIsRenewedAndTriedOnce) {
  Result r = SignIn(Custom());
  ASSERT_EQ(r.status, 0) << r.err;
  // The provider stops taking the token before its time: the server's
  // error challenge, the renewal, the second try.
  Control("invalidate=1");
  r = Cli("send --mail 0 --account 0 --to p1@example.org");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Server->Count(), 1);
  EXPECT_EQ(Log(), "authorize login_hint=Versand@Example.org\ntoken authorization_code ok\n"
                   "smtp auth refused\ntoken refresh_token ok\nsmtp auth ok\n");
}

TEST_F(CliOAuthTest, RevokedRefreshTokenAsksToSignInAgain) {
  Result r = SignIn(Custom());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> tokens = Tokens();
  Control("invalidate=1&revoke=1");
  r = Cli("send --mail 0 --account 0");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Server->Count(), 0);
  const std::string reason = ": Anmeldung mit OAuth abgelaufen oder widerrufen (Anmeldeserver lehnt ab (HTTP 400, "
                             "invalid_grant): AADSTS70000: refresh token revoked), bitte melden Sie sich neu an\n";
  EXPECT_EQ(r.err, "Fehler beim Senden der Nachricht an p1@example.org" + reason +
                       "Fehler beim Senden der Nachricht an p2@example.org" + reason);
  // The provider is asked once; the second message knows the answer.
  EXPECT_EQ(Log(), "authorize login_hint=Versand@Example.org\ntoken authorization_code ok\n"
                   "smtp auth refused\ntoken refresh_token refused\nsmtp auth refused\n");
  ExpectNoTokenOutside(tokens, r);
  // The grant stays until the user signs in again.
  EXPECT_EQ(Tokens(), tokens);
}

// With a Secret Service (gnome-keyring in a D-Bus session of its own) the
// grant goes to the keyring: no token file, only the list of keys, and the
// send finds it there.
TEST_F(CliOAuthTest, KeyringHoldsTheGrantWhenThereIsOne) {
  if (std::system("command -v dbus-run-session >/dev/null && command -v gnome-keyring-daemon >/dev/null") != 0)
    GTEST_SKIP() << "dbus-run-session or gnome-keyring-daemon missing";
  TTempDir home;
  const std::string cli = std::string(POSTELLO_BIN_DIR) + "/postello-cli";
  const std::string dir = " --dir '" + Dir.Path().string() + "'";
  const std::string out = Out.Path().string();
  const std::string script =
      "set -u\n"
      "echo -n postello | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1\n"
      "'" + cli + "' oauth --account 0 " + Custom() + dir + " >'" + out + "/address' 2>'" + out + "/signin' &\n"
      "pid=$!\n"
      "for i in $(seq 100); do [ -s '" + out + "/address' ] && break; sleep 0.1; done\n"
      "python3 -c 'import sys, urllib.request; urllib.request.build_opener(urllib.request.ProxyHandler({}))"
      ".open(sys.argv[1], timeout=20).read()' \"$(head -n1 '" + out + "/address')\"\n"
      "wait $pid; echo \"signin $?\" >'" + out + "/status'\n"
      "'" + cli + "' send --mail 0 --account 0 --to p1@example.org" + dir + " >'" + out + "/send' 2>&1; echo \"send $?\" >>'" + out + "/status'\n"
      "'" + cli + "' oauth --account 0 --sign-out" + dir + " >'" + out + "/signout' 2>&1; echo \"signout $?\" >>'" + out + "/status'\n"
      "'" + cli + "' send --mail 0 --account 0 --to p2@example.org" + dir + " >/dev/null 2>&1; echo \"send $?\" >>'" + out + "/status'\n";
  WriteBytes(home.Path() / "script.sh", script);
  const std::string cmd = "env -u DBUS_SESSION_BUS_ADDRESS HOME='" + home.Path().string() + "' XDG_DATA_HOME='" +
                          home.Path().string() + "/data' XDG_RUNTIME_DIR='" + home.Path().string() +
                          "' SSL_CERT_FILE='" + (Certs.Path() / "cert.pem").string() +
                          "' timeout 120 dbus-run-session -- bash '" + (home.Path() / "script.sh").string() +
                          "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(ReadFileBytes(Out.Path() / "status"), "signin 0\nsend 0\nsignout 0\nsend 1\n")
      << ReadFileBytes(Out.Path() / "signin") << ReadFileBytes(Out.Path() / "send");
  EXPECT_NE(ReadFileBytes(Out.Path() / "signin").find(Utf8("Gespeichert: Schl\xFCsselbund des Systems.")),
            std::string::npos)
      << ReadFileBytes(Out.Path() / "signin");
  EXPECT_EQ(Server->Count(), 1);
  EXPECT_EQ(Log(), "authorize login_hint=Versand@Example.org\ntoken authorization_code ok\nsmtp auth ok\n");
  // No token on disk in the data folder; the list of keys is empty again
  // after the sign-out.
  EXPECT_FALSE(std::filesystem::exists(Path("oauth.dat")));
  EXPECT_EQ(ReadFileBytes(Dir.Path() / "oauth-schluessel.dat"), "");
  EXPECT_NE(ReadFileBytes(Out.Path() / "signout").find("ist abgemeldet."), std::string::npos);
}

// The client secret comes from standard input or from a file only its
// owner can read, and reaches the token endpoint.
TEST_F(CliOAuthTest, ClientSecretFromStandardInputOrAPrivateFile) {
  WriteBytes(Out.Path() / "secret", "S3CRET-1\r\nsecond line\n");
  ::chmod((Out.Path() / "secret").c_str(), 0600);
  const std::string file = (Out.Path() / "secret").string();
  for (const std::string& how : {"--client-secret-stdin <'" + file + "'", "--client-secret-file '" + file + "'"}) {
    const Result r = SignIn(Custom() + " " + how);
    EXPECT_EQ(r.status, 0) << how << r.err;
    EXPECT_EQ(r.err.find("S3CRET"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Log(), "authorize login_hint=Versand@Example.org\ntoken authorization_code ok secret=S3CRET-1\n"
                   "authorize login_hint=Versand@Example.org\ntoken authorization_code ok secret=S3CRET-1\n");
}

struct THostileCase {
  const char* Name;
  const char* Control;
  bool Browse;
  const char* Message;  // Windows-1252
};

class CliOAuthHostileTest : public CliOAuthTest, public ::testing::WithParamInterface<THostileCase> {};

TEST_P(CliOAuthHostileTest, GivesTheReasonAndStoresNothing) {
  const THostileCase& c = GetParam();
  if (*c.Control != '\0') Control(c.Control);
  const Result r = SignIn(Custom(), c.Browse, "POSTELLO_OAUTH_WAIT=2 ");
  EXPECT_EQ(r.status, 1) << r.err;
  // The hint, then the reason, nothing else.
  const size_t hintEnd = r.err.find('\n');
  ASSERT_NE(hintEnd, std::string::npos);
  EXPECT_EQ(r.err.substr(hintEnd + 1), Utf8(c.Message) + "\n");
  EXPECT_FALSE(std::filesystem::exists(Path("oauth.dat")));
  // Nothing the provider sent back, and nothing of the request, in the message.
  EXPECT_EQ(r.err.find("CODE-"), std::string::npos) << r.err;
  EXPECT_FALSE(std::regex_search(r.err, std::regex("(AT|RT)-[0-9a-f]{24}"))) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CliOAuthHostileTest,
    ::testing::Values(
        THostileCase{"StateMismatch", "authorize=wrong-state", true,
                     "Anmeldung: der Browser kam nicht innerhalb von 2 Sekunden zur\xFC" "ck; eine Antwort, die nicht "
                     "zu dieser Anmeldung geh\xF6rt (state stimmt nicht), wurde abgewiesen; nichts gespeichert"},
        THostileCase{"AccessDenied", "authorize=deny", true,
                     "Anmeldung abgelehnt oder abgebrochen (access_denied): The user said no; nichts gespeichert"},
        THostileCase{"TokenError", "token=error", true,
                     "Anmeldung: Token nicht erhalten: Anmeldeserver lehnt ab (HTTP 400, invalid_request): cannot "
                     "use ******; nichts gespeichert"},
        THostileCase{"TokenGarbage", "token=garbage", true,
                     "Anmeldung: Token nicht erhalten: Anmeldeserver antwortet unverst\xE4ndlich (HTTP 200, keine "
                     "Token-Antwort); nichts gespeichert"},
        THostileCase{"NoRedirect", "", false,
                     "Anmeldung: der Browser kam nicht innerhalb von 2 Sekunden zur\xFC" "ck; nichts gespeichert"}),
    [](const ::testing::TestParamInfo<THostileCase>& info) { return std::string(info.param.Name); });

TEST_F(CliOAuthTest, WrongArgumentsAreRefusedBeforeAnything) {
  const struct {
    std::string Args;
    std::string Message;
  } cases[] = {
      {"--provider microsoft", "--client-id fehlt"},
      {"--provider yahoo --client-id x", "--provider kennt microsoft und google"},
      {"--provider google --tenant x --client-id x", "--tenant gibt es nur mit --provider microsoft"},
      {"--provider microsoft --tenant 'a/b' --client-id x", "Mandant \"a/b\" ung"},
      {"--authorize-url " + Http + "/authorize --client-id x", "braucht --authorize-url, --token-url und --scope"},
      {"--provider google --scope x --client-id x", "schlie"},
      {"--client-id x", "--provider microsoft, --provider google oder"},
      {"--authorize-url " + Http + "/authorize --token-url http://example.org/token --scope x --client-id x",
       "die Token-Adresse muss mit https:// beginnen"},
      {"--authorize-url http://example.org/authorize --token-url " + Http + "/token --scope x --client-id x",
       "die Autorisierungsadresse muss mit https:// beginnen"},
      // A secret on the command line is there for every user to read.
      {Custom() + " --client-secret geheim",
       "unbekannte Option --client-secret (gemeint: --client-secret-stdin oder --client-secret-file?)"},
      {Custom() + " --client-secret-file '" + Path("open-secret") + "'",
       Utf8("mit dem Clientschl\xFCssel ist f\xFCr andere lesbar")},
      {Custom() + " --client-secret-stdin </dev/null", Utf8("Der Clientschl\xFCssel ist leer.")},
  };
  WriteBytes(Dir.Path() / "open-secret", "geheim\n");
  ::chmod(Path("open-secret").c_str(), 0644);
  for (const auto& c : cases) {
    const Result r = Cli("oauth --account 0 " + c.Args);
    EXPECT_NE(r.status, 0) << c.Args;
    EXPECT_NE(r.err.find(c.Message), std::string::npos) << c.Args << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.Args;
    EXPECT_FALSE(std::filesystem::exists(Path("oauth.dat")));
  }
  const Result r = Cli("oauth --account 3 --provider google --client-id x");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Es gibt kein Konto Nummer 3"), std::string::npos) << r.err;
}

} // namespace
