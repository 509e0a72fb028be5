#pragma once
// Where an SMTP session gets an OAuth access token for SASL XOAUTH2.
#include <string>

namespace postello {

// The accounts that signed in with OAuth, named by sender address and
// server key (TSMTPSend::ServerKey). Sessions call this on their own
// threads; an implementation serialises what it must.
class TBearerTokens {
public:
  virtual ~TBearerTokens() = default;

  // Whether the account holds a grant: it then logs in with XOAUTH2 only.
  virtual bool HasGrant(const std::string& account, const std::string& server) = 0;
  // The current access token in token. It is renewed first when it has
  // expired, or when renew is set and token holds the current token (the
  // server refused it; another session may have renewed it since). False, with a
  // German reason that holds no secret, when there is none to be had.
  virtual bool AccessToken(const std::string& account, const std::string& server, bool renew,
                           std::string& token, std::string& reason) = 0;
};

} // namespace postello
