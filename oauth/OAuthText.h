#pragma once
// The small encodings of an OAuth 2.0 sign-in (RFC 6749, RFC 7636): URL
// escapes, query strings and form bodies, Base64url, the PKCE challenge.
#include "core/WithoutSecrets.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// Percent-encodes every byte but the unreserved ones (A-Z a-z 0-9 - . _ ~),
// as form bodies and query strings need it.
std::string PercentEncode(std::string_view text);
// Undoes percent escapes, and "+" as a blank (form encoding). Nothing when
// an escape is broken ("%4", "%zz").
std::optional<std::string> PercentDecode(std::string_view text);

// The parameters of a query string or a form body ("a=1&b=x%20y"). A name
// given twice keeps its first value; nothing when an escape is broken.
std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query);
// name=value pairs joined with "&", both percent-encoded, in the given order.
std::string FormEncode(std::initializer_list<std::pair<std::string_view, std::string_view>> fields);

// Base64url without padding (RFC 4648, section 5).
std::string Base64UrlEncode(std::string_view bytes);
// count bytes from the system's random generator as Base64url: a PKCE
// verifier (32 bytes give 43 characters) or a state value. Throws when
// the generator fails.
std::string RandomUrlToken(std::size_t count);
// The S256 code challenge of a PKCE verifier: Base64url of its SHA-256.
std::string PkceChallengeS256(std::string_view verifier);

} // namespace postello
