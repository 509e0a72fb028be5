#pragma once
// One libcurl easy handle, owned from construction to destruction, set up
// for a single form POST. It reports what happened in curl's own terms;
// what that means for the user is decided by its callers.
#include <atomic>
#include <cstddef>
#include <string>

namespace postello {

// The caller sets every limit (THttpPost keeps their values).
struct TCurlLimits {
  long TimeoutMs{};          // for the whole transfer, connect included
  const std::atomic<bool>* Cancel{};
  std::size_t MaxBody{};     // bytes of the final answer's body
  std::size_t MaxHead{};     // bytes of all header blocks, 1xx ones included
  bool MayUseProxy{};        // false: never a proxy, whatever the environment says
};

struct TCurlOutcome {
  int Code = 0;             // CURLcode
  long Status = 0;          // HTTP status of the final answer
  long ProxyStatus = 0;     // a proxy's answer to CONNECT; 0 when there was none
  long OsError = 0;         // errno of a failed connect
  long ChainError = 0;      // OpenSSL's first X509_V_ERR_* for the peer's chain; 0: none
  bool TooBig = false;      // a limit was passed and the transfer stopped
  bool Cancelled = false;
  std::string Body;
};

class TCurlEasy {
public:
  TCurlEasy();
  ~TCurlEasy();
  TCurlEasy(const TCurlEasy&) = delete;
  TCurlEasy& operator=(const TCurlEasy&) = delete;

  // Posts body as application/x-www-form-urlencoded to url (http or https
  // only, never following a redirect, verifying the peer's certificate
  // against the system's trust store and SSL_CERT_FILE / SSL_CERT_DIR).
  TCurlOutcome PostForm(const std::string& url, const std::string& body, const TCurlLimits& limits);

private:
  void* FHandle = nullptr;  // CURL*
};

} // namespace postello
