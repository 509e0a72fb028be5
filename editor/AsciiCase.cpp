#include "editor/AsciiCase.h"

namespace postello {

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  UpperAsciiInPlace(out);
  return out;
}

void UpperAsciiInPlace(std::string& text) {
  for (char& c : text) c = UpperAsciiChar(c);
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAsciiChar(a[i]) != UpperAsciiChar(b[i])) return false;
  }
  return true;
}

std::size_t FindNoCaseAscii(std::string_view text, std::string_view upperNeedle, std::size_t from) {
  if (upperNeedle.empty()) return from <= text.size() ? from : std::string_view::npos;
  if (text.size() < upperNeedle.size()) return std::string_view::npos;
  const char first = upperNeedle[0];
  const std::size_t last = text.size() - upperNeedle.size();
  for (std::size_t i = from; i <= last; ++i) {
    if (UpperAsciiChar(text[i]) != first) continue;
    std::size_t k = 1;
    while (k < upperNeedle.size() && UpperAsciiChar(text[i + k]) == upperNeedle[k]) ++k;
    if (k == upperNeedle.size()) return i;
  }
  return std::string_view::npos;
}

} // namespace postello
