#pragma once
// The loopback end of an OAuth sign-in (RFC 8252, section 7.3): a listening
// socket on 127.0.0.1 and a port the system picks, to which the browser is
// sent back with the authorization code.
#include <atomic>
#include <map>
#include <optional>
#include <string>

namespace postello {

// Owns the listening socket from construction to destruction. Only a
// request for "/" carrying the sign-in's state counts; anything else (a
// browser asking for /favicon.ico, another program guessing) gets 404 and
// the wait goes on.
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
  // request to "/" with state in its query, answers it with a short German
  // page and returns the parameters of its query. Nothing when the time ran
  // out or cancel was set. Connections are served side by side.
  std::optional<std::map<std::string, std::string>> WaitForRedirect(const std::string& state, int timeoutMs,
                                                                    const std::atomic<bool>* cancel = nullptr);
  // Requests to "/" with a code or an error but without the right state,
  // turned away so far.
  int Foreign() const { return FForeign; }

private:
  int FSocket = -1;
  int FPort = 0;
  int FForeign = 0;
};

} // namespace postello
