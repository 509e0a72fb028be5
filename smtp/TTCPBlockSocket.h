#pragma once
#include "smtp/TBlockSocket.h"

#include <memory>
#include <string>

struct addrinfo;

namespace postello {

// A TCP client connection over POSIX sockets, optionally wrapped in TLS.
//
// Holds one connected descriptor (or -1) and, once StartTls succeeded, the
// OpenSSL context and connection of this socket alone; TLS records pass
// through memory buffers, so every byte on the wire goes through our own
// send and receive calls with their time limits and without SIGPIPE. The
// descriptor is non-blocking from the start, the connect included; waits
// use poll. Name look-ups run on a helper thread that a cancelled wait
// leaves to finish alone. Nothing is shared between objects, so sessions
// may run on several threads at once.
class TTCPBlockSocket : public TBlockSocket {
public:
  TTCPBlockSocket();
  ~TTCPBlockSocket() override;
  TTCPBlockSocket(const TTCPBlockSocket&) = delete;
  TTCPBlockSocket& operator=(const TTCPBlockSocket&) = delete;

  void Connect(const std::string& host, const std::string& port) override;
  void CloseSocket() override;
  void SendString(std::string_view bytes, int timeoutMs) override;
  bool StartTls(const std::string& verifyHost, int timeoutMs) override;
  TPeerCertificate PeerCertificate() const override { return FPeer; }
  int RemotePort() const override { return FRemotePort; }

  // The port of a service name a mail account may give ("smtp",
  // "submission", "smtps", ...); 0 for anything else.
  static int WellKnownMailPort(const std::string& service);

  // The computer's host name as the system reports it; "" when unknown.
  static std::string LocalHostName();

protected:
  std::string RecvPacket(int timeoutMs) override;

private:
  struct TTls;
  // Waits until fd is ready for events, in short slices so that the
  // cancel flag and the deadline are seen at once. timeoutMs < 0: only
  // the deadline and the flag limit the wait. 0 when ready, else the error.
  int Wait(int fd, short events, int timeoutMs) const;
  // Name resolution that a cancel request or the deadline can leave
  // behind; sets LastError and returns null on failure.
  ::addrinfo* Resolve(const std::string& host, const std::string& service, bool literal);
  // Plain descriptor I/O; they set LastError on failure.
  bool RawSend(const char* data, size_t size, int timeoutMs);
  std::string RawRecv(int timeoutMs);
  // Fills FPeer after a finished handshake.
  void TakePeerCertificate();
  // Moves the TLS engine's pending output to the wire.
  bool FlushTls(int timeoutMs);

  int FSocket = -1;
  int FRemotePort = 0;
  std::unique_ptr<TTls> FTls;
  TPeerCertificate FPeer;
};

} // namespace postello
