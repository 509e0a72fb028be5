#include "core/CountedNoun.h"

namespace postello {

std::string CountedNoun(std::size_t n, std::string_view singular, std::string_view plural) {
  std::string text = std::to_string(n);
  text += ' ';
  text += ByCount(n, singular, plural);
  return text;
}

} // namespace postello
