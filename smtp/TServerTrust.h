#pragma once
// What a session asks about the server it talks to before a password
// leaves the program.
#include "smtp/TBlockSocket.h"

#include <string>

namespace postello {

// The per-server decisions a session consults: whether the server was
// seen offering STARTTLS before (then it must offer it again before it
// gets a password), whether the password may go to it unencrypted, and
// which certificates that fail the check are trusted all the same.
// Servers are named by TSMTPSend::ServerKey ("host:port"). The session
// calls these on its own thread; an implementation that asks the user
// blocks until the answer is there.
class TServerTrust {
public:
  virtual ~TServerTrust() = default;

  virtual bool StartTlsSeen(const std::string& server) = 0;
  // The server offers STARTTLS in this session.
  virtual void NoteStartTls(const std::string& server) = 0;
  // True when the password may be sent without encryption; may ask.
  virtual bool AllowPlainAuth(const std::string& server) = 0;
  // True when the certificate, whose check failed (cert.Problem), is
  // trusted for this server: pinned before, or pinned now by the user.
  virtual bool TrustCertificate(const std::string& server, const TPeerCertificate& cert) = 0;
};

} // namespace postello
