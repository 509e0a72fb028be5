#include "oauth/TOAuthTokenEndpoint.h"

#include "oauth/OAuthJson.h"
#include "oauth/OAuthText.h"

#include <charconv>

namespace postello {

namespace {

// A text of the server as part of a one-line German reason: printable
// ASCII only, cut short.
std::string Printable(std::string_view text) {
  constexpr size_t kMax = 200;
  std::string out;
  for (char c : text.substr(0, kMax)) out += static_cast<unsigned char>(c) >= 32 && c != 127 && !(c & 0x80) ? c : ' ';
  if (text.size() > kMax) out += "...";
  return out;
}

TTokenAnswer Refused(std::string reason) {
  TTokenAnswer a;
  a.Reason = std::move(reason);
  return a;
}

} // namespace

TTokenAnswer ParseTokenAnswer(const THttpAnswer& answer, const std::vector<std::string>& secrets) {
  if (!answer.Answered) return Refused(WithoutSecrets(answer.Reason, secrets));
  const auto json = ParseJsonObject(answer.Body);
  if (!json) {
    return Refused(WithoutSecrets("Anmeldeserver antwortet unverst\xE4ndlich (HTTP " + std::to_string(answer.Status) +
                                      ", keine Token-Antwort)",
                                  secrets));
  }
  const auto field = [&json](const char* name) {
    const auto it = json->find(name);
    return it == json->end() ? std::string() : it->second;
  };
  if (answer.Status != 200 || !field("error").empty()) {
    TTokenAnswer a;
    const std::string error = field("error");
    // Whatever the provider refuses (a revoked grant, an app registration
    // that changed), only a new sign-in puts it right.
    a.GrantRefused = true;
    // The secrets go before the text is cut: cut first, a secret across
    // the cut would stay in part.
    const auto shown = [&secrets](const std::string& text) { return Printable(WithoutSecrets(text, secrets)); };
    a.Reason = "Anmeldeserver lehnt ab (HTTP " + std::to_string(answer.Status);
    if (!error.empty()) a.Reason += ", " + shown(error);
    a.Reason += ")";
    if (const std::string d = field("error_description"); !d.empty()) a.Reason += ": " + shown(d);
    return a;
  }
  TTokenAnswer a;
  a.AccessToken = field("access_token");
  a.RefreshToken = field("refresh_token");
  const std::string type = field("token_type");
  std::string lowerType = type;
  for (char& c : lowerType)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (a.AccessToken.empty()) return Refused("Anmeldeserver hat kein Zugriffstoken geschickt");
  if (lowerType != "bearer")
    return Refused("Anmeldeserver schickt ein Token der Art \"" + Printable(WithoutSecrets(type, secrets)) +
                   "\" statt \"Bearer\"");
  // Control characters would break the AUTH line the token goes into.
  for (const std::string* t : {&a.AccessToken, &a.RefreshToken})
    for (char c : *t)
      if (static_cast<unsigned char>(c) < 32 || c == 127)
        return Refused("Anmeldeserver hat ein unbrauchbares Token geschickt");
  if (const std::string e = field("expires_in"); !e.empty()) {
    std::int64_t seconds = 0;
    auto [ptr, ec] = std::from_chars(e.data(), e.data() + e.size(), seconds);
    // The lifetime is added to the clock: a huge one must not overflow it.
    if (ptr == e.data() + e.size() && e[0] != '-' && (ec == std::errc::result_out_of_range || seconds > MaxExpiresIn))
      a.ExpiresIn = MaxExpiresIn;
    else if (ec == std::errc() && ptr == e.data() + e.size() && seconds > 0)
      a.ExpiresIn = seconds;
  }
  a.Ok = true;
  return a;
}

TTokenAnswer ExchangeCode(const TOAuthProvider& provider, const std::string& code, const std::string& verifier,
                          const std::string& redirectUri, const THttpOptions& options) {
  std::string body = FormEncode({{"grant_type", "authorization_code"},
                                 {"code", code},
                                 {"redirect_uri", redirectUri},
                                 {"client_id", provider.ClientId},
                                 {"code_verifier", verifier}});
  if (!provider.ClientSecret.empty()) body += "&" + FormEncode({{"client_secret", provider.ClientSecret}});
  return ParseTokenAnswer(PostForm(provider.TokenUrl, body, options),
                          {code, verifier, provider.ClientSecret});
}

TTokenAnswer RefreshAccessToken(const TOAuthGrant& grant, const THttpOptions& options) {
  if (grant.RefreshToken.empty()) {
    TTokenAnswer a;
    a.Reason = "keine Erneuerung m\xF6glich (der Anbieter gab kein Refresh-Token)";
    a.GrantRefused = true;
    return a;
  }
  std::string body = FormEncode({{"grant_type", "refresh_token"},
                                 {"refresh_token", grant.RefreshToken},
                                 {"client_id", grant.ClientId}});
  if (!grant.Scope.empty()) body += "&" + FormEncode({{"scope", grant.Scope}});
  if (!grant.ClientSecret.empty()) body += "&" + FormEncode({{"client_secret", grant.ClientSecret}});
  return ParseTokenAnswer(PostForm(grant.TokenUrl, body, options),
                          {grant.RefreshToken, grant.AccessToken, grant.ClientSecret});
}

} // namespace postello
