#pragma once
// A POSIX file descriptor closed when it goes out of scope.
#include <unistd.h>

namespace postello {

struct TFd {
  int Fd = -1;
  explicit TFd(int fd) : Fd(fd) {}
  ~TFd() { Close(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  // Closes the descriptor now (once); the destructor then does nothing.
  void Close() {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
  }
};

} // namespace postello
