#pragma once
// Sockets on 127.0.0.1 for tests that need a port of their own: one that
// takes connections (the kernel accepts them) but never answers, or one
// nobody listens on.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace postello::test {

// A socket bound to a free loopback port, listening when asked; -1 when
// that fails. port receives the port number. The caller closes it.
inline int BindLoopback(int& port, bool listening) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      (listening && listen(fd, 4) != 0) || getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  port = ntohs(addr.sin_port);
  return fd;
}

// A loopback port nobody listens on (free at the moment of the call); 0
// when none could be had.
inline int UnusedLoopbackPort() {
  int port = 0;
  const int fd = BindLoopback(port, false);
  if (fd < 0) return 0;
  close(fd);
  return port;
}

} // namespace postello::test
