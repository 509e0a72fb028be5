#pragma once
// The byte stream libetpan reads and writes an IMAP conversation through:
// our TBlockSocket underneath, so the waits, the cancel flag and TLS are the
// socket's, and every answer is counted so that no server can make us
// hold more than a set number of bytes for one command.
#include "smtp/TBlockSocket.h"

#include <cstddef>
#include <string>

struct _mailstream_low;

namespace postello {

class TImapStream {
public:
  // The answer to one command grew past the limit (an errno-style value
  // beside TBlockSocket's).
  static constexpr int ErrTooBig = EFBIG;

  TImapStream(TBlockSocket& socket, int timeoutMs, std::size_t maxResponseBytes);
  TImapStream(const TImapStream&) = delete;
  TImapStream& operator=(const TImapStream&) = delete;

  // A new low-level stream for libetpan to own; it reads and writes
  // through this object, which must outlive it.
  _mailstream_low* NewLow();

  // What ended the conversation: 0 while none, else a TBlockSocket error
  // or ErrTooBig. Once set, every read and write fails.
  int Error() const { return FError; }
  // Bytes received and not yet handed to libetpan (a server that talks
  // before it is asked, as around STARTTLS).
  bool HasUnread() const { return FPos < FPending.size(); }
  // Nothing more goes out or comes in (libetpan says goodbye on its own
  // when freed; a connection given up on gets no more words).
  void Shut() {
    if (FError == 0) FError = TBlockSocket::ErrConnReset;
  }

  static ssize_t Read(_mailstream_low* low, void* buf, std::size_t count);
  static ssize_t Write(_mailstream_low* low, const void* buf, std::size_t count);

private:
  TBlockSocket& FSock;
  int FTimeoutMs;
  std::size_t FMax;
  std::size_t FReceived = 0;  // since the last command went out
  std::string FPending;
  std::size_t FPos = 0;
  int FError = 0;
};

} // namespace postello
