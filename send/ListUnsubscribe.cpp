#include "send/ListUnsubscribe.h"

#include "mime/HeaderLines.h"

namespace postello {
namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

bool IsMailto(std::string_view t) { return StartsWithNoCase(t, "mailto:") && t.size() > 7; }
bool IsHttps(std::string_view t) { return StartsWithNoCase(t, "https://") && t.size() > 8; }

} // namespace

std::vector<std::string> SplitUnsubscribeTargets(std::string_view text) {
  std::vector<std::string> out;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string piece = TrimBlanksAndTabs(text.substr(0, comma));
    if (!piece.empty()) out.emplace_back(piece);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return out;
}

std::string CheckUnsubscribeText(std::string_view text) {
  for (const std::string& t : SplitUnsubscribeTargets(text)) {
    for (const char c : t)
      if (static_cast<unsigned char>(c) < 32 || c == 127)
        return "Abmelde-Adresse enth\xE4lt ein Steuerzeichen: " + EscapeUnsubscribeTarget(t);
    if (!IsMailto(t) && !IsHttps(t))
      return "Abmelde-Adresse muss mit mailto: oder https:// beginnen: " + EscapeUnsubscribeTarget(t);
  }
  return {};
}

std::string EscapeUnsubscribeTarget(std::string_view target) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(target.size());
  for (const char c : target) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 32 || b >= 127 || c == '<' || c == '>' || c == '"') {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string ListUnsubscribeValue(const std::vector<std::string>& targets) {
  std::string value;
  for (const std::string& t : targets) {
    if (!IsMailto(t) && !IsHttps(t)) continue;
    if (!value.empty()) value += ", ";
    value += "<" + EscapeUnsubscribeTarget(t) + ">";
  }
  return value;
}

bool HasOneClickTarget(const std::vector<std::string>& targets) {
  for (const std::string& t : targets)
    if (IsHttps(t)) return true;
  return false;
}

} // namespace postello
