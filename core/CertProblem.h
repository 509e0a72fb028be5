#pragma once
// What can be wrong with a server's certificate, in the words the error
// log and the dialogs use; shared by the mail and the sign-in connections.
#include <string>

namespace postello {

// What the TLS handshake found wrong with the server's certificate. When
// several things are wrong, the one listed first wins: an untrusted
// certificate says nothing about its name or dates.
enum class TCertProblem {
  None,       // verified against the trust store, for the name we connected to
  Untrusted,  // no chain to a trusted authority (self-signed, unknown issuer, broken)
  Expired,    // trusted, but past its end date
  OtherName   // trusted and current, but made out for another host
};

// The German text for a certificate problem ("Zertifikat abgelaufen").
std::string CertProblemText(TCertProblem problem);

} // namespace postello
