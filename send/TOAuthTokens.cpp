#include "send/TOAuthTokens.h"

#include "oauth/TOAuthTokenEndpoint.h"

#include <chrono>
#include <stdexcept>

namespace postello {

TOAuthTokens::TOAuthTokens(TGrantStore& store) : FStore(store) {
  Now = [] {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
}

std::string TOAuthTokens::SignInAgainText(const std::string& why) {
  return "Anmeldung mit OAuth abgelaufen oder widerrufen (" + why + "), bitte melden Sie sich neu an";
}

std::optional<TOAuthGrant>& TOAuthTokens::Cached(const std::string& key) {
  auto it = FCache.find(key);
  if (it == FCache.end()) it = FCache.emplace(key, FStore.Load(key)).first;
  return it->second;
}

bool TOAuthTokens::HasGrant(const std::string& account, const std::string& server) {
  std::lock_guard<std::mutex> lock(FLock);
  return Cached(TOAuthGrant::KeyOf(account, server)).has_value();
}

std::optional<TOAuthGrant> TOAuthTokens::Find(const std::string& account, const std::string& server) {
  std::lock_guard<std::mutex> lock(FLock);
  return Cached(TOAuthGrant::KeyOf(account, server));
}

void TOAuthTokens::Store(const TOAuthGrant& grant) {
  std::lock_guard<std::mutex> lock(FLock);
  FStore.Save(grant);
  FCache[grant.Key()] = grant;
  FRefused.erase(grant.Key());
}

bool TOAuthTokens::Forget(const std::string& account, const std::string& server) {
  std::lock_guard<std::mutex> lock(FLock);
  const std::string key = TOAuthGrant::KeyOf(account, server);
  FCache[key].reset();
  FRefused.erase(key);
  return FStore.Remove(key);
}

bool TOAuthTokens::AccessToken(const std::string& account, const std::string& server, bool renew,
                               std::string& token, std::string& reason) {
  std::lock_guard<std::mutex> lock(FLock);
  std::optional<TOAuthGrant>& grant = Cached(TOAuthGrant::KeyOf(account, server));
  if (!grant) {
    reason = "Konto ist nicht mit OAuth angemeldet, bitte melden Sie sich an";
    return false;
  }
  const std::int64_t now = Now();
  // Another session may have renewed the token while this one waited for
  // the lock; a refused token that is no longer the current one is not
  // renewed again.
  const bool stale = renew && token == grant->AccessToken;
  if (!stale && !grant->AccessToken.empty() && grant->ExpiresAt > now + ExpirySlack) {
    token = grant->AccessToken;
    return true;
  }
  const std::string key = grant->Key();
  if (const auto refused = FRefused.find(key); refused != FRefused.end()) {
    reason = refused->second;
    return false;
  }
  const TTokenAnswer answer = RefreshAccessToken(*grant, Http);
  if (!answer.Ok) {
    if (answer.GrantRefused) {
      reason = SignInAgainText(answer.Reason);
      FRefused[key] = reason;
    } else {
      reason = "Zugriffstoken nicht erneuert: " + answer.Reason;
    }
    return false;
  }
  grant->AccessToken = answer.AccessToken;
  if (!answer.RefreshToken.empty()) grant->RefreshToken = answer.RefreshToken;
  // Without a lifetime an hour is assumed, the usual one; a server that
  // refuses the token earlier gets a renewed one.
  grant->ExpiresAt = now + (answer.ExpiresIn > 0 ? answer.ExpiresIn : 3600);
  try {
    FStore.Save(*grant);
  } catch (const std::exception&) {
    // The token works for this run; the next run renews it again (with a
    // refresh token the provider may have replaced, which then fails and
    // asks for a new sign-in).
  }
  token = grant->AccessToken;
  return true;
}

} // namespace postello
