#pragma once
// Folder names as IMAP spells them: levels joined by the server's
// separator, each level in modified UTF-7 (RFC 3501, 5.1.3).
#include <string>
#include <vector>

namespace postello {

class TImapFolderName {
public:
  // One level, Windows-1252, in modified UTF-7: printable ASCII stays,
  // "&" becomes "&-", everything else goes as base64 of UTF-16.
  static std::string EncodeLevel(const std::string& level);
  // The levels of a "/"-separated name; empty levels ("a//b", "/a") are
  // dropped.
  static std::vector<std::string> Levels(const std::string& folder);
  // The wire name of the first count levels, joined by separator; INBOX
  // (any case) as the first level is the server's INBOX. Throws EImapError
  // (German) when a level contains the separator or the server has no
  // hierarchy and the name has more than one level.
  static std::string Wire(const std::vector<std::string>& levels, std::size_t count, char separator);
};

} // namespace postello
