#include "oauth/TOAuthGrant.h"

#include "oauth/OAuthText.h"

#include <charconv>

namespace postello {

namespace {

constexpr std::string_view kFirstLine = "postello-oauth-grant 1";

} // namespace

std::string TOAuthGrant::KeyOf(std::string_view account, std::string_view server) {
  std::string key;
  for (char c : account) {
    if (static_cast<unsigned char>(c) <= 32) continue;
    key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  key += ' ';
  key += server;
  return key;
}

std::string TOAuthGrant::Encode() const {
  std::string out(kFirstLine);
  out += '\n';
  const auto put = [&out](std::string_view name, std::string_view value) {
    out += name;
    out += '=';
    out += PercentEncode(value);
    out += '\n';
  };
  put("account", Account);
  put("server", Server);
  put("provider", Provider);
  put("token_url", TokenUrl);
  put("client_id", ClientId);
  put("client_secret", ClientSecret);
  put("scope", Scope);
  put("access_token", AccessToken);
  put("refresh_token", RefreshToken);
  put("expires_at", std::to_string(ExpiresAt));
  return out;
}

std::optional<TOAuthGrant> TOAuthGrant::Decode(std::string_view text) {
  if (text.substr(0, kFirstLine.size() + 1) != std::string(kFirstLine) + "\n") return std::nullopt;
  text.remove_prefix(kFirstLine.size() + 1);
  TOAuthGrant g;
  bool seenExpiry = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view name = line.substr(0, eq);
    const std::optional<std::string> value = PercentDecode(line.substr(eq + 1));
    if (!value) return std::nullopt;
    if (name == "account") g.Account = *value;
    else if (name == "server") g.Server = *value;
    else if (name == "provider") g.Provider = *value;
    else if (name == "token_url") g.TokenUrl = *value;
    else if (name == "client_id") g.ClientId = *value;
    else if (name == "client_secret") g.ClientSecret = *value;
    else if (name == "scope") g.Scope = *value;
    else if (name == "access_token") g.AccessToken = *value;
    else if (name == "refresh_token") g.RefreshToken = *value;
    else if (name == "expires_at") {
      auto [ptr, ec] = std::from_chars(value->data(), value->data() + value->size(), g.ExpiresAt);
      if (ec != std::errc() || ptr != value->data() + value->size()) return std::nullopt;
      seenExpiry = true;
    }
    // Names of a later version are skipped.
  }
  if (g.Account.empty() || g.Server.empty() || g.TokenUrl.empty() || !seenExpiry) return std::nullopt;
  return g;
}

} // namespace postello
