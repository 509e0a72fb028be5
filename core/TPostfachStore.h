#pragma once
// postfaecher.dat: the reply mailbox of each sender account (TReplyMailbox),
// beside konten.dat, so that konten.dat keeps the bytes the older program
// reads.
//
// The frame (magic, entries by position and key, damage handling) is
// TSideFile's. An entry's key is the account's sender name, address and
// server; only accounts with a mailbox (a server) have one. The password
// is kept scrambled as in konten.dat, and the file is its owner's only.
//
// Layout (integers 32-bit little-endian, texts as short strings): "PPF1",
// the entry count, then per entry the position, Absender, Email, Server,
// then the mailbox's Server, User, Password (scrambled), OAuth (one byte,
// 0 or 1), Folder and DoneFolder.
#include "core/TKontoStore.h"

#include <string>
#include <string_view>

namespace postello {

class TPostfachStore {
public:
  static constexpr const char* FileName = "postfaecher.dat";

  // "" when text is a usable "host:port" (a name, an IPv4 address or an
  // IPv6 literal in brackets; port 1 to 65535), else the German reason
  // naming the text.
  static std::string CheckServer(std::string_view text);
  // "" when name can name a mail folder, else the German reason; what
  // names the folder in the reason ("Ordner", "Ordner f\xFCr Verarbeitete").
  static std::string CheckFolder(std::string_view name, std::string_view what);

  static std::string Encode(const TKontoList& konten);
  // Throws EInOutError for a damaged file; then no account changes.
  static void Decode(std::string_view bytes, TKontoList& konten);
  // "" when all is well or there is no file; else the German description
  // of the damaged file (a copy is kept aside).
  static std::string Open(const std::string& dir, TKontoList& konten);
  // Nothing when no account has a mailbox and there is no file yet.
  // Throws ESaveError.
  static void Save(const std::string& dir, const TKontoList& konten);
};

} // namespace postello
