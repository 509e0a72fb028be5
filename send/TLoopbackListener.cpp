#include "send/TLoopbackListener.h"

#include "send/OAuthText.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace postello {

namespace {

using TClock = std::chrono::steady_clock;

// A request line and its headers are small; a peer that sends more, or
// takes longer, is not a browser coming back from a sign-in.
constexpr std::size_t kMaxRequest = 16 * 1024;
constexpr int kRequestTimeMs = 5000;

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    sent += static_cast<size_t>(n);
  }
}

// The request line's target ("/?code=..."), or "" when the request did
// not arrive whole in time.
std::string ReadTarget(int fd) {
  std::string raw;
  const auto until = TClock::now() + std::chrono::milliseconds(kRequestTimeMs);
  while (raw.find("\r\n\r\n") == std::string::npos && raw.find("\n\n") == std::string::npos) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - TClock::now()).count();
    if (left <= 0 || raw.size() > kMaxRequest) return {};
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return {};
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    raw.append(buf, static_cast<size_t>(n));
  }
  const size_t lineEnd = raw.find_first_of("\r\n");
  if (lineEnd == std::string::npos) return {};
  const std::string line = raw.substr(0, lineEnd);
  // "GET /?code=... HTTP/1.1"
  if (line.rfind("GET ", 0) != 0) return {};
  const size_t end = line.find(' ', 4);
  if (end == std::string::npos) return {};
  return line.substr(4, end - 4);
}

std::string Page(int status, const std::string& title, const std::string& text) {
  const std::string body = "<!DOCTYPE html><html><head><meta charset=\"windows-1252\"><title>Postello</title></head>"
                           "<body style=\"font-family:sans-serif\"><h1>" +
                           title + "</h1><p>" + text + "</p></body></html>";
  const std::string statusText = status == 200 ? "200 OK" : "404 Not Found";
  return "HTTP/1.1 " + statusText +
         "\r\nContent-Type: text/html; charset=windows-1252\r\nCache-Control: no-store\r\n"
         "Connection: close\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

} // namespace

TLoopbackListener::TLoopbackListener() {
  FSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FSocket < 0) throw std::runtime_error("Anmeldung: kein Netzwerk-Socket verf\xFCgbar");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(FSocket, 8) != 0 ||
      ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(FSocket);
    FSocket = -1;
    throw std::runtime_error("Anmeldung: kein freier Port auf 127.0.0.1");
  }
  FPort = ntohs(addr.sin_port);
}

TLoopbackListener::~TLoopbackListener() {
  if (FSocket >= 0) ::close(FSocket);
}

std::string TLoopbackListener::RedirectUri() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }

std::optional<std::map<std::string, std::string>> TLoopbackListener::WaitForRedirect(
    int timeoutMs, const std::atomic<bool>* cancel) {
  const auto until = TClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (cancel != nullptr && cancel->load()) return std::nullopt;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - TClock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd p{FSocket, POLLIN, 0};
    // Short waits, so a cancel request is seen within a tenth of a second.
    const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
    if (r <= 0) continue;
    const int fd = ::accept4(FSocket, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const std::string target = ReadTarget(fd);
    const size_t q = target.find('?');
    const std::string path = target.substr(0, q);
    if (path != "/") {
      SendAll(fd, Page(404, "Nicht gefunden", "Diese Adresse kennt Postello nicht."));
      ::close(fd);
      continue;
    }
    std::map<std::string, std::string> params =
        ParseQuery(q == std::string::npos ? std::string() : target.substr(q + 1)).value_or(
            std::map<std::string, std::string>());
    if (params.count("code") == 0 && params.count("error") == 0 && params.count("state") == 0) {
      // Not the provider's redirect (a browser's prefetch, another
      // program on this machine): the sign-in goes on waiting.
      SendAll(fd, Page(404, "Nicht gefunden", "Diese Adresse kennt Postello nicht."));
      ::close(fd);
      continue;
    }
    if (params.count("code") > 0 && params.count("error") == 0)
      SendAll(fd, Page(200, "Anmeldung empfangen",
                       "Postello hat die Anmeldung erhalten. Sie k\xF6nnen dieses Fenster schlie\xDF" "en und "
                       "zu Postello zur\xFC" "ckkehren."));
    else
      SendAll(fd, Page(200, "Anmeldung nicht abgeschlossen",
                       "Der Anbieter hat keine Anmeldung geschickt. Sehen Sie in Postello nach, was fehlt."));
    ::close(fd);
    return params;
  }
}

} // namespace postello
