#pragma once
// A connection that carries several messages one after another.
#include "smtp/TOutgoingMail.h"
#include "smtp/TSMTPSend.h"
#include "smtp/TSendResult.h"

#include <memory>
#include <string>

namespace postello {

// Delivers messages one after another, keeping the SMTP connection open
// between them so that greeting, TLS and login are paid once for up to
// Reuse messages.
//
// The object owns at most one open TSMTPSend, and every message goes
// through it. With Reuse 0 a connection carries one message, its commands
// one by one, and ends with QUIT. Otherwise the first message opens the
// connection, every further one follows
// on it (RSET only where a transaction was left unfinished; a delivered
// message leaves none). When the server offers PIPELINING, MAIL FROM, the
// RCPT TOs and DATA go out as one group; a message whose recipient is
// refused then ends the connection instead of its data. Otherwise the
// session ends with QUIT after Reuse messages, after any message that
// failed, and when a message goes to another server or login. A server
// that closed the connection between two messages (MAIL FROM answered
// with 421 or not at all) costs nothing: the message is tried once more
// on a new connection, and so does a connection that sent anything while
// idle (its replies could no longer be matched to our commands). Not
// thread-safe; one object per thread.
class TSmtpSession {
public:
  // options: as for SendRawMailWithReason; MessageTimeLimit counts per message.
  TSmtpSession(TSMTPSendOptions options, int reuse);
  // Ends an open connection with QUIT.
  ~TSmtpSession();
  TSmtpSession(const TSmtpSession&) = delete;
  TSmtpSession& operator=(const TSmtpSession&) = delete;

  // Delivered when the server took the message, else the reason. A
  // message that is not deliverable, or whose addresses hold a control
  // character, fails without a connection.
  TSendResult Deliver(const TOutgoingMail& mail);
  // QUIT and close, when a connection is open.
  void Close();

  int Reuse() const { return FReuse; }
  // Connections opened so far.
  int Connections() const { return FConnections; }

private:
  // Opens a connection for mail; false with the failure in result.
  bool Open(const TOutgoingMail& mail, TSendResult& result);
  // Arms the open session for one more message: its deadline, the cancel
  // flag (which the end of the previous data took away) and the journal.
  void Arm(const TOutgoingMail& mail);
  // Ends the connection after a failed message, with QUIT (which a cut-off
  // session leaves out by itself) unless the server is already gone.
  void Drop(bool quit);

  TSMTPSendOptions FOptions;
  int FReuse;
  std::unique_ptr<TSMTPSend> FSmtp;
  int FCarried = 0;  // messages taken on the open connection
  int FConnections = 0;
  std::string FServer, FUser, FPassword;  // what the open connection logged in with
};

} // namespace postello
