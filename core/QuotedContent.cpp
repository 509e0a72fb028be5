#include "core/QuotedContent.h"

#include "core/Cp1252.h"

#include <algorithm>

namespace postello {
namespace {

bool IsControl(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

} // namespace

std::string QuotedContent(std::string_view text) {
  std::string out(text.substr(0, kMaxQuotedChars));
  std::replace_if(out.begin(), out.end(), IsControl, '?');
  if (text.size() > kMaxQuotedChars) out += "...";
  return out;
}

bool PathHasControlChar(std::string_view path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c < 0x20 || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < path.size() && static_cast<unsigned char>(path[i + 1]) <= 0x9F &&
        static_cast<unsigned char>(path[i + 1]) >= 0x80)
      return true;
  }
  return false;
}

std::string DatabasePathRefusal(std::string_view path) {
  return "Der Dateiname \"" + QuotedContent(Utf8ToCp1252(path)) +
         "\" enth\xE4lt Steuerzeichen und wird nicht als Datenbank verwendet.";
}

} // namespace postello
