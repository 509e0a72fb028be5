#pragma once
#include "send/TBlockSocket.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// One SMTP client session: connect, greet, upgrade to TLS when the server
// offers it, authenticate when credentials are set, give the envelope, send
// the data, quit. One object serves one message; SendRawMail creates and
// destroys it.
//
// The session owns its socket. The public fields are the session's settings
// (set before OpenSession) and what it learnt from the server (filled by
// the operations). Replies are kept as the server sent them: ReplyLines
// holds every line of the last reply, LastReplyLine its last line and
// ReplyCode the number in its first three characters (0 when there is none
// or the connection failed). Nothing the server or the network does makes
// an operation throw: failures show as false results and reply code 0 (only
// an OpenSSL without MD5 throws, from CRAM-MD5). No state is shared between
// objects, so sessions may run on any thread.
class TSMTPSend {
public:
  // socket: the stream to talk through; null means a new TTCPBlockSocket.
  explicit TSMTPSend(std::unique_ptr<TBlockSocket> socket = nullptr);
  // Closes the connection without QUIT.
  ~TSMTPSend();
  TSMTPSend(const TSMTPSend&) = delete;
  TSMTPSend& operator=(const TSMTPSend&) = delete;

  // Settings.
  std::string ServerHost = "127.0.0.1";
  std::string ServerPort = "smtp";     // number or service name; 465 means TLS from the start
  int ReadTimeout = 60000;             // milliseconds for each wait for data
  std::string AuthUser;
  std::string AuthPassword;
  std::string HeloName;                // local host name, or "127.0.0.1"

  // What the server told us.
  bool UsesEsmtp = false;
  bool UsesTls = false;                // the connection is encrypted
  std::vector<std::string> Capabilities;
  bool SizeAnnounced = false;
  int32_t MaxMessageSize = 0;          // kept for callers; nothing is refused by it
  bool Authenticated = false;
  int ReplyCode = 0;
  std::vector<std::string> ReplyLines;
  std::string LastReplyLine;

  // Sets ServerHost and ServerPort from an account's server text: host,
  // optionally ":" and a port, blanks and control characters trimmed from
  // each. An IPv6 literal is given as is ("::1") or in brackets with a port
  // ("[::1]:2525").
  void SplitServer(std::string_view server);

  // Connects, reads the greeting (220), says EHLO (or HELO), switches to TLS
  // when offered (or from the first byte on port 465) and authenticates
  // when credentials are set and a known method is offered. False when the
  // session cannot go on; a refused STARTTLS has then already been
  // answered with QUIT, every other failure leaves the connection to the
  // destructor.
  bool OpenSession();
  // MAIL FROM, with SIZE when the server announced it and size > 0. True
  // exactly on 250. An address with a control character is refused
  // without sending anything.
  bool SendEnvelopeSender(const std::string& address, int64_t size);
  // RCPT TO; true exactly on 250. Control characters as above.
  bool AddEnvelopeRecipient(const std::string& address);
  // DATA, then the message text (every item followed by CR LF, lines
  // dot-stuffed, any lone CR or LF sent as CR LF), then "."; true exactly
  // when the end of the data is answered with 250.
  bool SendData(const std::vector<std::string>& data);
  // QUIT, its reply read and ignored, connection closed.
  void CloseSession();

  bool SayEhlo();
  bool SayHelo();
  // First capability that begins with name (letters a to z compared
  // without case); "" when none.
  std::string FindCapability(std::string_view name) const;
  bool AuthenticateCramMd5();
  bool AuthenticateLogin();
  // Reads one reply, fills ReplyLines, LastReplyLine and ReplyCode and
  // returns the code.
  int ReadReply();

  TBlockSocket& Sock() { return *FSock; }

private:
  void SendCommand(std::string_view command);
  bool StartTlsIfOffered(bool& keepGoing);
  void TakeCapabilities();

  std::unique_ptr<TBlockSocket> FSock;
};

// How SendRawMail builds its session; the defaults are those of the program.
struct TSMTPSendOptions {
  int ReadTimeout = 60000;
  std::function<std::unique_ptr<TBlockSocket>()> MakeSocket;  // empty: TTCPBlockSocket
};

// Delivers one message in its own session. senderAddress and every entry of
// the comma-separated recipients may carry a display name ("Name <a@b>").
// data items together form the message; each is sent followed by CR LF.
// True exactly when the server accepted the message.
bool SendRawMail(const std::string& senderAddress, const std::string& recipients,
                 const std::string& server, const std::vector<std::string>& data,
                 const std::string& userName, const std::string& password,
                 const TSMTPSendOptions& options = {});

// The address inside "<" and ">" (either may be missing), trimmed of blanks
// and control characters at both ends.
std::string ExtractAddress(std::string_view text);

// The envelope addresses of a comma-separated recipient list in the order
// SendRawMail walks it; an empty entry stands for an empty piece.
std::vector<std::string> SplitRecipientList(std::string_view recipients);

// True when an address holds a byte below 32 or DEL: such an address would
// smuggle further commands into the dialogue.
bool HasControlCharacter(std::string_view address);

} // namespace postello
