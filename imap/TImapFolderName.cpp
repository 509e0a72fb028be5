#include "imap/TImapFolderName.h"

#include "core/Cp1252.h"
#include "imap/TImapMailbox.h"

namespace postello {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

void AppendBase64(std::string& out, const std::u16string& units) {
  std::string bytes;
  for (char16_t u : units) {
    bytes += static_cast<char>(u >> 8);
    bytes += static_cast<char>(u & 0xFF);
  }
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  // No padding: the modified form ends the run with "-" instead.
  const std::size_t rest = bytes.size() - i;
  if (rest == 1) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
  } else if (rest == 2) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
  }
}

bool IsInbox(const std::string& level) {
  if (level.size() != 5) return false;
  for (std::size_t i = 0; i < 5; ++i)
    if ((level[i] & ~0x20) != "INBOX"[i]) return false;
  return true;
}

} // namespace

std::string TImapFolderName::EncodeLevel(const std::string& level) {
  std::string out;
  std::u16string run;
  const auto flush = [&] {
    if (run.empty()) return;
    out += '&';
    AppendBase64(out, run);
    out += '-';
    run.clear();
  };
  for (char c : level) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte <= 0x7E) {
      flush();
      out += c == '&' ? std::string("&-") : std::string(1, c);
    } else {
      run += static_cast<char16_t>(Cp1252ToUnicode(byte));
    }
  }
  flush();
  return out;
}

std::vector<std::string> TImapFolderName::Levels(const std::string& folder) {
  std::vector<std::string> levels;
  std::size_t start = 0;
  while (start <= folder.size()) {
    const std::size_t end = std::min(folder.find('/', start), folder.size());
    if (end > start) levels.push_back(folder.substr(start, end - start));
    start = end + 1;
  }
  return levels;
}

std::string TImapFolderName::Wire(const std::vector<std::string>& levels, std::size_t count, char separator) {
  std::string out;
  for (std::size_t i = 0; i < count && i < levels.size(); ++i) {
    const std::string& level = levels[i];
    if (i > 0) {
      if (separator == 0)
        throw EImapError("Das Postfach kennt keine Unterordner: \"" + level + "\" kann nicht angelegt werden");
      out += separator;
    }
    if (separator != 0 && separator != '/' && level.find(separator) != std::string::npos)
      throw EImapError("Der Ordnername \"" + level + "\" enth\xE4lt das Trennzeichen \"" +
                       std::string(1, separator) + "\" des Postfachs");
    out += i == 0 && IsInbox(level) ? std::string("INBOX") : EncodeLevel(level);
  }
  return out;
}

} // namespace postello
