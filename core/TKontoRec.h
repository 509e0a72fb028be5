#pragma once
#include <string>

namespace postello {

// The mailbox where replies to an account's mails arrive (bounces,
// unsubscribes), read over IMAP. Kept in postfaecher.dat beside
// konten.dat; an account without one has an empty Server.
struct TReplyMailbox {
  std::string Server;    // "host:port"; 993: TLS from the start, else STARTTLS
  std::string User;
  std::string Password;  // scrambled as TKontoRec::Password; "" with OAuth
  bool OAuth = false;    // sign in with the account's OAuth grant (XOAUTH2)
  std::string Folder = "INBOX";
  std::string DoneFolder = "Postello/Verarbeitet";
};

// One sender account. Password holds the scrambled form (CodePassw); the
// clear password exists only while the account dialog shows it and while
// a send run logs in.
struct TKontoRec {
  std::string Absender; // sender's display name
  std::string Email;    // sender address
  std::string Antwort;  // reply address
  std::string Server;   // SMTP server, "host" or "host:port"
  std::string User;
  std::string Password;
  // Kept in kontooptionen.dat beside konten.dat (TKontoOptionsStore), so
  // that konten.dat keeps the bytes the older program reads.
  int Reuse = 0;         // messages per SMTP session; 0: one session per message
  int Parallel = 1;      // sessions at once, 1 to 8
  int RatePerMinute = 0; // at most this many messages a minute; 0: no limit
  TReplyMailbox Mailbox;
};

} // namespace postello
