#include "oauth/TOAuthProvider.h"

#include "oauth/OAuthText.h"

#include <stdexcept>

namespace postello {

TOAuthProvider TOAuthProvider::Microsoft(const std::string& tenant) {
  const std::string t = tenant.empty() ? "common" : tenant;
  for (char c : t)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'))
      throw std::invalid_argument("Mandant \"" + t + "\" ung\xFCltig: erlaubt sind Buchstaben, Ziffern, \"-\" und \".\"");
  TOAuthProvider p;
  p.Name = "microsoft";
  p.AuthorizeUrl = "https://login.microsoftonline.com/" + t + "/oauth2/v2.0/authorize";
  p.TokenUrl = "https://login.microsoftonline.com/" + t + "/oauth2/v2.0/token";
  p.Scope = "https://outlook.office.com/SMTP.Send offline_access";
  return p;
}

TOAuthProvider TOAuthProvider::Google() {
  TOAuthProvider p;
  p.Name = "google";
  p.AuthorizeUrl = "https://accounts.google.com/o/oauth2/v2/auth";
  p.TokenUrl = "https://oauth2.googleapis.com/token";
  p.Scope = "https://mail.google.com/";
  return p;
}

TOAuthProvider TOAuthProvider::Custom(const std::string& authorizeUrl, const std::string& tokenUrl,
                                      const std::string& scope) {
  TOAuthProvider p;
  p.Name = "custom";
  p.AuthorizeUrl = authorizeUrl;
  p.TokenUrl = tokenUrl;
  p.Scope = scope;
  return p;
}

void TOAuthProvider::AddMailboxScope() {
  static const std::string imap = "https://outlook.office.com/IMAP.AccessAsUser.All";
  if (Name != "microsoft" || Scope.find(imap) != std::string::npos) return;
  const std::size_t offline = Scope.find(" offline_access");
  Scope.insert(offline == std::string::npos ? Scope.size() : offline, " " + imap);
}

std::string TOAuthProvider::AuthorizeAddress(const std::string& redirectUri, const std::string& codeChallenge,
                                             const std::string& state, const std::string& loginHint) const {
  std::string out = AuthorizeUrl;
  out += AuthorizeUrl.find('?') == std::string::npos ? '?' : '&';
  out += FormEncode({{"response_type", "code"},
                     {"client_id", ClientId},
                     {"redirect_uri", redirectUri},
                     {"scope", Scope},
                     {"state", state},
                     {"code_challenge", codeChallenge},
                     {"code_challenge_method", "S256"}});
  if (!loginHint.empty()) out += "&" + FormEncode({{"login_hint", loginHint}});
  // Google hands out a refresh token only when asked for offline access.
  if (Name == "google") out += "&access_type=offline&prompt=consent";
  return out;
}

} // namespace postello
