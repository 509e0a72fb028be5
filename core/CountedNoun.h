#pragma once
// Numbers in German messages: "1 Konto", "2 Konten", "0 Konten".
#include <cstddef>
#include <string>
#include <string_view>

namespace postello {

// The number in decimal, a blank and the noun: the singular for exactly
// one, the plural for every other number (0 included).
std::string CountedNoun(std::size_t n, std::string_view singular, std::string_view plural);

// The singular form for exactly one, else the plural: for the verb
// ("wurde"/"wurden") or pronoun that agrees with a counted noun.
inline std::string_view ByCount(std::size_t n, std::string_view singular, std::string_view plural) {
  return n == 1 ? singular : plural;
}

} // namespace postello
