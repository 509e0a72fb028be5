#include "oauth/OAuthText.h"

#include "core/Base64.h"
#include "core/HexValue.h"
#include "core/PercentEscape.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

#include <stdexcept>
#include <vector>

namespace postello {

std::string PercentEncode(std::string_view text) { return PercentEscape(text, "-._~"); }

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query) {
  std::map<std::string, std::string> out;
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    const std::optional<std::string> name = PercentDecode(pair.substr(0, eq));
    const std::optional<std::string> value =
        PercentDecode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
    if (!name || !value) return std::nullopt;
    out.emplace(*name, *value);
  }
  return out;
}

std::string FormEncode(std::initializer_list<std::pair<std::string_view, std::string_view>> fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += '&';
    out += PercentEncode(name);
    out += '=';
    out += PercentEncode(value);
  }
  return out;
}

std::string Base64UrlEncode(std::string_view bytes) {
  // The URL-safe alphabet differs from the standard one only in its last
  // two characters, and drops the padding.
  std::string out = Base64Encode(bytes);
  while (!out.empty() && out.back() == '=') out.pop_back();
  for (char& c : out) {
    if (c == '+') c = '-';
    else if (c == '/') c = '_';
  }
  return out;
}

std::string RandomUrlToken(std::size_t count) {
  std::vector<unsigned char> bytes(count);
  if (count > 0 && RAND_bytes(bytes.data(), static_cast<int>(count)) != 1)
    throw std::runtime_error("Zufallszahlen nicht verf\xFCgbar");
  return Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(bytes.data()), count));
}

std::string PkceChallengeS256(std::string_view verifier) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
  return Base64UrlEncode(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

} // namespace postello
