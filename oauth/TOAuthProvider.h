#pragma once
// Where an account signs in with OAuth 2.0, and as which application.
#include <string>

namespace postello {

// The endpoints and scope of a provider and the app registration the
// user brings along (client id, and a client secret where the provider
// wants one for installed apps, as Google does).
struct TOAuthProvider {
  std::string Name;          // "microsoft", "google" or "custom"
  std::string AuthorizeUrl;
  std::string TokenUrl;
  std::string Scope;
  std::string ClientId;
  std::string ClientSecret;  // "" when none

  // Microsoft 365 (Entra ID) for a tenant: "common" when empty, else a
  // tenant id or domain. Throws std::invalid_argument (German) for a
  // tenant with characters no tenant has.
  static TOAuthProvider Microsoft(const std::string& tenant = {});
  static TOAuthProvider Google();
  static TOAuthProvider Custom(const std::string& authorizeUrl, const std::string& tokenUrl,
                               const std::string& scope);

  // For an account whose reply mailbox signs in with the same grant: the
  // Microsoft preset asks for IMAP access as well; Google's scope covers
  // IMAP already and another provider's scope is the user's to name.
  void AddMailboxScope();

  // The address the browser opens: response_type=code with the PKCE
  // challenge (S256), state and the loopback redirect; loginHint (the
  // account's address) saves the user typing it.
  std::string AuthorizeAddress(const std::string& redirectUri, const std::string& codeChallenge,
                               const std::string& state, const std::string& loginHint) const;
};

} // namespace postello
