#pragma once
#include "send/TBlockSocket.h"

#include <memory>
#include <string>

namespace postello {

// A TCP client connection over POSIX sockets, optionally wrapped in TLS.
//
// Holds one connected descriptor (or -1) and, once StartTls succeeded, the
// OpenSSL context and connection of this socket alone; TLS records pass
// through memory buffers, so every byte on the wire goes through our own
// send and receive calls with their time limits and without SIGPIPE. The
// descriptor is non-blocking after the connect; waits use poll. Nothing is
// shared between objects, so sessions may run on several threads at once.
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
  int RemotePort() const override { return FRemotePort; }

  // The computer's host name as the system reports it; "" when unknown.
  static std::string LocalHostName();

protected:
  std::string RecvPacket(int timeoutMs) override;

private:
  struct TTls;
  // Plain descriptor I/O; they set LastError on failure.
  bool RawSend(const char* data, size_t size, int timeoutMs);
  std::string RawRecv(int timeoutMs);
  // Moves the TLS engine's pending output to the wire.
  bool FlushTls(int timeoutMs);

  int FSocket = -1;
  int FRemotePort = 0;
  std::unique_ptr<TTls> FTls;
};

} // namespace postello
