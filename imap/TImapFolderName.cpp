#include "imap/TImapFolderName.h"

#include "core/Base64.h"
#include "core/Cp1252.h"
#include "imap/TImapMailbox.h"

namespace postello {

namespace {

// Modified Base64: the standard form without padding and with "," for "/";
// the run ends with "-" instead.
void AppendBase64(std::string& out, const std::u16string& units) {
  std::string bytes;
  for (char16_t u : units) {
    bytes += static_cast<char>(u >> 8);
    bytes += static_cast<char>(u & 0xFF);
  }
  std::string encoded = Base64Encode(bytes);
  while (!encoded.empty() && encoded.back() == '=') encoded.pop_back();
  for (char& c : encoded)
    if (c == '/') c = ',';
  out += encoded;
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
