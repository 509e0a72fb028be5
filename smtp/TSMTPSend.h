#pragma once
#include "smtp/TBearerTokens.h"
#include "smtp/TBlockSocket.h"
#include "smtp/TSendResult.h"
#include "smtp/TServerTrust.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// One SMTP client session: connect, greet, upgrade to TLS when the server
// offers it, authenticate when credentials are set (CRAM-MD5, then LOGIN,
// then PLAIN, as offered; an account with an OAuth grant uses XOAUTH2
// only, see Tokens), give the envelope, send
// the data, quit. One object is one connection; TSmtpSession drives it
// for one message or several.
//
// A session with credentials (a password or an OAuth token) goes on only
// inside TLS with a certificate that verifies (or that Trust accepts), or
// in clear when Trust allows it for this server and the server neither
// offers STARTTLS now nor was seen offering it; otherwise it ends after
// EHLO, before anything of the message is said. Without credentials TLS
// is taken when offered, whatever the certificate, and a refused STARTTLS
// goes on in clear.
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
  int MessageTimeLimit = 300000;       // milliseconds for the whole session, for the reasons' wording
  TServerTrust* Trust = nullptr;       // null: no clear-text password, no pinned certificates
  // An account that signed in with OAuth (Tokens->HasGrant for
  // TokenAccount, the sender address, and ServerKey) logs in with XOAUTH2
  // only, its token treated as a password. Null: no OAuth.
  TBearerTokens* Tokens = nullptr;
  std::string TokenAccount;
  // Whether SendEnvelopeGroup may group its commands when the server
  // offers PIPELINING; false keeps them one by one.
  bool GroupCommands = true;

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
  bool StartTlsOffered = false;        // the first EHLO reply listed STARTTLS
  // Why the last operation failed, in German for the error log: the
  // network's trouble, the certificate's, or the server's reply line.
  std::string FailReason;
  // Why no password was sent, or that it was refused; "" when neither.
  std::string AuthNote;

  // The server as decisions about it are filed: lower-case host (IPv6 in
  // brackets), ":" and the port number ("mail.example.org:587").
  std::string ServerKey() const;
  // A cancel request ended the session; nothing more goes on the wire.
  bool Cancelled() const { return FCancelled; }
  // Called just before the end of the data goes out; false stops the
  // session without it, so the message is not sent.
  std::function<bool()> BeforeDataEnd;
  // The end of the data went out and no reply to it could be read.
  bool DataEndUnanswered() const { return FDataEndUnanswered; }
  // The result for the caller: delivered, or FailReason (with AuthNote in
  // front), marked as cancelled when the user stopped it.
  TSendResult Result(bool delivered) const;

  // Sets ServerHost and ServerPort from an account's server text: host,
  // optionally ":" and a port, blanks and control characters trimmed from
  // each. An IPv6 literal is given as is ("::1") or in brackets with a port
  // ("[::1]:2525").
  void SplitServer(std::string_view server);

  // Connects, reads the greeting (220), says EHLO (or HELO, unless EHLO got
  // no answer at all), switches to TLS when offered (or from the first
  // byte on port 465) and authenticates when credentials are set, a known
  // method is offered and the password may go (see the class comment).
  // False, with FailReason, when the session cannot go on; a refused
  // certificate has then already been answered with QUIT, every other
  // failure leaves the connection to the destructor.
  bool OpenSession();
  // MAIL FROM, with SIZE when the server announced it and size > 0. True
  // exactly on 250. An address with a control character is refused
  // without sending anything.
  bool SendEnvelopeSender(const std::string& address, int64_t size);
  // RCPT TO; true exactly on 250. Control characters as above.
  bool AddEnvelopeRecipient(const std::string& address);
  // DATA, then the message text (every item followed by CR LF, lines
  // dot-stuffed, any lone CR or LF sent as CR LF), then "."; true exactly
  // when the end of the data is answered with 250. When the server sent
  // anything after its 354, the end is not sent and the connection closed.
  bool SendData(const std::vector<std::string>& data);
  // QUIT, its reply read and ignored, connection closed.
  void CloseSession();

  // The server listed PIPELINING in its EHLO reply (RFC 2920).
  bool Pipelining() const;
  // The envelope of one message on a session that may have carried others
  // (reused): RSET first when an earlier transaction on this connection
  // failed or was cut short (never after a delivered message), then MAIL
  // FROM (SIZE as in SendEnvelopeSender) and RCPT TO for each address.
  // With PIPELINING the commands go out as one group and the replies are
  // read in order, otherwise one by one, stopping at the first refusal.
  // True exactly when every reply was 250; FailReason then names the
  // first refusal, as the command-by-command dialogue would. On a reused
  // connection ResetRefused tells whether the first command found the
  // server gone or closing (RSET not answered with 250, MAIL FROM without
  // an answer or with 421), in which case nothing of the message was
  // taken. withData closes a pipelined
  // group with DATA (true then also needs its 354); DataOpen tells whether
  // the server is waiting for the message text, which after a refusal
  // leaves only closing the connection, so that nothing is delivered.
  bool SendEnvelopeGroup(bool reused, const std::string& sender, int64_t size,
                         const std::vector<std::string>& addresses, bool withData = false);
  bool ResetRefused() const { return FResetRefused; }
  bool DataOpen() const { return FDataOpen; }
  // The message text after DATA was answered with 354, as SendData sends it.
  bool SendMessageText(const std::vector<std::string>& data);

  bool SayEhlo();
  bool SayHelo();
  // First capability that begins with name (letters a to z compared
  // without case); "" when none.
  std::string FindCapability(std::string_view name) const;
  bool AuthenticateCramMd5();
  bool AuthenticateLogin();
  // AUTH PLAIN with the initial response (RFC 4616, RFC 4954): no
  // authorisation identity, the user name, the password. False without
  // sending anything when either holds a NUL byte.
  bool AuthenticatePlain();
  // AUTH XOAUTH2 with the initial response: base64 of "user=" user ^A
  // "auth=Bearer " token ^A ^A. An error challenge (334) is answered with
  // an empty line, as the mechanism wants. True exactly on 235.
  bool AuthenticateXOAuth2(const std::string& user, const std::string& token);
  // Reads one reply, fills ReplyLines, LastReplyLine and ReplyCode and
  // returns the code. A reply of more than MaxReplyBytes (each line
  // counted with two bytes for its end) or MaxReplyLines lines closes the
  // connection and reads as code 0.
  int ReadReply();

  static constexpr std::size_t MaxReplyBytes = 1024 * 1024;
  static constexpr std::size_t MaxReplyLines = 4096;

  TBlockSocket& Sock() { return *FSock; }

private:
  // Whether the first command's refusal on a reused connection means the
  // server is gone or closing, rather than refusing this message.
  static bool ServerGone(bool reset, int code);
  void SendCommand(std::string_view command);
  // True once a cancel request has been seen; from then on nothing is
  // sent or read.
  bool Interrupted();
  // Sets FailReason and returns false.
  bool Fail(std::string reason);
  // The reason for the reply just read: its line, or the wire's trouble.
  std::string ReplyReason() const;
  std::string WireReason(int error) const;
  // Whether the certificate of the TLS connection may carry this session.
  bool AcceptCertificate();
  // Whether a session with credentials may go on without TLS; sets
  // FailReason if not.
  bool ClearTextAllowed();
  // OpenSession's work; OpenSession notes whether it failed.
  bool OpenSteps();
  void TakeCapabilities();
  // The login of an account with an OAuth grant, once the connection is
  // secure: XOAUTH2 with the current token, renewed and tried once more
  // when the server refuses it. False (connection closed) when no token
  // can be had; a refusal only sets AuthNote, like a refused password.
  bool LogInWithBearer();

  std::unique_ptr<TBlockSocket> FSock;
  int FWireError = 0;       // the socket's error after the last command or reply
  bool FCancelled = false;
  bool FDataEndUnanswered = false;
  bool FDataEndSent = false;   // the end of the current message's data went out
  bool FOpenFailed = false;    // the last OpenSession failed
  bool FLoginRefused = false;  // the server said no to the login
  int FFailCode = 0;           // ReplyCode when FailReason was set
  std::string FTlsRefusal;  // the reply line that refused STARTTLS
  bool FBearer = false;     // the account logs in with an OAuth token
  bool FResetRefused = false;
  bool FDataOpen = false;
  // MAIL FROM went out and no 250 to the end of the data has come since.
  bool FTransactionOpen = false;
};

// How SendRawMail builds its session; the defaults are those of the program.
struct TSMTPSendOptions {
  int ReadTimeout = 60000;
  // The whole session, connect to QUIT, in milliseconds; 0: no limit.
  // Time spent on a question to the user does not count.
  int MessageTimeLimit = 300000;
  // Set (from any thread or a signal handler) to end the session at once,
  // as long as the end of the data has not gone out.
  const std::atomic<bool>* Cancel = nullptr;
  TServerTrust* Trust = nullptr;
  // The OAuth grants (TSMTPSend::Tokens); null: none.
  TBearerTokens* Tokens = nullptr;
  // TSMTPSend::BeforeDataEnd; called on the session's thread.
  std::function<bool()> BeforeDataEnd;
  std::function<std::unique_ptr<TBlockSocket>()> MakeSocket;  // empty: TTCPBlockSocket
};

// Delivers one message in its own session. senderAddress and every entry of
// the comma-separated recipients may carry a display name ("Name <a@b>").
// data items together form the message; each is sent followed by CR LF.
// Delivered exactly when the server accepted the message; otherwise the
// reason, in German.
TSendResult SendRawMailWithReason(const std::string& senderAddress, const std::string& recipients,
                                  const std::string& server, const std::vector<std::string>& data,
                                  const std::string& userName, const std::string& password,
                                  const TSMTPSendOptions& options = {});

// The same, true exactly when the server accepted the message.
bool SendRawMail(const std::string& senderAddress, const std::string& recipients,
                 const std::string& server, const std::vector<std::string>& data,
                 const std::string& userName, const std::string& password,
                 const TSMTPSendOptions& options = {});

// What a short session without credentials learns about a server's TLS:
// whether it could be reached (else Reason), whether it speaks TLS, and
// its certificate, and the size limit it names. Ends with QUIT; nothing is
// sent beyond EHLO and STARTTLS.
struct TServerProbe {
  bool Reached = false;
  std::string Reason;
  std::string Key;        // TSMTPSend::ServerKey
  bool Tls = false;
  TPeerCertificate Certificate;
  // The message size the server takes (EHLO's SIZE); -1 when it named
  // none, 0 when it named no limit.
  std::int64_t SizeLimit = -1;
};
TServerProbe ProbeServer(const std::string& server, const TSMTPSendOptions& options = {});

// TSMTPSend::ServerKey for an account's server text.
std::string ServerKeyOf(const std::string& server);

// A fingerprint as shown to people: upper-case hex pairs joined by ":".
std::string FormatFingerprint(const std::string& hex);

// The address inside "<" and ">" (either may be missing), trimmed of blanks
// and control characters at both ends.
std::string ExtractAddress(std::string_view text);

// The envelope addresses of a comma-separated recipient list in the order
// SendRawMail walks it; an empty entry stands for an empty piece.
std::vector<std::string> SplitRecipientList(std::string_view recipients);

// The reason given for a message with such an address.
inline constexpr const char* kControlCharacterReason = "Adresse enth\xE4lt ein Steuerzeichen";

// True when an address holds a byte below 32 or DEL: such an address would
// smuggle further commands into the dialogue.
bool HasControlCharacter(std::string_view address);

} // namespace postello
