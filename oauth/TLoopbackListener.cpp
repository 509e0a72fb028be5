#include "oauth/TLoopbackListener.h"

#include "oauth/OAuthText.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <vector>

namespace postello {

namespace {

using TClock = std::chrono::steady_clock;

// A request line and its headers are small; a peer that sends more, or
// takes longer, is not a browser coming back from a sign-in.
constexpr std::size_t kMaxRequest = 16 * 1024;
constexpr int kRequestTimeMs = 5000;
constexpr std::size_t kMaxConnections = 16;

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

// The request line's target ("/?code=..."): nothing while the request's
// head is incomplete, "" when it is no GET.
std::optional<std::string> TargetOf(const std::string& raw) {
  if (raw.find("\r\n\r\n") == std::string::npos && raw.find("\n\n") == std::string::npos) return std::nullopt;
  const std::string line = raw.substr(0, raw.find_first_of("\r\n"));
  // "GET /?code=... HTTP/1.1"
  if (line.rfind("GET ", 0) != 0) return std::string();
  const size_t end = line.find(' ', 4);
  if (end == std::string::npos) return std::string();
  return line.substr(4, end - 4);
}

bool ConstantTimeEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
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
    const std::string& state, int timeoutMs, const std::atomic<bool>* cancel) {
  struct TConnection {
    int Fd;
    std::string Raw;
    TClock::time_point Until;
  };
  // Each connection is read as its bytes come, so one that stays silent
  // (another program on this machine) holds up no other.
  std::vector<TConnection> open;
  const auto drop = [&open](size_t i) {
    ::close(open[i].Fd);
    open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
  };
  struct TCloseAll {
    std::vector<TConnection>& Open;
    ~TCloseAll() {
      for (const TConnection& c : Open) ::close(c.Fd);
    }
  } closeAll{open};
  const auto until = TClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (cancel != nullptr && cancel->load()) return std::nullopt;
    const auto now = TClock::now();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    if (left <= 0) return std::nullopt;
    for (size_t i = open.size(); i-- > 0;)
      if (open[i].Until <= now) drop(i);
    std::vector<pollfd> polled{{FSocket, POLLIN, 0}};
    for (const TConnection& c : open) polled.push_back({c.Fd, POLLIN, 0});
    // Short waits, so a cancel request is seen within a tenth of a second.
    if (::poll(polled.data(), polled.size(), static_cast<int>(std::min<long long>(left, 100))) <= 0) continue;
    for (size_t i = open.size(); i-- > 0;) {
      if (polled[i + 1].revents == 0) continue;
      char buf[4096];
      const ssize_t n = ::recv(open[i].Fd, buf, sizeof buf, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        drop(i);
        continue;
      }
      open[i].Raw.append(buf, static_cast<size_t>(n));
      const std::optional<std::string> target = TargetOf(open[i].Raw);
      if (!target) {
        if (open[i].Raw.size() > kMaxRequest) drop(i);
        continue;
      }
      const size_t q = target->find('?');
      const std::map<std::string, std::string> params =
          q == std::string::npos ? std::map<std::string, std::string>()
                                 : ParseQuery(target->substr(q + 1)).value_or(std::map<std::string, std::string>());
      const auto sent = params.find("state");
      // Only the redirect of this sign-in counts: anyone on this machine
      // can reach the port, and a request without the state drawn for it
      // must neither end nor spoil the wait.
      if (target->substr(0, q) != "/" || state.empty() || sent == params.end() ||
          !ConstantTimeEqual(sent->second, state)) {
        if (target->substr(0, q) == "/" && (params.count("code") > 0 || params.count("error") > 0)) ++FForeign;
        SendAll(open[i].Fd, Page(404, "Nicht gefunden", "Diese Adresse kennt Postello nicht."));
        drop(i);
        continue;
      }
      if (params.count("code") > 0 && params.count("error") == 0)
        SendAll(open[i].Fd, Page(200, "Anmeldung empfangen",
                                 "Postello hat die Anmeldung erhalten. Sie k\xF6nnen dieses Fenster schlie\xDF" "en und "
                                 "zu Postello zur\xFC" "ckkehren."));
      else
        SendAll(open[i].Fd, Page(200, "Anmeldung nicht abgeschlossen",
                                 "Der Anbieter hat keine Anmeldung geschickt. Sehen Sie in Postello nach, was fehlt."));
      return params;
    }
    if (polled[0].revents != 0) {
      const int fd = ::accept4(FSocket, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) continue;
      // Room for a browser however many connections are left idle: the
      // oldest goes.
      if (open.size() >= kMaxConnections) drop(0);
      open.push_back({fd, std::string(), TClock::now() + std::chrono::milliseconds(kRequestTimeMs)});
    }
  }
}

} // namespace postello
