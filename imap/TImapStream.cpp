#include "imap/TImapStream.h"

#include <libetpan/libetpan.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace postello {

namespace {

int LowClose(mailstream_low*) { return 0; }
// No descriptor: every wait happens in the socket, bounded by its time-out
// and cancel flag.
int LowFd(mailstream_low*) { return -1; }
// libetpan hands the low stream over to be freed; the TImapStream behind it
// belongs to the mailbox.
void LowFree(mailstream_low* low) { std::free(low); }
void LowCancel(mailstream_low*) {}
struct mailstream_cancel* LowGetCancel(mailstream_low*) { return nullptr; }
carray* LowCertificates(mailstream_low*) { return nullptr; }
int LowIdle(mailstream_low*) { return -1; }

mailstream_low_driver kDriver = {
    TImapStream::Read, TImapStream::Write, LowClose, LowFd,   LowFree, LowCancel,
    LowGetCancel,      LowCertificates,    LowIdle,  LowIdle, LowIdle,
};

TImapStream& Self(mailstream_low* low) { return *static_cast<TImapStream*>(low->data); }

} // namespace

TImapStream::TImapStream(TBlockSocket& socket, int timeoutMs, std::size_t maxResponseBytes)
    : FSock(socket), FTimeoutMs(timeoutMs), FMax(maxResponseBytes) {}

_mailstream_low* TImapStream::NewLow() { return mailstream_low_new(this, &kDriver); }

ssize_t TImapStream::Read(_mailstream_low* low, void* buf, std::size_t count) {
  TImapStream& self = Self(low);
  if (self.FError != 0) return -1;
  if (self.FPos >= self.FPending.size()) {
    std::string got = self.FSock.RecvSome(self.FTimeoutMs);
    if (got.empty()) {
      self.FError = self.FSock.LastError() != 0 ? self.FSock.LastError() : TBlockSocket::ErrConnReset;
      return -1;
    }
    self.FReceived += got.size();
    // Counted before libetpan sees the bytes: a literal announced at any
    // size never gets more than the limit into memory.
    if (self.FReceived > self.FMax) {
      self.FError = ErrTooBig;
      self.FPending.clear();
      self.FPos = 0;
      return -1;
    }
    self.FPending = std::move(got);
    self.FPos = 0;
  }
  const std::size_t n = std::min(count, self.FPending.size() - self.FPos);
  std::memcpy(buf, self.FPending.data() + self.FPos, n);
  self.FPos += n;
  return static_cast<ssize_t>(n);
}

ssize_t TImapStream::Write(_mailstream_low* low, const void* buf, std::size_t count) {
  TImapStream& self = Self(low);
  if (self.FError != 0) return -1;
  self.FSock.SendString(std::string_view(static_cast<const char*>(buf), count), self.FTimeoutMs);
  if (self.FSock.LastError() != 0) {
    self.FError = self.FSock.LastError();
    return -1;
  }
  // A new command: its answer gets the whole allowance.
  self.FReceived = 0;
  return static_cast<ssize_t>(count);
}

} // namespace postello
