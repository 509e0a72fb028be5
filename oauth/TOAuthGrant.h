#pragma once
// What an account holds after signing in with OAuth 2.0.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace postello {

// One account's grant. The account is named by its sender address and its
// server (TSMTPSend::ServerKey), so konten.dat needs no field for it. The
// grant carries what a refresh needs (token URL, client id and secret) so
// that it works without the sign-in's settings. Tokens are secrets: they go
// into no message, no log line and no file but the grant store's.
struct TOAuthGrant {
  std::string Account;       // the sender address as the account gives it
  std::string Server;        // ServerKey of the account's server
  std::string Provider;      // TOAuthProvider::Name
  std::string TokenUrl;
  std::string ClientId;
  std::string ClientSecret;
  std::string Scope;
  std::string AccessToken;
  std::string RefreshToken;
  std::int64_t ExpiresAt = 0;  // seconds since 1970 (UTC); 0: unknown, taken as expired

  // The name the stores file the grant under: the address in lower case
  // (ASCII), a blank, the server key.
  static std::string KeyOf(std::string_view account, std::string_view server);
  std::string Key() const { return KeyOf(Account, Server); }

  // Lines "name=value" with percent-escaped values; Decode takes exactly
  // what Encode writes and gives nothing for anything else.
  std::string Encode() const;
  static std::optional<TOAuthGrant> Decode(std::string_view text);
};

} // namespace postello
