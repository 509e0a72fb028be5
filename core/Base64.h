#pragma once
// Standard Base64 (RFC 4648 alphabet) of arbitrary bytes.
#include <string>
#include <string_view>

namespace postello {

// Base64 with padding and without line breaks.
std::string Base64Encode(std::string_view bytes);

} // namespace postello
