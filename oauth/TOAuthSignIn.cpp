#include "oauth/TOAuthSignIn.h"

#include "core/CountedNoun.h"
#include "oauth/OAuthText.h"
#include "oauth/TOAuthTokenEndpoint.h"

#include <chrono>
#include <cstdlib>
#include <charconv>
#include <cstring>

namespace postello {

namespace {

// A value of the redirect as part of a message: printable ASCII, short.
std::string Shown(const std::string& text) {
  constexpr size_t kMax = 200;
  std::string out;
  for (char c : text.substr(0, kMax)) out += static_cast<unsigned char>(c) >= 32 && c != 127 && !(c & 0x80) ? c : ' ';
  if (text.size() > kMax) out += "...";
  return out;
}

} // namespace

TOAuthSignIn::TOAuthSignIn(TOAuthProvider provider, std::string account, std::string server)
    : FProvider(std::move(provider)), FAccount(std::move(account)), FServer(std::move(server)) {
  if (FProvider.ClientId.empty()) throw EOAuthError("Anmeldung: die Client-ID der App-Registrierung fehlt");
  const std::optional<THttpUrl> authorize = ParseHttpUrl(FProvider.AuthorizeUrl);
  if (!authorize || FProvider.AuthorizeUrl.find('#') != std::string::npos)
    throw EOAuthError("Anmeldung: Autorisierungsadresse \"" + Shown(FProvider.AuthorizeUrl) + "\" ung\xFCltig");
  // The sign-in page asks for the user's password: in clear only on this
  // machine.
  if (authorize->Scheme != "https" && !IsLoopbackHost(authorize->Host))
    throw EOAuthError("Anmeldung: die Autorisierungsadresse muss mit https:// beginnen");
  const std::optional<THttpUrl> token = ParseHttpUrl(FProvider.TokenUrl);
  if (!token) throw EOAuthError("Anmeldung: Token-Adresse \"" + Shown(FProvider.TokenUrl) + "\" ung\xFCltig");
  // The code and the secrets go to the token address; in clear only to
  // this machine.
  if (token->Scheme != "https" && !IsLoopbackHost(token->Host))
    throw EOAuthError("Anmeldung: die Token-Adresse muss mit https:// beginnen");
  FVerifier = RandomUrlToken(32);
  FState = RandomUrlToken(16);
  FRedirectUri = FListener.RedirectUri();
  FAddress = FProvider.AuthorizeAddress(FRedirectUri, PkceChallengeS256(FVerifier), FState, FAccount);
}

int TOAuthSignIn::WaitLimitMs() {
  if (const char* env = std::getenv("POSTELLO_OAUTH_WAIT")) {
    int seconds = 0;
    const char* end = env + std::strlen(env);
    auto [ptr, ec] = std::from_chars(env, end, seconds);
    if (ec == std::errc() && ptr == end && seconds > 0 && seconds <= 3600) return seconds * 1000;
  }
  return 5 * 60 * 1000;
}

TOAuthGrant TOAuthSignIn::Finish(int timeoutMs, const std::atomic<bool>* cancel, THttpOptions http) {
  const auto params = FListener.WaitForRedirect(FState, timeoutMs, cancel);
  if (!params) {
    if (cancel != nullptr && cancel->load()) throw EOAuthError("Anmeldung abgebrochen");
    const int seconds = timeoutMs / 1000;
    // A redirect of another sign-in is no answer to this one, but the user
    // should learn that one came.
    throw EOAuthError("Anmeldung: der Browser kam nicht innerhalb von " +
                      (seconds % 60 == 0 && seconds >= 120 ? std::to_string(seconds / 60) + " Minuten"
                                                           : CountedNoun(static_cast<size_t>(seconds), "Sekunde",
                                                                         "Sekunden")) +
                      " zur\xFC" "ck" +
                      (FListener.Foreign() > 0 ? "; eine Antwort, die nicht zu dieser Anmeldung geh\xF6rt (state "
                                                 "stimmt nicht), wurde abgewiesen"
                                               : "") +
                      "; nichts gespeichert");
  }
  const auto get = [&params](const char* name) {
    const auto it = params->find(name);
    return it == params->end() ? std::string() : it->second;
  };
  if (const std::string error = get("error"); !error.empty()) {
    std::string text = error == "access_denied" ? "Anmeldung abgelehnt oder abgebrochen (access_denied)"
                                                : "Anmeldung vom Anbieter abgelehnt (" + Shown(error) + ")";
    if (const std::string d = get("error_description"); !d.empty()) text += ": " + Shown(d);
    throw EOAuthError(text + "; nichts gespeichert");
  }
  const std::string code = get("code");
  if (code.empty()) throw EOAuthError("Anmeldung: der Anbieter hat keinen Code geschickt; nichts gespeichert");
  if (http.TimeoutMs <= 0) http.TimeoutMs = 30000;
  if (http.Cancel == nullptr) http.Cancel = cancel;
  const TTokenAnswer answer = ExchangeCode(FProvider, code, FVerifier, FRedirectUri, http);
  if (!answer.Ok) throw EOAuthError("Anmeldung: Token nicht erhalten: " + answer.Reason + "; nichts gespeichert");
  if (answer.RefreshToken.empty())
    throw EOAuthError("Anmeldung: der Anbieter gibt kein Refresh-Token (fehlt offline_access im Bereich?); "
                      "nichts gespeichert");
  TOAuthGrant grant;
  grant.Account = FAccount;
  grant.Server = FServer;
  grant.Provider = FProvider.Name;
  grant.TokenUrl = FProvider.TokenUrl;
  grant.ClientId = FProvider.ClientId;
  grant.ClientSecret = FProvider.ClientSecret;
  grant.Scope = FProvider.Scope;
  grant.AccessToken = answer.AccessToken;
  grant.RefreshToken = answer.RefreshToken;
  const auto now =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  grant.ExpiresAt = now + (answer.ExpiresIn > 0 ? answer.ExpiresIn : 3600);
  return grant;
}

} // namespace postello
