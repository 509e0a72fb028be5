#pragma once
// Percent escapes (RFC 3986): one routine for every place that writes text
// into a URL, each with its own set of characters that may stand plain.
#include <string>
#include <string_view>

namespace postello {

// text with every byte but ASCII letters, digits and the characters in
// plain written as "%" and two upper-case hex digits.
std::string PercentEscape(std::string_view text, std::string_view plain);

} // namespace postello
