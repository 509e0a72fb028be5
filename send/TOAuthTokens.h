#pragma once
// The grants of the accounts as the send loops use them: loaded once,
// renewed at the token endpoint when due, written back to their store.
#include "smtp/TBearerTokens.h"
#include "oauth/TGrantStore.h"
#include "oauth/THttpPost.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace postello {

// Holds the store it was given (not owned) and a copy of every grant it
// has read, so a run does not ask the keyring for each message. All calls
// take one lock: sessions on several threads renew a token once, and the
// store sees one call at a time.
class TOAuthTokens : public TBearerTokens {
public:
  explicit TOAuthTokens(TGrantStore& store);

  bool HasGrant(const std::string& account, const std::string& server) override;
  bool AccessToken(const std::string& account, const std::string& server, bool renew, std::string& token,
                   std::string& reason) override;

  // The grant as stored, for showing the signed-in state.
  std::optional<TOAuthGrant> Find(const std::string& account, const std::string& server);
  // Keeps a new grant (after a sign-in). Throws as TGrantStore::Save.
  void Store(const TOAuthGrant& grant);
  // Forgets the account's grant; true when there was one. Throws as
  // TGrantStore::Remove.
  bool Forget(const std::string& account, const std::string& server);

  // How the token endpoint is reached; tests put their fake server here.
  THttpOptions Http;
  // The time in seconds since 1970; tests move it on.
  std::function<std::int64_t()> Now;
  // A token this close to its end counts as expired: it would run out
  // between the refresh and the AUTH command.
  static constexpr std::int64_t ExpirySlack = 60;

  // The reason a message fails with when the grant cannot be renewed.
  static std::string SignInAgainText(const std::string& why);

private:
  std::optional<TOAuthGrant>& Cached(const std::string& key);

  TGrantStore& FStore;
  std::mutex FLock;
  std::map<std::string, std::optional<TOAuthGrant>> FCache;
  // Why the provider refused to renew a grant, by key: the later messages
  // of the run fail at once instead of asking again. A new grant clears it.
  std::map<std::string, std::string> FRefused;
};

} // namespace postello
