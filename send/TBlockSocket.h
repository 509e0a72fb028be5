#pragma once
// The byte stream an SMTP session talks through. TTCPBlockSocket is the real
// one; tests put a scripted server behind this interface.
#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

namespace postello {

// A blocking, line-oriented client stream.
//
// The socket owns a receive buffer: bytes that arrived after the end of the
// line just returned wait there for the next RecvLine. It also remembers the
// error of the last operation in LastError (0 means none); every operation
// clears it when it starts, so the value always describes the latest call.
// Errors are errno values; the ones the session looks at are the constants
// below. Nothing here throws: a failed operation only sets LastError.
class TBlockSocket {
public:
  // A wait for data ran out.
  static constexpr int ErrTimedOut = ETIMEDOUT;
  // The peer closed the connection, or there is none.
  static constexpr int ErrConnReset = ECONNRESET;
  // A line grew past MaxLineLength before its end arrived.
  static constexpr int ErrLineTooLong = EMSGSIZE;
  // The TLS handshake or the certificate check failed.
  static constexpr int ErrTls = EPROTO;
  // Host or service could not be resolved.
  static constexpr int ErrResolve = EHOSTUNREACH;

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
  // Turns the open connection into a TLS client connection and checks the
  // server certificate against the system's trust store and against
  // verifyHost (a host name or an IP literal). False when either fails or
  // the handshake breaks off; LastError is then ErrTls or the wire error
  // (such as ErrTimedOut), and the connection is closed.
  virtual bool StartTls(const std::string& verifyHost, int timeoutMs) = 0;
  // Port number of the connected peer, 0 when not connected.
  virtual int RemotePort() const = 0;

  // Reads one line without its end. A line ends at the first CR LF, LF CR,
  // lone CR or lone LF; a pair split between two receives still counts as
  // one line end. Each wait for more bytes lasts at most timeoutMs. On an
  // error (time-out, closed connection, overlong line) returns "" with
  // LastError set.
  std::string RecvLine(int timeoutMs);

  int LastError() const { return FLastError; }

protected:
  // Waits at most timeoutMs for bytes and returns what arrived (never
  // empty on success). On failure returns "" and sets LastError.
  virtual std::string RecvPacket(int timeoutMs) = 0;

  void SetLastError(int error) { FLastError = error; }
  // Forgets buffered bytes; for CloseSocket and new connections.
  void ResetReceiveState();

private:
  int FLastError = 0;
  std::string FBuffer;
  // Set when the last line ended with a CR (LF) that was the last byte
  // received: a LF (CR) at the start of the next receive completes it.
  char FSkipNext = 0;
};

} // namespace postello
