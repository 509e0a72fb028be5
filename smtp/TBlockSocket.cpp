#include "smtp/TBlockSocket.h"

#include <algorithm>
#include <climits>

namespace postello {

int TBlockSocket::Budget(int timeoutMs) const {
  if (FDeadline == TClock::time_point::max()) return timeoutMs;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(FDeadline - TClock::now()).count();
  if (left <= 0) return 0;
  const long long capped = std::min<long long>(left, INT_MAX);
  return timeoutMs < 0 ? static_cast<int>(capped) : static_cast<int>(std::min<long long>(capped, timeoutMs));
}

void TBlockSocket::ResetReceiveState() {
  FBuffer.clear();
  FSkipNext = 0;
}

void TBlockSocket::DropSkippedLineEnd() {
  if (FSkipNext != 0 && !FBuffer.empty()) {
    if (FBuffer.front() == FSkipNext) FBuffer.erase(0, 1);
    FSkipNext = 0;
  }
}

bool TBlockSocket::ReceiveMore(int timeoutMs) {
  // Checked here as well as in the waits, so a peer that keeps bytes
  // flowing cannot outrun a cancel request or the deadline.
  if (CancelRequested()) {
    FLastError = ErrCancelled;
    return false;
  }
  if (DeadlinePassed()) {
    FLastError = ErrDeadline;
    return false;
  }
  std::string packet = RecvPacket(timeoutMs);
  if (packet.empty()) {
    if (FLastError == 0) FLastError = ErrConnReset;
    return false;
  }
  FBuffer += packet;
  return true;
}

std::string TBlockSocket::RecvLine(int timeoutMs) {
  FLastError = 0;
  size_t scanned = 0;
  for (;;) {
    DropSkippedLineEnd();
    size_t end = scanned;
    while (end < FBuffer.size() && FBuffer[end] != '\r' && FBuffer[end] != '\n') ++end;
    if (end < FBuffer.size()) {
      if (end > MaxLineLength) break;
      std::string line = FBuffer.substr(0, end);
      const char first = FBuffer[end];
      const char partner = first == '\r' ? '\n' : '\r';
      size_t rest = end + 1;
      if (rest < FBuffer.size()) {
        if (FBuffer[rest] == partner) ++rest;
      } else {
        FSkipNext = partner;
      }
      FBuffer.erase(0, rest);
      return line;
    }
    scanned = FBuffer.size();
    if (scanned > MaxLineLength) break;
    if (!ReceiveMore(timeoutMs)) return {};
  }
  // The peer keeps talking without ending its line; nothing sensible can
  // follow, so the connection is given up.
  CloseSocket();
  FLastError = ErrLineTooLong;
  return {};
}

bool TBlockSocket::InputWaiting() {
  // Two looks, since the first may bring only the partner of a line end
  // that the last line already used.
  for (int look = 0; look < 2; ++look) {
    DropSkippedLineEnd();
    if (!FBuffer.empty()) break;
    std::string packet = RecvPacket(0);
    if (packet.empty()) break;
    FBuffer += packet;
  }
  DropSkippedLineEnd();
  FLastError = 0;
  return !FBuffer.empty();
}

std::string TBlockSocket::RecvSome(int timeoutMs) {
  FLastError = 0;
  for (;;) {
    DropSkippedLineEnd();
    if (!FBuffer.empty()) {
      std::string out;
      out.swap(FBuffer);
      return out;
    }
    if (!ReceiveMore(timeoutMs)) return {};
  }
}

} // namespace postello
