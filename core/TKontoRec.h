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
};

} // namespace postello
