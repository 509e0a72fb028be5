#include "editor/EditorToolbar.h"

#include <string>

namespace postello {

int FontSizeFromText(std::string_view text) {
  constexpr int kUnreadable = 12;
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty() || text.size() > 3) return kUnreadable;
  int size = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return kUnreadable;
    size = size * 10 + (c - '0');
  }
  return size >= 1 ? size : kUnreadable;
}

int FontSizeEntry(int size) {
  const std::string decimal = std::to_string(size);
  for (std::size_t i = 0; i < kFontSizeEntries.size(); ++i) {
    if (kFontSizeEntries[i] == decimal) return static_cast<int>(i);
  }
  return -1;
}

} // namespace postello
