#include "oauth/THttpPost.h"

#include "core/CertProblem.h"
#include "mime/HeaderLines.h"
#include "oauth/TCurlEasy.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <openssl/x509_vfy.h>

#include <cerrno>
#include <charconv>

namespace postello {

namespace {

bool ParseSize(std::string_view s, int base, std::size_t& value) {
  if (s.empty()) return false;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  return ec == std::errc() && ptr == s.data() + s.size();
}

THttpAnswer Broken(std::string reason) {
  THttpAnswer a;
  a.Reason = std::move(reason);
  return a;
}

constexpr const char* kNoHttp = "Antwort des Anmeldeservers ist kein HTTP";

} // namespace

std::optional<THttpUrl> ParseHttpUrl(std::string_view url) {
  for (char c : url)
    if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127) return std::nullopt;
  const size_t colon = url.find("://");
  if (colon == std::string_view::npos) return std::nullopt;
  THttpUrl out;
  out.Scheme = LowerCaseAscii(url.substr(0, colon));
  if (out.Scheme != "https" && out.Scheme != "http") return std::nullopt;
  std::string_view rest = url.substr(colon + 3);
  if (rest.find('#') != std::string_view::npos) return std::nullopt;
  const size_t slash = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, slash);
  out.Target = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
  if (out.Target.front() == '?') out.Target.insert(0, "/");
  if (authority.empty() || authority.find('@') != std::string_view::npos) return std::nullopt;
  std::string_view port;
  if (authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    out.Host = std::string(authority.substr(1, close - 1));
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      port = after.substr(1);
    }
  } else {
    const size_t c = authority.find(':');
    out.Host = std::string(authority.substr(0, c));
    if (c != std::string_view::npos) port = authority.substr(c + 1);
  }
  if (out.Host.empty()) return std::nullopt;
  if (port.empty()) {
    out.Port = out.Scheme == "https" ? "443" : "80";
  } else {
    std::size_t number = 0;
    if (!ParseSize(port, 10, number) || number == 0 || number > 65535) return std::nullopt;
    out.Port = std::to_string(number);
  }
  return out;
}

bool IsLoopbackHost(std::string_view host) {
  if (LowerCaseAscii(host) == "localhost") return true;
  const std::string h(host);
  in_addr v4{};
  if (inet_pton(AF_INET, h.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, h.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

THttpAnswer PostForm(const std::string& url, const std::string& body, const THttpOptions& options) {
  const std::optional<THttpUrl> parsed = ParseHttpUrl(url);
  if (!parsed) return Broken("Adresse des Anmeldeservers ung\xFCltig");
  const bool tls = parsed->Scheme == "https";
  // A token on its way must not be readable on the network; only the
  // machine itself may be talked to without TLS.
  if (!tls && !IsLoopbackHost(parsed->Host))
    return Broken("Anmeldeserver ohne Verschl\xFCsselung (http) wird nicht benutzt");
  const std::string server = parsed->Host + ":" + parsed->Port;
  // curl gets the address as checked here, so both read it alike.
  std::string address = parsed->Scheme + "://";
  address += parsed->Host.find(':') != std::string::npos ? "[" + parsed->Host + "]" : parsed->Host;
  if (parsed->Port != (tls ? "443" : "80")) address += ":" + parsed->Port;
  address += parsed->Target;

  const TCurlLimits limits{.TimeoutMs = options.TimeoutMs > 0 ? options.TimeoutMs : THttpOptions{}.TimeoutMs,
                           .Cancel = options.Cancel,
                           .MaxBody = MaxHttpAnswer,
                           .MaxHead = MaxHttpHead,
                           // A proxy would see the request in clear.
                           .MayUseProxy = tls};
  TCurlEasy curl;
  TCurlOutcome o = curl.PostForm(address, body, limits);
  if (o.Code == CURLE_OK) {
    THttpAnswer answer;
    answer.Answered = true;
    answer.Status = static_cast<int>(o.Status);
    answer.Body = std::move(o.Body);
    return answer;
  }
  if (o.Cancelled) return Broken("vom Benutzer abgebrochen");
  if (o.TooBig) return Broken("Antwort des Anmeldeservers zu gro\xDF");
  if (o.ProxyStatus >= 300)
    return Broken("Proxy lehnt die Verbindung zum Anmeldeserver " + server + " ab (HTTP " +
                  std::to_string(o.ProxyStatus) + ")");
  switch (o.Code) {
    case CURLE_COULDNT_RESOLVE_HOST: return Broken("Anmeldeserver \"" + server + "\" nicht gefunden");
    case CURLE_COULDNT_RESOLVE_PROXY: return Broken("Proxy f\xFCr den Anmeldeserver " + server + " nicht gefunden");
    case CURLE_COULDNT_CONNECT:
      return Broken(o.OsError == ECONNREFUSED ? "Verbindung zum Anmeldeserver " + server + " abgelehnt"
                                              : "Anmeldeserver " + server + " nicht erreichbar");
    case CURLE_OPERATION_TIMEDOUT: return Broken("keine Antwort vom Anmeldeserver " + server);
    case CURLE_GOT_NOTHING: return Broken("Anmeldeserver hat ohne Antwort geschlossen");
    case CURLE_PARTIAL_FILE: return Broken("Antwort des Anmeldeservers unvollst\xE4ndig");
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR: return Broken("Anmeldeserver " + server + " hat die Verbindung beendet");
    case CURLE_PEER_FAILED_VERIFICATION: {
      // A chain without fault failed curl's own check of the name.
      const long v = o.ChainError;
      const TCertProblem problem =
          v == X509_V_OK || v == X509_V_ERR_HOSTNAME_MISMATCH || v == X509_V_ERR_IP_ADDRESS_MISMATCH
              ? TCertProblem::OtherName
          : v == X509_V_ERR_CERT_HAS_EXPIRED ? TCertProblem::Expired
                                             : TCertProblem::Untrusted;
      return Broken("Anmeldeserver " + parsed->Host + ": " + CertProblemText(problem));
    }
    case CURLE_SSL_CONNECT_ERROR: return Broken("TLS-Verbindung zum Anmeldeserver " + server + " fehlgeschlagen");
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_HTTP2:
    case CURLE_BAD_CONTENT_ENCODING: return Broken(kNoHttp);
    default:
      return Broken("Netzwerkfehler " + std::to_string(o.Code) + " beim Anmeldeserver " + server);
  }
}

} // namespace postello
