// The pieces of an OAuth sign-in on their own: encodings and PKCE, the
// token endpoint's JSON and HTTP answers, URLs, the grant's text form, the
// grant file, and the loopback listener.
#include "oauth/OAuthJson.h"
#include "oauth/OAuthText.h"
#include "oauth/TFileGrantStore.h"
#include "oauth/THttpPost.h"
#include "oauth/TLoopbackListener.h"
#include "oauth/TOAuthProvider.h"
#include "oauth/TOAuthTokenEndpoint.h"
#include "send/TOAuthTokens.h"
#include "send/SendRunSupport.h"
#include "smtp/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <thread>

using namespace postello;
using postello::test::TTempDir;

namespace {

using TMap = std::map<std::string, std::string>;

// RFC 7636, appendix B.
TEST(OAuthText, PkceChallengeOfTheRfcExample) {
  EXPECT_EQ(PkceChallengeS256("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
            "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST(OAuthText, Base64UrlWithoutPadding) {
  const struct {
    std::string In, Out;
  } cases[] = {{"", ""}, {"f", "Zg"}, {"fo", "Zm8"}, {"foo", "Zm9v"}, {"foob", "Zm9vYg"},
               {"\xFB\xFF", "-_8"}, {"\xFF\xFF\xFE", "___-"}};
  for (const auto& c : cases) EXPECT_EQ(Base64UrlEncode(c.In), c.Out) << c.In;
}

TEST(OAuthText, RandomTokensAreUrlSafeAndDiffer) {
  const std::string a = RandomUrlToken(32), b = RandomUrlToken(32);
  EXPECT_EQ(a.size(), 43u);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"), std::string::npos);
}

TEST(OAuthText, PercentEncodingRoundTripsEveryByte) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  const std::string encoded = PercentEncode(all);
  EXPECT_EQ(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%"),
            std::string::npos);
  EXPECT_EQ(PercentDecode(encoded), all);
  EXPECT_EQ(PercentEncode("a b/c:d"), "a%20b%2Fc%3Ad");
  EXPECT_EQ(PercentDecode("a+b%2b"), "a b+");
  for (const char* bad : {"%", "%4", "%zz", "a%g0"}) EXPECT_FALSE(PercentDecode(bad).has_value()) << bad;
}

TEST(OAuthText, QueryParsing) {
  EXPECT_EQ(ParseQuery("code=a%2Fb&state=x&&empty=&flag&code=second"),
            (TMap{{"code", "a/b"}, {"state", "x"}, {"empty", ""}, {"flag", ""}}));
  EXPECT_EQ(ParseQuery(""), TMap{});
  EXPECT_FALSE(ParseQuery("code=%ZZ").has_value());
  EXPECT_EQ(FormEncode({{"grant_type", "refresh_token"}, {"refresh_token", "a+b/c="}}),
            "grant_type=refresh_token&refresh_token=a%2Bb%2Fc%3D");
}

TEST(OAuthText, SecretsAreCutOut) {
  EXPECT_EQ(WithoutSecrets("a SECRET b SECRETSECRET", {"SECRET", ""}), "a *** b ******");
  EXPECT_EQ(WithoutSecrets("nothing", {}), "nothing");
}

TEST(OAuthJson, TokenAnswer) {
  const auto m = ParseJsonObject(
      " {\"access_token\":\"a\\/b\\u00e9\\ud83d\\ude00\",\"expires_in\":3599,\"ext_expires_in\":3.5e1,"
      "\"token_type\":\"Bearer\",\"scope\":[\"x\",{\"y\":null}],\"id\":{\"n\":[1,2]},\"ok\":true,\"no\":null}\n");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->at("access_token"), "a/b\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(m->at("expires_in"), "3599");
  EXPECT_EQ(m->at("ext_expires_in"), "3.5e1");
  EXPECT_EQ(m->at("scope"), "");
  EXPECT_EQ(m->at("ok"), "true");
  EXPECT_EQ(m->at("no"), "null");
}

TEST(OAuthJson, HostileTextIsRefused) {
  std::string deep(40, '[');
  deep = "{\"a\":" + deep + std::string(40, ']') + "}";
  for (const std::string& bad :
       {std::string(""), std::string("[]"), std::string("{"), std::string("{\"a\":1,}"), std::string("{\"a\" 1}"),
        std::string("{\"a\":\"\n\"}"), std::string("{\"a\":\"\\x\"}"), std::string("{\"a\":\"\\ud800\"}"),
        std::string("{\"a\":\"\\udc00\"}"), std::string("{\"a\":01x}"), std::string("{\"a\":1} {}"),
        std::string("{\"a\":tru}"), std::string("{\"a\":-}"), std::string("{\"a\":1.}"), std::string("<html>"),
        deep})
    EXPECT_FALSE(ParseJsonObject(bad).has_value()) << bad;
  EXPECT_EQ(ParseJsonObject("{\"a\":\"1\",\"a\":\"2\"}")->at("a"), "1");
}

TEST(OAuthHttp, UrlParsing) {
  const auto u = ParseHttpUrl("https://login.example.org/t/oauth2/v2.0/token?x=1");
  ASSERT_TRUE(u.has_value());
  EXPECT_EQ(u->Scheme, "https");
  EXPECT_EQ(u->Host, "login.example.org");
  EXPECT_EQ(u->Port, "443");
  EXPECT_EQ(u->Target, "/t/oauth2/v2.0/token?x=1");
  const auto v = ParseHttpUrl("HTTP://[::1]:8080");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->Host, "::1");
  EXPECT_EQ(v->Port, "8080");
  EXPECT_EQ(v->Target, "/");
  for (const char* bad : {"ftp://x/", "https://", "https://user@host/", "https://host:0/", "https://host:70000/",
                          "https://host/a b", "https://host/#frag", "host/path", "https://[::1/"})
    EXPECT_FALSE(ParseHttpUrl(bad).has_value()) << bad;
}

TEST(OAuthHttp, LoopbackHosts) {
  for (const char* host : {"127.0.0.1", "127.1.2.3", "::1", "localhost", "LOCALHOST"})
    EXPECT_TRUE(IsLoopbackHost(host)) << host;
  for (const char* host : {"128.0.0.1", "10.0.0.1", "example.org", "::2", "localhost.example.org", "127.0.0.1.nip.io"})
    EXPECT_FALSE(IsLoopbackHost(host)) << host;
}

TEST(OAuthHttp, PlainHttpOnlyToThisMachine) {
  const THttpAnswer a = PostForm("http://login.example.org/token", "x=1");
  EXPECT_FALSE(a.Answered);
  EXPECT_EQ(a.Reason, "Anmeldeserver ohne Verschl\xFCsselung (http) wird nicht benutzt");
}

// The token endpoint over TLS: only with a certificate that verifies for
// the host, and then the exact request arrives and the chunked answer is
// read.
TEST(OAuthHttp, HttpsOnlyWithAVerifiedCertificate) {
  const struct {
    std::string AltNames;
    bool Trusted;
    std::string Reason;
    bool Expired = false;
  } cases[] = {
      {"IP:127.0.0.1", false, "Anmeldeserver 127.0.0.1: Zertifikat nicht vertrauensw\xFCrdig"},
      {"DNS:login.example.org", true, "Anmeldeserver 127.0.0.1: Zertifikat gilt f\xFCr einen anderen Namen"},
      {"IP:127.0.0.1", true, "Anmeldeserver 127.0.0.1: Zertifikat abgelaufen", true},
      {"IP:127.0.0.1", true, ""},
  };
  for (const auto& c : cases) {
    TTempDir certs;
    if (c.Expired)
      postello::test::MakeExpiredCertificate(certs.Path(), c.AltNames);
    else
      postello::test::MakeCertificate(certs.Path(), c.AltNames);
    postello::test::TSmtpTestServer server({"--cert", (certs.Path() / "cert.pem").string(), "--key",
                                            (certs.Path() / "key.pem").string()},
                                           "https_token_server.py");
    ASSERT_NE(server.Port(), 0);
    if (c.Trusted) setenv("SSL_CERT_FILE", (certs.Path() / "cert.pem").c_str(), 1);
    const std::string port = std::to_string(server.Port());
    const THttpAnswer a = PostForm("https://127.0.0.1:" + port + "/oauth2/token?x=1", "grant_type=refresh_token&a=%2B");
    unsetenv("SSL_CERT_FILE");
    if (!c.Reason.empty()) {
      EXPECT_FALSE(a.Answered) << c.AltNames;
      EXPECT_EQ(a.Reason, c.Reason) << c.AltNames;
      continue;
    }
    ASSERT_TRUE(a.Answered) << a.Reason;
    EXPECT_EQ(a.Status, 200);
    const auto json = ParseJsonObject(a.Body);
    ASSERT_TRUE(json.has_value()) << a.Body;
    EXPECT_EQ(json->at("access_token"), "AT");
    EXPECT_EQ(json->at("path"), "/oauth2/token?x=1");
    EXPECT_EQ(json->at("host"), "127.0.0.1:" + port);
    EXPECT_EQ(json->at("type"), "application/x-www-form-urlencoded");
    EXPECT_NE(a.Body.find("\"form\": {\"grant_type\": \"refresh_token\", \"a\": \"+\"}"), std::string::npos) << a.Body;
  }
}

TEST(OAuthHttp, NoServerGivesTheReason) {
  // A port nobody listens on: bind one, close it, use its number.
  int port = 0;
  {
    TLoopbackListener probe;
    port = probe.Port();
  }
  const THttpAnswer a = PostForm("http://127.0.0.1:" + std::to_string(port) + "/token", "x=1");
  EXPECT_FALSE(a.Answered);
  EXPECT_EQ(a.Reason, "Verbindung zum Anmeldeserver 127.0.0.1:" + std::to_string(port) + " abgelehnt");
}

// A peer on loopback that answers each connection with fixed bytes (after
// reading the request's head and body) and then closes; Silent ones say
// nothing until the test ends. Keeps the first line of every request.
class TScriptedPeer {
public:
  explicit TScriptedPeer(std::string answer, bool silent = false) : FAnswer(std::move(answer)), FSilent(silent) {
    FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(FSocket, 8);
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len);
    FPort = ntohs(addr.sin_port);
    FThread = std::thread([this] { Serve(); });
  }
  ~TScriptedPeer() {
    FStop = true;
    ::shutdown(FSocket, SHUT_RDWR);
    FThread.join();
    ::close(FSocket);
  }
  std::string Port() const { return std::to_string(FPort); }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(FLock);
    return FRequests;
  }

private:
  void Serve() {
    for (int fd; !FStop && (fd = ::accept(FSocket, nullptr, nullptr)) >= 0;) {
      std::string raw;
      char buf[4096];
      size_t need = std::string::npos;
      while (raw.size() < need) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        raw.append(buf, static_cast<size_t>(n));
        const size_t head = raw.find("\r\n\r\n");
        if (head == std::string::npos) continue;
        const size_t cl = raw.find("Content-Length: ");
        need = head + 4 + (cl < head ? std::stoul(raw.substr(cl + 16)) : 0);
      }
      {
        std::lock_guard<std::mutex> lock(FLock);
        FRequests.push_back(raw.substr(0, raw.find("\r\n")));
      }
      if (FSilent)
        while (!FStop) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      else
        (void)::send(fd, FAnswer.data(), FAnswer.size(), MSG_NOSIGNAL);
      ::close(fd);
    }
  }

  std::string FAnswer;
  bool FSilent;
  int FSocket = -1;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  std::mutex FLock;
  std::vector<std::string> FRequests;
  std::thread FThread;
};

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// What the token endpoint sends, and what the client makes of it; no
// answer may crash it, hold it past its time or make it follow elsewhere.
TEST(OAuthHttp, HostileAndOddAnswers) {
  const std::string ok = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
  const struct {
    std::string Answer;
    int Status;  // 0: not answered
    std::string BodyOrReason;
    bool Silent = false;
    bool Cancel = false;
  } cases[] = {
      {ok + "Content-Length: 2\r\n\r\n{}", 200, "{}"},
      {ok + "Transfer-Encoding: chunked\r\n\r\n3;x=y\r\n{\"a\r\n9\r\n\":\"0123\"}\r\n0\r\n\r\n", 200,
       "{\"a\":\"0123\"}"},
      {"HTTP/1.0 400 Bad\r\n\r\n{\"error\":1}", 400, "{\"error\":1}"},
      {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n", 201, ""},
      {"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/elsewhere\r\nContent-Length: 0\r\n\r\n", 302, ""},
      {Repeat("HTTP/1.1 100\r\n\r\n", 25000) + ok + "Content-Length: 2\r\n\r\n{}", 0,
       "Antwort des Anmeldeservers zu gro\xDF"},
      {ok + "Content-Length: 2000000\r\n\r\n" + std::string(2000000, ' '), 0, "Antwort des Anmeldeservers zu gro\xDF"},
      {"HTTP/1.0 200 OK\r\n\r\n" + std::string(2000000, ' '), 0, "Antwort des Anmeldeservers zu gro\xDF"},
      {ok + "Content-Length: 3\r\n\r\n{}", 0, "Antwort des Anmeldeservers unvollst\xE4ndig"},
      {"", 0, "Anmeldeserver hat ohne Antwort geschlossen"},
      {"SMTP 220 hello\r\n\r\n", 0, "Antwort des Anmeldeservers ist kein HTTP"},
      {"", 0, "keine Antwort vom Anmeldeserver 127.0.0.1:", true},
      {"", 0, "vom Benutzer abgebrochen", true, true},
  };
  for (const auto& c : cases) {
    TScriptedPeer peer(c.Answer, c.Silent);
    std::atomic<bool> cancel{false};
    THttpOptions options;
    options.TimeoutMs = c.Cancel ? 60000 : 1500;
    options.Cancel = &cancel;
    std::thread canceller;
    if (c.Cancel)
      canceller = std::thread([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
      });
    const auto start = std::chrono::steady_clock::now();
    const THttpAnswer a = PostForm("http://127.0.0.1:" + peer.Port() + "/token", "x=1", options);
    if (canceller.joinable()) canceller.join();
    const std::string label = c.Answer.substr(0, 40);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << label;
    EXPECT_EQ(peer.Requests(), std::vector<std::string>{"POST /token HTTP/1.1"}) << label;
    EXPECT_EQ(a.Answered, c.Status != 0) << label << a.Reason;
    EXPECT_EQ(a.Status, c.Status) << label;
    if (c.Status != 0)
      EXPECT_EQ(a.Body, c.BodyOrReason) << label;
    else
      EXPECT_TRUE(a.Reason.starts_with(c.BodyOrReason)) << label << ": " << a.Reason;
  }
}

// An office network reaches the provider through the proxy the
// environment names; the token request to this machine in clear never
// goes there.
TEST(OAuthHttp, TakesTheProxyOfTheEnvironment) {
  int closed = 0;
  {
    TLoopbackListener probe;
    closed = probe.Port();
  }
  TScriptedPeer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}");
  const struct {
    std::string Url;
    std::string NoProxy;
    std::string ProxySees;  // "" for nothing
    std::string Reason;     // "" for the server's answer
  } cases[] = {
      {"https://login.example.invalid/token", "", "CONNECT login.example.invalid:443 HTTP/1.1",
       "Proxy lehnt die Verbindung zum Anmeldeserver login.example.invalid:443 ab (HTTP 403)"},
      {"https://127.0.0.1:" + std::to_string(closed) + "/token", "127.0.0.1", "",
       "Verbindung zum Anmeldeserver 127.0.0.1:" + std::to_string(closed) + " abgelehnt"},
      {"http://127.0.0.1:" + server.Port() + "/token", "", "", ""},
  };
  for (const auto& c : cases) {
    TScriptedPeer proxy("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
    const std::string proxyUrl = "http://127.0.0.1:" + proxy.Port();
    for (const char* name : {"https_proxy", "http_proxy", "all_proxy"}) setenv(name, proxyUrl.c_str(), 1);
    setenv("no_proxy", c.NoProxy.c_str(), 1);
    const THttpAnswer a = PostForm(c.Url, "x=1");
    for (const char* name : {"https_proxy", "http_proxy", "all_proxy", "no_proxy"}) unsetenv(name);
    EXPECT_EQ(proxy.Requests(), c.ProxySees.empty() ? std::vector<std::string>{} : std::vector{c.ProxySees}) << c.Url;
    EXPECT_EQ(a.Reason, c.Reason) << c.Url;
    EXPECT_EQ(a.Answered, c.Reason.empty()) << c.Url;
  }
}

TEST(OAuthTokenAnswer, ReadsTokensAndRefusals) {
  THttpAnswer http;
  http.Answered = true;
  http.Status = 200;
  http.Body = R"({"access_token":"AT","token_type":"bearer","expires_in":"3600","refresh_token":"RT"})";
  TTokenAnswer a = ParseTokenAnswer(http, {});
  EXPECT_TRUE(a.Ok);
  EXPECT_EQ(a.AccessToken, "AT");
  EXPECT_EQ(a.RefreshToken, "RT");
  EXPECT_EQ(a.ExpiresIn, 3600);

  const struct {
    int Status;
    std::string Body;
    std::string Reason;
    bool GrantRefused;
  } cases[] = {
      {400, R"({"error":"invalid_grant","error_description":"token SECRET revoked"})",
       "Anmeldeserver lehnt ab (HTTP 400, invalid_grant): token *** revoked", true},
      {200, R"({"error":"access_denied"})", "Anmeldeserver lehnt ab (HTTP 200, access_denied)", true},
      {500, "<html>SECRET</html>", "Anmeldeserver antwortet unverst\xE4ndlich (HTTP 500, keine Token-Antwort)", false},
      // A secret where the long text is cut goes as a whole.
      {400, "{\"error\":\"invalid_grant\",\"error_description\":\"" + std::string(195, 'x') + "SECRET tail\"}",
       "Anmeldeserver lehnt ab (HTTP 400, invalid_grant): " + std::string(195, 'x') + "*** t...", true},
      {200, R"({"token_type":"Bearer"})", "Anmeldeserver hat kein Zugriffstoken geschickt", false},
      {200, R"({"access_token":"x","token_type":"mac"})",
       "Anmeldeserver schickt ein Token der Art \"mac\" statt \"Bearer\"", false},
      {200, R"({"access_token":"x\r\nQUIT","token_type":"Bearer"})",
       "Anmeldeserver hat ein unbrauchbares Token geschickt", false},
  };
  for (const auto& c : cases) {
    http.Status = c.Status;
    http.Body = c.Body;
    a = ParseTokenAnswer(http, {"SECRET"});
    EXPECT_FALSE(a.Ok) << c.Body;
    EXPECT_EQ(a.Reason, c.Reason) << c.Body;
    EXPECT_EQ(a.GrantRefused, c.GrantRefused) << c.Body;
  }
}

// The lifetime is added to the clock; no answer may make that overflow.
TEST(OAuthTokenAnswer, LifetimeIsBounded) {
  const struct {
    std::string ExpiresIn;
    std::int64_t Seconds;
  } cases[] = {{"3599", 3599}, {"31536001", MaxExpiresIn}, {"9223372036854775807", MaxExpiresIn},
               {"99999999999999999999", MaxExpiresIn}, {"-99999999999999999999", 0}, {"\"12x\"", 0}};
  THttpAnswer http;
  http.Answered = true;
  http.Status = 200;
  for (const auto& c : cases) {
    http.Body = R"({"access_token":"AT","token_type":"Bearer","expires_in":)" + c.ExpiresIn + "}";
    const TTokenAnswer a = ParseTokenAnswer(http, {});
    EXPECT_TRUE(a.Ok) << c.ExpiresIn;
    EXPECT_EQ(a.ExpiresIn, c.Seconds) << c.ExpiresIn;
  }
}

TEST(OAuthProvider, PresetsAndAuthorizeAddress) {
  TOAuthProvider ms = TOAuthProvider::Microsoft();
  EXPECT_EQ(ms.AuthorizeUrl, "https://login.microsoftonline.com/common/oauth2/v2.0/authorize");
  EXPECT_EQ(ms.TokenUrl, "https://login.microsoftonline.com/common/oauth2/v2.0/token");
  EXPECT_EQ(ms.Scope, "https://outlook.office.com/SMTP.Send offline_access");
  EXPECT_EQ(TOAuthProvider::Microsoft("contoso.onmicrosoft.com").TokenUrl,
            "https://login.microsoftonline.com/contoso.onmicrosoft.com/oauth2/v2.0/token");
  EXPECT_THROW(TOAuthProvider::Microsoft("a/../b"), std::invalid_argument);
  EXPECT_THROW(TOAuthProvider::Microsoft("a?b"), std::invalid_argument);
  ms.ClientId = "id 1";
  EXPECT_EQ(ms.AuthorizeAddress("http://127.0.0.1:5000/", "CH", "ST", "a@b.de"),
            "https://login.microsoftonline.com/common/oauth2/v2.0/authorize?response_type=code&client_id=id%201&"
            "redirect_uri=http%3A%2F%2F127.0.0.1%3A5000%2F&scope=https%3A%2F%2Foutlook.office.com%2FSMTP.Send%20"
            "offline_access&state=ST&code_challenge=CH&code_challenge_method=S256&login_hint=a%40b.de");
  TOAuthProvider google = TOAuthProvider::Google();
  EXPECT_EQ(google.Scope, "https://mail.google.com/");
  const std::string g = google.AuthorizeAddress("http://127.0.0.1:1/", "C", "S", "");
  EXPECT_TRUE(g.starts_with("https://accounts.google.com/o/oauth2/v2/auth?response_type=code&")) << g;
  EXPECT_TRUE(g.ends_with("&access_type=offline&prompt=consent")) << g;
  EXPECT_EQ(g.find("login_hint"), std::string::npos);
  // An authorization URL with a query of its own keeps it.
  EXPECT_TRUE(TOAuthProvider::Custom("https://x/auth?tenant=1", "https://x/t", "s")
                  .AuthorizeAddress("r", "c", "s", "")
                  .starts_with("https://x/auth?tenant=1&response_type=code&"));
}

// A mailbox signing in with the account's grant needs IMAP access: only
// the Microsoft preset lacks it, and asking twice adds nothing.
TEST(OAuthProvider, MailboxScope) {
  const struct {
    TOAuthProvider Provider;
    std::string Scope;
  } cases[] = {
      {TOAuthProvider::Microsoft("contoso.com"),
       "https://outlook.office.com/SMTP.Send https://outlook.office.com/IMAP.AccessAsUser.All offline_access"},
      {TOAuthProvider::Google(), "https://mail.google.com/"},
      {TOAuthProvider::Custom("https://x/a", "https://x/t", "smtp"), "smtp"},
  };
  for (auto c : cases) {
    c.Provider.AddMailboxScope();
    c.Provider.AddMailboxScope();
    EXPECT_EQ(c.Provider.Scope, c.Scope) << c.Provider.Name;
  }
}

TOAuthGrant SampleGrant(const std::string& account = "Versand@Example.org") {
  TOAuthGrant g;
  g.Account = account;
  g.Server = "smtp.office365.com:587";
  g.Provider = "microsoft";
  g.TokenUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
  g.ClientId = "c1";
  g.Scope = "https://outlook.office.com/SMTP.Send offline_access";
  g.AccessToken = "eyJ0.a=b&c\nd";
  g.RefreshToken = "0.AX%";
  g.ExpiresAt = 1765000000;
  return g;
}

TEST(OAuthGrant, TextRoundTripAndKey) {
  const TOAuthGrant g = SampleGrant();
  EXPECT_EQ(g.Key(), "versand@example.org smtp.office365.com:587");
  const std::string text = g.Encode();
  EXPECT_EQ(text.find("eyJ0.a=b&c\nd"), std::string::npos);  // line ends are escaped
  const auto back = TOAuthGrant::Decode(text);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->Encode(), text);
  EXPECT_EQ(back->AccessToken, g.AccessToken);
  EXPECT_EQ(back->ExpiresAt, g.ExpiresAt);
  for (const std::string& bad : {std::string(), text.substr(1), text.substr(0, text.size() - 1),
                                 text + "broken\n", text + "x=%zz\n"})
    EXPECT_FALSE(TOAuthGrant::Decode(bad).has_value());
  std::string noExpiry = text;
  noExpiry.erase(noExpiry.find("expires_at="));
  EXPECT_FALSE(TOAuthGrant::Decode(noExpiry).has_value());
}

TEST(OAuthGrantFile, PrivateFileHoldingSeveralGrants) {
  TTempDir dir;
  const std::string folder = dir.Path().string() + "/";
  TFileGrantStore store(folder);
  EXPECT_FALSE(store.Load("x").has_value());
  EXPECT_FALSE(store.Remove("x"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "oauth.dat"));
  store.Save(SampleGrant());
  store.Save(SampleGrant("zweit@example.org"));
  struct stat st {};
  ASSERT_EQ(stat((dir.Path() / "oauth.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(TFileGrantStore(folder).Load(SampleGrant().Key())->Encode(), SampleGrant().Encode());
  EXPECT_EQ(TFileGrantStore(folder).Load(SampleGrant("zweit@example.org").Key())->Account, "zweit@example.org");
  EXPECT_TRUE(store.Remove(SampleGrant().Key()));
  EXPECT_FALSE(store.Load(SampleGrant().Key()).has_value());
  EXPECT_TRUE(store.Load(SampleGrant("zweit@example.org").Key()).has_value());
}

TEST(OAuthGrantFile, AnOpenFileBecomesPrivateAndADamagedOneIsKept) {
  TTempDir dir;
  const std::string folder = dir.Path().string() + "/";
  const auto path = dir.Path() / "oauth.dat";
  postello::test::WriteBytes(path, "nonsense");
  ::chmod(path.c_str(), 0644);
  TFileGrantStore store(folder);
  EXPECT_FALSE(store.Load(SampleGrant().Key()).has_value());
  EXPECT_TRUE(std::filesystem::exists(dir.Path() / "oauth.dat.defekt"));
  store.Save(SampleGrant());
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(store.Load(SampleGrant().Key()).has_value());
}

// A connection to the listener's port; -1 when refused.
int Connect(int port, const char* address = "127.0.0.1") {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address, &addr.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// A browser's GET on the listener's port.
std::string Get(int port, const std::string& target) {
  const int fd = Connect(port);
  if (fd < 0) return {};
  const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  (void)::send(fd, request.data(), request.size(), 0);
  std::string answer;
  char buf[4096];
  for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) answer.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return answer;
}

// Anyone on this machine can reach the port: only the redirect with this
// sign-in's state ends the wait, and a connection that says nothing holds
// up nobody.
TEST(OAuthLoopback, OnlyTheRightStateEndsTheWait) {
  TLoopbackListener listener;
  EXPECT_GT(listener.Port(), 0);
  EXPECT_EQ(listener.RedirectUri(), "http://127.0.0.1:" + std::to_string(listener.Port()) + "/");
  const struct {
    std::string Target;
    std::string Status;
  } cases[] = {
      {"/favicon.ico", "404 Not Found"},
      {"/", "404 Not Found"},
      {"/?code=stolen", "404 Not Found"},
      {"/?code=stolen&state=", "404 Not Found"},
      {"/?code=stolen&state=xy", "404 Not Found"},
      {"/?code=stolen&state=xyzz", "404 Not Found"},
      {"/?error=access_denied&state=XYZ", "404 Not Found"},
      {"/?code=abc%2F1&state=xyz", "200 OK"},
  };
  std::vector<std::string> pages;
  const int idle = Connect(listener.Port());
  std::thread browser([&] {
    for (const auto& c : cases) pages.push_back(Get(listener.Port(), c.Target));
  });
  // Less than the time one idle connection was once given.
  const auto params = listener.WaitForRedirect("xyz", 3000);
  browser.join();
  ::close(idle);
  ASSERT_TRUE(params.has_value());
  EXPECT_EQ(*params, (TMap{{"code", "abc/1"}, {"state", "xyz"}}));
  EXPECT_EQ(listener.Foreign(), 5);
  ASSERT_EQ(pages.size(), std::size(cases));
  for (size_t i = 0; i < pages.size(); ++i)
    EXPECT_TRUE(pages[i].starts_with("HTTP/1.1 " + cases[i].Status + "\r\n")) << cases[i].Target << pages[i];
  EXPECT_NE(pages.back().find("Postello hat die Anmeldung erhalten."), std::string::npos) << pages.back();
}

TEST(OAuthLoopback, ListensOnThisMachineOnly) {
  TLoopbackListener listener;
  const int local = Connect(listener.Port(), "127.0.0.1");
  const int other = Connect(listener.Port(), "127.0.0.2");
  EXPECT_GE(local, 0);
  EXPECT_LT(other, 0);
  for (int fd : {local, other})
    if (fd >= 0) ::close(fd);
}

TEST(OAuthLoopback, GivesUpAfterTheTimeOrOnCancel) {
  TLoopbackListener listener;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(listener.WaitForRedirect("xyz", 300).has_value());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(listener.WaitForRedirect("xyz", 60000, &cancel).has_value());
}

// A renewal as the send loops ask for it. RFC 6749 lets the provider keep
// the refresh token by leaving it out of the answer.
TEST(OAuthTokens, RenewalKeepsWhatTheAnswerLeavesOut) {
  const struct {
    std::string Answer;
    bool Ok;
    std::string TokenOrReason;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 60\r\n\r\n{\"access_token\":\"AT2\",\"token_type\":\"Bearer\",\"expires_in\":99}",
       true, "AT2"},
      {Repeat("HTTP/1.1 100\r\n\r\n", 25000), false,
       "Zugriffstoken nicht erneuert: Antwort des Anmeldeservers zu gro\xDF"},
  };
  for (const auto& c : cases) {
    TScriptedPeer peer(c.Answer);
    TTempDir dir;
    TFileGrantStore store(dir.Path().string() + "/");
    TOAuthGrant grant = SampleGrant();
    grant.TokenUrl = "http://127.0.0.1:" + peer.Port() + "/token";
    store.Save(grant);
    TOAuthTokens tokens(store);
    tokens.Now = [] { return std::int64_t{1800000000}; };
    std::string token, reason;
    EXPECT_EQ(tokens.AccessToken(grant.Account, grant.Server, false, token, reason), c.Ok) << reason;
    EXPECT_EQ(c.Ok ? token : reason, c.TokenOrReason);
    const std::optional<TOAuthGrant> kept = TFileGrantStore(dir.Path().string() + "/").Load(grant.Key());
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->RefreshToken, grant.RefreshToken);
    EXPECT_EQ(kept->AccessToken, c.Ok ? "AT2" : grant.AccessToken);
    EXPECT_EQ(kept->ExpiresAt, c.Ok ? 1800000099 : grant.ExpiresAt);
  }
}

} // namespace
