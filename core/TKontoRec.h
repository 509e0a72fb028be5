#pragma once
#include <string>

namespace postello {

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
};

} // namespace postello
