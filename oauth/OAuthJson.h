#pragma once
// The JSON a token endpoint answers with (RFC 6749, section 5).
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace postello {

// The members of a JSON object at the top level: strings decoded (escapes,
// \u as UTF-8, surrogate pairs joined), numbers, true, false and null as
// their text, nested objects and arrays checked and kept as "". Nothing
// when the text is no single well-formed object, or nests deeper than 32.
// A name given twice keeps its first value.
std::optional<std::map<std::string, std::string>> ParseJsonObject(std::string_view text);

} // namespace postello
