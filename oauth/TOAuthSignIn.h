#pragma once
// One OAuth 2.0 sign-in of an account: the authorization code flow with
// PKCE (RFC 7636) and a loopback redirect (RFC 8252).
#include "oauth/THttpPost.h"
#include "oauth/TLoopbackListener.h"
#include "oauth/TOAuthGrant.h"
#include "oauth/TOAuthProvider.h"

#include <atomic>
#include <stdexcept>
#include <string>

namespace postello {

// A sign-in that failed; the message is German and holds no secret.
class EOAuthError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Made with the provider and the account; opens the loopback listener and
// draws the PKCE verifier and the state at once, so Address can be shown
// before the wait starts. Finish then waits for the browser, checks the
// state, exchanges the code and gives the grant; the caller stores it.
class TOAuthSignIn {
public:
  // account: the sender address; server: its ServerKey. Throws EOAuthError
  // when the provider lacks a client id or its addresses are unusable, or
  // no port can be had.
  TOAuthSignIn(TOAuthProvider provider, std::string account, std::string server);

  // The address to open in the browser.
  const std::string& Address() const { return FAddress; }
  const std::string& RedirectUri() const { return FRedirectUri; }

  // Waits at most timeoutMs for the redirect with this sign-in's state.
  // Throws EOAuthError when none comes (or cancel is set), the provider
  // sends an error, or the token endpoint refuses or answers garbage.
  TOAuthGrant Finish(int timeoutMs, const std::atomic<bool>* cancel = nullptr, THttpOptions http = {});

  // How long a sign-in waits for the browser: five minutes, or the number
  // of seconds in POSTELLO_OAUTH_WAIT (for tests and slow sign-ins).
  static int WaitLimitMs();

private:
  TOAuthProvider FProvider;
  std::string FAccount;
  std::string FServer;
  TLoopbackListener FListener;
  std::string FVerifier;
  std::string FState;
  std::string FRedirectUri;
  std::string FAddress;
};

} // namespace postello
