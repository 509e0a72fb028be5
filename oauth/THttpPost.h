#pragma once
// The one HTTP request an OAuth sign-in needs: a form POST to the
// provider's token endpoint, made with libcurl.
#include <atomic>
#include <cstddef>
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
  std::string Body;       // after removing any transfer encoding
  std::string Reason;     // German, when !Answered
};

struct THttpOptions {
  int TimeoutMs = 30000;  // for the whole request
  const std::atomic<bool>* Cancel = nullptr;
};

// Posts body (application/x-www-form-urlencoded) to url and reads the
// answer: its body at most MaxHttpAnswer bytes, its headers (interim 1xx
// answers included) at most MaxHttpHead. https needs a certificate that
// verifies for the host and goes through the proxy the environment names
// (https_proxy, no_proxy); plain http is taken only for loopback hosts and
// never through a proxy. Redirects are not followed. Never throws for
// network trouble: Answered is false and Reason says why.
THttpAnswer PostForm(const std::string& url, const std::string& body, const THttpOptions& options = {});

inline constexpr std::size_t MaxHttpAnswer = 1024 * 1024;
inline constexpr std::size_t MaxHttpHead = 64 * 1024;

} // namespace postello
