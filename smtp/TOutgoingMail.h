#pragma once
// One composed message on its way to the SMTP server, and its delivery.
#include "smtp/TSMTPSend.h"

#include <functional>
#include <string>
#include <vector>

namespace postello {

// Everything one SMTP session needs, copied out of the run so that the
// session can run on another thread while the run goes on composing: the
// value refers to nothing else but the run's journal, through
// BeforeDataEnd, which any thread may call.
struct TOutgoingMail {
  int Index = 0;                  // message number in the run, from 0
  std::string Sender;             // the account's address (MAIL FROM)
  std::string Recipients;         // envelope addresses joined with ", "
  std::string Server;             // "host" or "host:port"
  std::vector<std::string> Data;  // header lines (each ending in CR LF), then the body
  std::string User;
  std::string Password;           // in clear
  std::string LogAddress;         // the address the error log names on failure
  // False when an address of the message holds a control character: such
  // a message is never handed to a server and counts as failed. Data is
  // then empty.
  bool Deliverable = true;
  // Called by the session just before the end of the data goes out (the
  // journal's "unsicher" line); false stops the session without the end.
  // Empty: nothing to call.
  std::function<bool()> BeforeDataEnd;

  // The bytes DATA carries before dot-stuffing: each item followed by CR LF.
  std::string MessageText() const;
  // The envelope recipients one by one, as the session gives them in RCPT.
  std::vector<std::string> EnvelopeAddresses() const;
};

// Sends the message in its own SMTP session (a TSmtpSession that carries
// one message); delivered when the server took it, else the reason.
// Touches nothing but its arguments (and what options point to), so it
// may run on any thread.
TSendResult DeliverMail(const TOutgoingMail& mail, const TSMTPSendOptions& options = {});

} // namespace postello
