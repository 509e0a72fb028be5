// The pieces of an OAuth sign-in on their own: encodings and PKCE, the
// token endpoint's JSON and HTTP answers, URLs, the grant's text form, the
// grant file, and the loopback listener.
#include "send/OAuthJson.h"
#include "send/OAuthText.h"
#include "send/TFileGrantStore.h"
#include "send/THttpPost.h"
#include "send/TLoopbackListener.h"
#include "send/TOAuthProvider.h"
#include "send/TOAuthTokenEndpoint.h"
#include "send/SendRunSupport.h"
#include "send/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

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
  } cases[] = {
      {"IP:127.0.0.1", false, "Anmeldeserver 127.0.0.1: Zertifikat nicht vertrauensw\xFCrdig"},
      {"DNS:login.example.org", true, "Anmeldeserver 127.0.0.1: Zertifikat gilt f\xFCr einen anderen Namen"},
      {"IP:127.0.0.1", true, ""},
  };
  for (const auto& c : cases) {
    TTempDir certs;
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

TEST(OAuthHttp, ResponseParsing) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
  // Content-Length, complete and short.
  auto a = ParseHttpResponse(head + "Content-Length: 2\r\n\r\n{}", false);
  ASSERT_TRUE(a && a->Answered);
  EXPECT_EQ(a->Status, 200);
  EXPECT_EQ(a->Body, "{}");
  EXPECT_FALSE(ParseHttpResponse(head + "Content-Length: 3\r\n\r\n{}", false).has_value());
  EXPECT_FALSE(ParseHttpResponse(head + "Content-Length: 3\r\n\r\n{}", true)->Answered);
  // Chunked, with an extension.
  a = ParseHttpResponse(head + "Transfer-Encoding: chunked\r\n\r\n3;x=y\r\n{\"a\r\n9\r\n\":\"0123\"}\r\n0\r\n\r\n", false);
  ASSERT_TRUE(a && a->Answered);
  EXPECT_EQ(a->Body, "{\"a\":\"0123\"}");
  EXPECT_FALSE(ParseHttpResponse(head + "Transfer-Encoding: chunked\r\n\r\n3\r\n{\"a", false).has_value());
  // Until the connection closes.
  EXPECT_FALSE(ParseHttpResponse("HTTP/1.0 400 Bad\r\n\r\n{\"error\":1}", false).has_value());
  a = ParseHttpResponse("HTTP/1.0 400 Bad\r\n\r\n{\"error\":1}", true);
  ASSERT_TRUE(a && a->Answered);
  EXPECT_EQ(a->Status, 400);
  // 100 Continue first.
  a = ParseHttpResponse("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n", false);
  ASSERT_TRUE(a && a->Answered);
  EXPECT_EQ(a->Status, 201);
  // Garbage.
  for (const std::string& bad : {std::string("SMTP 220 hello\r\n\r\n"), std::string("HTTP/1.1 2x0 OK\r\n\r\n"),
                                  head + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nab",
                                  head + "Content-Length: -1\r\n\r\n", head + "broken header\r\n\r\n",
                                  head + "Transfer-Encoding: chunked\r\n\r\nzz\r\n"}) {
    a = ParseHttpResponse(bad, false);
    ASSERT_TRUE(a.has_value()) << bad;
    EXPECT_FALSE(a->Answered) << bad;
    EXPECT_EQ(a->Reason, "Antwort des Anmeldeservers ist kein HTTP") << bad;
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

// A browser's GET on the listener's port.
std::string Get(int port, const std::string& target) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return {};
  }
  const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  (void)::send(fd, request.data(), request.size(), 0);
  std::string answer;
  char buf[4096];
  for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) answer.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return answer;
}

TEST(OAuthLoopback, TakesTheRedirectAndIgnoresOtherPaths) {
  TLoopbackListener listener;
  EXPECT_GT(listener.Port(), 0);
  EXPECT_EQ(listener.RedirectUri(), "http://127.0.0.1:" + std::to_string(listener.Port()) + "/");
  std::string favicon, bare, page;
  std::thread browser([&] {
    favicon = Get(listener.Port(), "/favicon.ico");
    bare = Get(listener.Port(), "/");
    page = Get(listener.Port(), "/?code=abc%2F1&state=xyz");
  });
  const auto params = listener.WaitForRedirect(10000);
  browser.join();
  ASSERT_TRUE(params.has_value());
  EXPECT_EQ(*params, (TMap{{"code", "abc/1"}, {"state", "xyz"}}));
  EXPECT_TRUE(favicon.starts_with("HTTP/1.1 404 Not Found\r\n")) << favicon;
  EXPECT_TRUE(bare.starts_with("HTTP/1.1 404 Not Found\r\n")) << bare;
  EXPECT_TRUE(page.starts_with("HTTP/1.1 200 OK\r\n")) << page;
  EXPECT_NE(page.find("Postello hat die Anmeldung erhalten."), std::string::npos) << page;
}

TEST(OAuthLoopback, GivesUpAfterTheTimeOrOnCancel) {
  TLoopbackListener listener;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(listener.WaitForRedirect(300).has_value());
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(listener.WaitForRedirect(60000, &cancel).has_value());
}

} // namespace
