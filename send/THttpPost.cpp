#include "send/THttpPost.h"

#include "mime/HeaderLines.h"
#include "send/TSMTPSend.h"
#include "send/TTCPBlockSocket.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>

namespace postello {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

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

std::string WireText(int error, const std::string& server) {
  switch (error) {
    case TBlockSocket::ErrResolve: return "Anmeldeserver \"" + server + "\" nicht gefunden";
    case ECONNREFUSED: return "Verbindung zum Anmeldeserver " + server + " abgelehnt";
    case ENETUNREACH:
    case EHOSTUNREACH: return "Anmeldeserver " + server + " nicht erreichbar";
    case TBlockSocket::ErrTimedOut:
    case TBlockSocket::ErrDeadline: return "keine Antwort vom Anmeldeserver " + server;
    case TBlockSocket::ErrConnReset: return "Anmeldeserver " + server + " hat die Verbindung beendet";
    case TBlockSocket::ErrTls: return "TLS-Verbindung zum Anmeldeserver " + server + " fehlgeschlagen";
    case TBlockSocket::ErrCancelled: return "vom Benutzer abgebrochen";
    default: return "Netzwerkfehler " + std::to_string(error) + " beim Anmeldeserver " + server;
  }
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

std::optional<THttpAnswer> ParseHttpResponse(std::string_view raw, bool atEnd) {
  const size_t headEnd = raw.find("\r\n\r\n");
  if (headEnd == std::string_view::npos) {
    if (raw.size() > 64 * 1024 || (raw.size() >= 5 && raw.substr(0, 5) != "HTTP/")) return Broken(kNoHttp);
    if (atEnd) return Broken(raw.empty() ? "Anmeldeserver hat ohne Antwort geschlossen" : kNoHttp);
    return std::nullopt;
  }
  std::string_view head = raw.substr(0, headEnd);
  std::string_view rest = raw.substr(headEnd + 4);
  const size_t lineEnd = head.find("\r\n");
  const std::string_view statusLine = head.substr(0, lineEnd);
  // "HTTP/1.1 200 OK"
  if (statusLine.size() < 12 || statusLine.substr(0, 5) != "HTTP/" || statusLine[8] != ' ') return Broken(kNoHttp);
  std::size_t status = 0;
  if (!ParseSize(statusLine.substr(9, 3), 10, status) || status < 100 || status > 999) return Broken(kNoHttp);
  bool chunked = false;
  std::optional<std::size_t> length;
  std::string_view headers = lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 2);
  while (!headers.empty()) {
    const size_t e = headers.find("\r\n");
    const std::string_view line = headers.substr(0, e);
    headers = e == std::string_view::npos ? std::string_view() : headers.substr(e + 2);
    const size_t c = line.find(':');
    if (c == std::string_view::npos) return Broken(kNoHttp);
    const std::string name = LowerCaseAscii(Trim(line.substr(0, c)));
    const std::string_view value = Trim(line.substr(c + 1));
    if (name == "transfer-encoding" && LowerCaseAscii(value).find("chunked") != std::string::npos) chunked = true;
    if (name == "content-length") {
      std::size_t n = 0;
      if (!ParseSize(value, 10, n) || (length && *length != n)) return Broken(kNoHttp);
      length = n;
    }
  }
  // 1xx answers carry no body and another response follows.
  if (status < 200) return ParseHttpResponse(rest, atEnd);
  THttpAnswer answer;
  answer.Answered = true;
  answer.Status = static_cast<int>(status);
  if (chunked) {
    std::string body;
    for (;;) {
      const size_t e = rest.find("\r\n");
      if (e == std::string_view::npos) {
        if (atEnd) return Broken("Antwort des Anmeldeservers unvollst\xE4ndig");
        return std::nullopt;
      }
      std::string_view sizeText = rest.substr(0, e);
      if (const size_t semi = sizeText.find(';'); semi != std::string_view::npos) sizeText = sizeText.substr(0, semi);
      std::size_t size = 0;
      if (!ParseSize(Trim(sizeText), 16, size) || size > MaxHttpAnswer) return Broken(kNoHttp);
      if (size == 0) break;  // trailers are of no interest
      if (rest.size() < e + 2 + size + 2) {
        if (atEnd) return Broken("Antwort des Anmeldeservers unvollst\xE4ndig");
        return std::nullopt;
      }
      body.append(rest.substr(e + 2, size));
      if (rest.substr(e + 2 + size, 2) != "\r\n") return Broken(kNoHttp);
      rest = rest.substr(e + 2 + size + 2);
    }
    answer.Body = std::move(body);
    return answer;
  }
  if (length) {
    if (rest.size() < *length) {
      if (atEnd) return Broken("Antwort des Anmeldeservers unvollst\xE4ndig");
      return std::nullopt;
    }
    answer.Body = std::string(rest.substr(0, *length));
    return answer;
  }
  if (!atEnd) return std::nullopt;
  answer.Body = std::string(rest);
  return answer;
}

THttpAnswer PostForm(const std::string& url, const std::string& body, const THttpOptions& options) {
  const std::optional<THttpUrl> parsed = ParseHttpUrl(url);
  if (!parsed) return Broken("Adresse des Anmeldeservers ung\xFCltig");
  const bool tls = parsed->Scheme == "https";
  // A token on its way must not be readable on the network; only the
  // machine itself may be talked to without TLS.
  if (!tls && !IsLoopbackHost(parsed->Host))
    return Broken("Anmeldeserver ohne Verschl\xFCsselung (http) wird nicht benutzt");

  std::unique_ptr<TBlockSocket> sock =
      options.MakeSocket ? options.MakeSocket() : std::make_unique<TTCPBlockSocket>();
  sock->SetCancelFlag(options.Cancel);
  if (options.TimeoutMs > 0)
    sock->SetDeadline(TBlockSocket::TClock::now() + std::chrono::milliseconds(options.TimeoutMs));
  const auto wireFail = [&](int error) {
    sock->CloseSocket();
    return Broken(WireText(error, parsed->Host + ":" + parsed->Port));
  };

  sock->Connect(parsed->Host, parsed->Port);
  if (sock->LastError() != 0) return wireFail(sock->LastError());
  if (tls) {
    if (!sock->StartTls(parsed->Host, options.TimeoutMs)) return wireFail(sock->LastError());
    const TPeerCertificate cert = sock->PeerCertificate();
    if (cert.Problem != TCertProblem::None) {
      sock->CloseSocket();
      return Broken("Anmeldeserver " + parsed->Host + ": " + CertProblemText(cert.Problem));
    }
  }
  std::string hostHeader = parsed->Host.find(':') != std::string::npos ? "[" + parsed->Host + "]" : parsed->Host;
  if (parsed->Port != (tls ? "443" : "80")) hostHeader += ":" + parsed->Port;
  std::string request = "POST " + parsed->Target + " HTTP/1.1\r\n";
  request += "Host: " + hostHeader + "\r\n";
  request += "Content-Type: application/x-www-form-urlencoded\r\n";
  request += "Accept: application/json\r\n";
  request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  request += "Connection: close\r\n\r\n";
  request += body;
  sock->SendString(request, options.TimeoutMs);
  if (sock->LastError() != 0) return wireFail(sock->LastError());

  std::string raw;
  for (;;) {
    std::string piece = sock->RecvSome(options.TimeoutMs);
    const bool atEnd = piece.empty() && sock->LastError() == TBlockSocket::ErrConnReset;
    if (piece.empty() && !atEnd) return wireFail(sock->LastError());
    raw += piece;
    if (raw.size() > MaxHttpAnswer + 64 * 1024) {
      sock->CloseSocket();
      return Broken("Antwort des Anmeldeservers zu gro\xDF");
    }
    if (std::optional<THttpAnswer> answer = ParseHttpResponse(raw, atEnd)) {
      sock->CloseSocket();
      return *answer;
    }
    if (atEnd) return Broken(kNoHttp);
  }
}

} // namespace postello
