#pragma once
// The byte stream an SMTP session talks through. TTCPBlockSocket is the real
// one; tests put a scripted server behind this interface.
#include "core/CertProblem.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace postello {

// The certificate the server showed in the TLS handshake.
struct TPeerCertificate {
  bool Present = false;     // a TLS handshake took place and showed one
  std::string Fingerprint;  // SHA-256 of the certificate (DER), 64 lower-case hex digits
  TCertProblem Problem = TCertProblem::None;
};

// A blocking, line-oriented client stream.
//
// The socket owns a receive buffer: bytes that arrived after the end of the
// line just returned wait there for the next RecvLine. It also remembers the
// error of the last operation in LastError (0 means none); every operation
// clears it when it starts, so the value always describes the latest call.
// Errors are errno values; the ones the session looks at are the constants
// below. Nothing here throws: a failed operation only sets LastError.
//
// Every wait is bounded three ways: by the timeout of the call, by an
// overall deadline (SetDeadline, for the whole message), and by a cancel
// flag (SetCancelFlag) that ends the wait within a tenth of a second of
// being set, from any thread or a signal handler.
class TBlockSocket {
public:
  using TClock = std::chrono::steady_clock;

  // A wait for data ran out.
  static constexpr int ErrTimedOut = ETIMEDOUT;
  // The peer closed the connection, or there is none.
  static constexpr int ErrConnReset = ECONNRESET;
  // A line grew past MaxLineLength before its end arrived.
  static constexpr int ErrLineTooLong = EMSGSIZE;
  // The TLS handshake failed.
  static constexpr int ErrTls = EPROTO;
  // Host or service could not be resolved.
  static constexpr int ErrResolve = ENXIO;
  // The cancel flag was set while waiting.
  static constexpr int ErrCancelled = ECANCELED;
  // The overall deadline passed.
  static constexpr int ErrDeadline = ETIME;

  // Longest line RecvLine accepts, in bytes without the line end. A peer
  // that sends more without ending the line gets the connection closed,
  // so a broken or hostile server cannot make us hold unbounded memory.
  static constexpr std::size_t MaxLineLength = 64 * 1024;

  virtual ~TBlockSocket() = default;

  // Resolves host (a name or an IPv4/IPv6 literal) and port (a number or a
  // service name) and connects by TCP, trying each address in turn.
  virtual void Connect(const std::string& host, const std::string& port) = 0;
  // Closes the connection; the receive buffer is dropped.
  virtual void CloseSocket() = 0;
  // Writes all bytes, waiting at most timeoutMs each time the system's send
  // buffer is full.
  virtual void SendString(std::string_view bytes, int timeoutMs) = 0;
  // Turns the open connection into a TLS client connection. The server's
  // certificate is checked against the system's trust store and against
  // verifyHost (a host name or an IP literal), but a failed check does not
  // stop the handshake: PeerCertificate tells the caller, who decides.
  // False when the handshake itself breaks off; LastError is then ErrTls
  // or the wire error (such as ErrTimedOut), and the connection is closed.
  virtual bool StartTls(const std::string& verifyHost, int timeoutMs) = 0;
  // The certificate of the last successful StartTls on this connection.
  virtual TPeerCertificate PeerCertificate() const = 0;
  // Port number of the connected peer, 0 when not connected.
  virtual int RemotePort() const = 0;

  // Reads one line without its end. A line ends at the first CR LF, LF CR,
  // lone CR or lone LF; a pair split between two receives still counts as
  // one line end. Each wait for more bytes lasts at most timeoutMs. On an
  // error (time-out, closed connection, overlong line) returns "" with
  // LastError set.
  std::string RecvLine(int timeoutMs);

  // The bytes that are there, those left over from RecvLine first, else
  // whatever the next wait of at most timeoutMs brings; for bodies whose
  // length is counted in bytes (HTTP). "" with LastError set on failure,
  // ErrConnReset when the peer closed the connection.
  std::string RecvSome(int timeoutMs);
  int LastError() const { return FLastError; }
  // Whether bytes have arrived that no read has taken yet, without
  // waiting: the buffer's, else what one look at the connection finds.
  // LastError is 0 afterwards.
  bool InputWaiting();

  // The flag that ends every wait (null: none). The flag must outlive the
  // socket's use of it.
  void SetCancelFlag(const std::atomic<bool>* flag) { FCancel = flag; }
  bool CancelRequested() const { return FCancel != nullptr && FCancel->load(); }
  // The time after which every wait fails with ErrDeadline (default: none).
  void SetDeadline(TClock::time_point deadline) { FDeadline = deadline; }
  // Moves the deadline on, for time spent outside the conversation (a
  // question to the user).
  void ExtendDeadline(TClock::duration by) {
    if (FDeadline != TClock::time_point::max()) FDeadline += by;
  }

protected:
  // Waits at most timeoutMs for bytes and returns what arrived (never
  // empty on success). On failure returns "" and sets LastError.
  virtual std::string RecvPacket(int timeoutMs) = 0;

  void SetLastError(int error) { FLastError = error; }
  // Forgets buffered bytes; for CloseSocket and new connections.
  void ResetReceiveState();
  // The part of timeoutMs (negative: no limit) the deadline leaves, in
  // milliseconds; 0 when it has passed.
  int Budget(int timeoutMs) const;
  bool DeadlinePassed() const { return TClock::now() >= FDeadline; }

private:
  // Drops the partner of a line end split between two receives, once the
  // next bytes are there.
  void DropSkippedLineEnd();
  // Waits for the next bytes and appends them to the buffer; false with
  // LastError set on cancel, deadline, time-out or a closed connection.
  bool ReceiveMore(int timeoutMs);

  int FLastError = 0;
  std::string FBuffer;
  // Set when the last line ended with a CR (LF) that was the last byte
  // received: a LF (CR) at the start of the next receive completes it.
  char FSkipNext = 0;
  const std::atomic<bool>* FCancel = nullptr;
  TClock::time_point FDeadline = TClock::time_point::max();
};

} // namespace postello
