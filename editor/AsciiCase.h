#pragma once
// Case rules of the editor: upper-casing and comparing without regard to
// case touch only the letters a to z; umlauts and every other byte stay as
// they are.
#include <cstddef>
#include <string>
#include <string_view>

namespace postello {

inline char UpperAsciiChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// text with a to z upper-cased.
std::string UpperAscii(std::string_view text);
void UpperAsciiInPlace(std::string& text);

bool EqualsNoCaseAscii(std::string_view a, std::string_view b);

// Position of the first occurrence of needle in text at or after from,
// comparing without regard to case; npos when there is none. needle must
// already be upper-case.
std::size_t FindNoCaseAscii(std::string_view text, std::string_view upperNeedle, std::size_t from = 0);

} // namespace postello
