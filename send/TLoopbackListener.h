#pragma once
// The loopback end of an OAuth sign-in (RFC 8252, section 7.3): a listening
// socket on 127.0.0.1 and a port the system picks, to which the browser is
// sent back with the authorization code.
#include <atomic>
#include <map>
#include <optional>
#include <string>

namespace postello {

// Owns the listening socket from construction to destruction. Only the
// first request for "/" with a code, an error or a state counts; anything
// else (a browser asking for /favicon.ico) gets 404 and the wait goes on.
class TLoopbackListener {
public:
  // Binds and listens; throws std::runtime_error (German) when no port can
  // be had.
  TLoopbackListener();
  ~TLoopbackListener();
  TLoopbackListener(const TLoopbackListener&) = delete;
  TLoopbackListener& operator=(const TLoopbackListener&) = delete;

  int Port() const { return FPort; }
  // "http://127.0.0.1:PORT/", the redirect_uri of the sign-in.
  std::string RedirectUri() const;

  // Waits at most timeoutMs (and until cancel is set) for the browser's
  // request to "/", answers it with a short German page and returns the
  // parameters of its query. Nothing when the time ran out or cancel was
  // set; a query that cannot be decoded gives an empty map.
  std::optional<std::map<std::string, std::string>> WaitForRedirect(int timeoutMs,
                                                                    const std::atomic<bool>* cancel = nullptr);

private:
  int FSocket = -1;
  int FPort = 0;
};

} // namespace postello
