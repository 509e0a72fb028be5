#include "send/TBlockSocket.h"

namespace postello {

void TBlockSocket::ResetReceiveState() {
  FBuffer.clear();
  FSkipNext = 0;
}

std::string TBlockSocket::RecvLine(int timeoutMs) {
  FLastError = 0;
  size_t scanned = 0;
  for (;;) {
    if (FSkipNext != 0 && !FBuffer.empty()) {
      if (FBuffer.front() == FSkipNext) FBuffer.erase(0, 1);
      FSkipNext = 0;
    }
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
    std::string packet = RecvPacket(timeoutMs);
    if (packet.empty()) {
      if (FLastError == 0) FLastError = ErrConnReset;
      return {};
    }
    FBuffer += packet;
  }
  // The peer keeps talking without ending its line; nothing sensible can
  // follow, so the connection is given up.
  CloseSocket();
  FLastError = ErrLineTooLong;
  return {};
}

} // namespace postello
