#pragma once
// A small HTTP/1.1 client for the one request an OAuth sign-in needs: a
// form POST to the provider's token endpoint.
#include "send/TBlockSocket.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace postello {

struct THttpUrl {
  std::string Scheme;  // "https" or "http", lower case
  std::string Host;    // without brackets for IPv6
  std::string Port;    // number as text ("443" when the URL names none)
  std::string Target;  // path and query, at least "/"
};

// Splits an absolute http or https URL. Nothing for other schemes, user
// information ("user@host"), a fragment, a bad port, or any byte outside
// printable ASCII.
std::optional<THttpUrl> ParseHttpUrl(std::string_view url);
// 127.0.0.0/8, ::1 and "localhost": traffic that never leaves the machine.
bool IsLoopbackHost(std::string_view host);

struct THttpAnswer {
  bool Answered = false;  // a complete HTTP response arrived
  int Status = 0;
  std::string Body;       // after removing chunked encoding
  std::string Reason;     // German, when !Answered
};

// The response in raw once it is complete. atEnd: the peer closed the
// connection, so a body without length ends here. Nothing while more
// bytes are needed; an answer with Reason when the bytes cannot be an HTTP
// response.
std::optional<THttpAnswer> ParseHttpResponse(std::string_view raw, bool atEnd);

struct THttpOptions {
  int TimeoutMs = 30000;  // for each wait, and for the whole request
  const std::atomic<bool>* Cancel = nullptr;
  std::function<std::unique_ptr<TBlockSocket>()> MakeSocket;  // empty: TTCPBlockSocket
};

// Posts body (application/x-www-form-urlencoded) to url and reads the
// answer, at most MaxHttpAnswer bytes. https needs a certificate that
// verifies for the host; plain http is taken only for loopback hosts.
// Never throws for network trouble: Answered is false and Reason says why.
THttpAnswer PostForm(const std::string& url, const std::string& body, const THttpOptions& options = {});

inline constexpr std::size_t MaxHttpAnswer = 1024 * 1024;

} // namespace postello
