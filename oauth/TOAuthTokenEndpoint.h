#pragma once
// The token endpoint of an OAuth 2.0 provider: the code exchange at the
// end of a sign-in, and the refresh before a send.
#include "oauth/THttpPost.h"
#include "oauth/TOAuthGrant.h"
#include "oauth/TOAuthProvider.h"

#include <cstdint>
#include <string>
#include <vector>

namespace postello {

// The longest lifetime of an access token taken from a provider: a year.
inline constexpr std::int64_t MaxExpiresIn = 365LL * 24 * 60 * 60;

struct TTokenAnswer {
  bool Ok = false;
  std::string AccessToken;
  std::string RefreshToken;     // "" when the provider sent none
  std::int64_t ExpiresIn = 0;   // seconds, at most MaxExpiresIn; 0 when not given
  // Why there is no token, in German, without any secret of the request.
  std::string Reason;
  // The provider answered with an error (invalid_grant: the refresh token
  // was revoked or has expired): only a new sign-in helps. False for
  // network trouble and answers that make no sense.
  bool GrantRefused = false;
};

// Reads a token endpoint's answer (RFC 6749, sections 5.1 and 5.2).
// secrets are cut out of every text taken from the answer, in case a
// server echoes the request.
TTokenAnswer ParseTokenAnswer(const THttpAnswer& answer, const std::vector<std::string>& secrets);

// grant_type=authorization_code with the PKCE verifier.
TTokenAnswer ExchangeCode(const TOAuthProvider& provider, const std::string& code, const std::string& verifier,
                          const std::string& redirectUri, const THttpOptions& options = {});
// grant_type=refresh_token for the grant's refresh token.
TTokenAnswer RefreshAccessToken(const TOAuthGrant& grant, const THttpOptions& options = {});

} // namespace postello
