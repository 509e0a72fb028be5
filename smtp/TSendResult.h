#pragma once
#include <string>
#include <utility>

namespace postello {

// The outcome of delivering one message: delivered or not, and if not,
// why, in German for the error log. A deliverer that only knows yes or no
// may return a bool; the reason is then empty.
struct TSendResult {
  bool Delivered = false;
  // The user stopped the session before the end of the data went out:
  // the message is not sent, and the run ends as cancelled.
  bool Cancelled = false;
  // The end of the data went out but no answer came (the connection
  // dropped, the time ran out): the server may have taken the message.
  bool Uncertain = false;
  // The end of the data went out, whatever came back: such a message is
  // never sent again without the user's choice.
  bool DataEndSent = false;
  // The code of the server's reply that refused the message; 0 when no
  // reply decided it (the network, a check of our own).
  int ReplyCode = 0;
  // No session could be opened (connection, greeting, TLS): nothing of
  // the message reached the server.
  bool ConnectFailed = false;
  // The server refused the account's login.
  bool LoginRefused = false;
  std::string Reason;

  TSendResult() = default;
  TSendResult(bool delivered) : Delivered(delivered) {}  // NOLINT: deliberately implicit

  explicit operator bool() const { return Delivered; }

  static TSendResult Failed(std::string reason) {
    TSendResult r;
    r.Reason = std::move(reason);
    return r;
  }
  static TSendResult Refused(int code, std::string reason) {
    TSendResult r = Failed(std::move(reason));
    r.ReplyCode = code;
    return r;
  }
  static TSendResult Interrupted(std::string reason) {
    TSendResult r = Failed(std::move(reason));
    r.Cancelled = true;
    return r;
  }
};

} // namespace postello
