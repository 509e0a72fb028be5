#include "smtp/TTCPBlockSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace postello {

namespace {

bool IsIpLiteral(const std::string& host) {
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 ||
         inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// The longest single poll: how late a cancel request may be seen.
constexpr int kSliceMs = 100;

// What the certificate check found, filled by NoteVerifyError during the
// handshake.
struct TVerifyNotes {
  bool Untrusted = false;
  bool Expired = false;
  bool OtherName = false;
};

// Called by OpenSSL for every certificate of the chain. Each problem is
// noted and the handshake goes on: whether an unverified certificate may
// carry the conversation is the session's decision, not the socket's.
extern "C" int NoteVerifyError(int ok, X509_STORE_CTX* ctx) {
  if (ok == 1) return 1;
  SSL* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(ctx, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* notes = ssl != nullptr ? static_cast<TVerifyNotes*>(SSL_get_app_data(ssl)) : nullptr;
  if (notes == nullptr) return 0;
  switch (X509_STORE_CTX_get_error(ctx)) {
    case X509_V_ERR_CERT_HAS_EXPIRED: notes->Expired = true; break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: notes->OtherName = true; break;
    default: notes->Untrusted = true; break;
  }
  return 1;
}

std::string HexDigest(const unsigned char* md, unsigned n) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < n; ++i) {
    hex += digits[md[i] >> 4];
    hex += digits[md[i] & 15];
  }
  return hex;
}

// A name look-up on its own thread. Whoever finishes last frees it: the
// waiter when the answer came in time, the thread when the waiter left.
struct TResolveJob {
  std::mutex Lock;
  std::condition_variable Ready;
  bool Done = false;
  bool Abandoned = false;
  int Rc = 0;
  addrinfo* Result = nullptr;
};

int LookUp(const std::string& host, const std::string& service, addrinfo hints, addrinfo** found) {
  int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, found);
  if ((rc == EAI_NONAME || rc == EAI_ADDRFAMILY) && (hints.ai_flags & AI_ADDRCONFIG) != 0) {
    // AI_ADDRCONFIG hides loopback literals on hosts without a configured
    // address of that family; ask again without it.
    hints.ai_flags &= ~AI_ADDRCONFIG;
    rc = getaddrinfo(host.c_str(), service.c_str(), &hints, found);
  }
  return rc;
}

} // namespace

int TTCPBlockSocket::Wait(int fd, short events, int timeoutMs) const {
  const TClock::time_point end =
      timeoutMs < 0 ? TClock::time_point::max() : TClock::now() + std::chrono::milliseconds(timeoutMs);
  if (timeoutMs == 0) {
    // A look without waiting.
    if (CancelRequested()) return ErrCancelled;
    if (DeadlinePassed()) return ErrDeadline;
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, 0);
    if (n > 0) return 0;
    return n < 0 && errno != EINTR ? errno : ErrTimedOut;
  }
  for (;;) {
    if (CancelRequested()) return ErrCancelled;
    if (DeadlinePassed()) return ErrDeadline;
    const TClock::time_point now = TClock::now();
    if (now >= end) return ErrTimedOut;
    int slice = Budget(kSliceMs);
    if (end != TClock::time_point::max()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
      slice = static_cast<int>(std::min<long long>(slice, std::max<long long>(left, 1)));
    }
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, std::max(slice, 1));
    if (n > 0) return 0;
    if (n < 0 && errno != EINTR) return errno;
  }
}

addrinfo* TTCPBlockSocket::Resolve(const std::string& host, const std::string& service, bool literal) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  // A literal address needs no look-up, and AI_ADDRCONFIG would cost a
  // netlink query of the interfaces on every connection.
  hints.ai_flags = literal ? AI_NUMERICHOST : AI_ADDRCONFIG;
  if (!service.empty() && std::all_of(service.begin(), service.end(),
                                      [](char c) { return c >= '0' && c <= '9'; }))
    hints.ai_flags |= AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (literal) {
    if (LookUp(host, service, hints, &found) != 0) {
      if (found != nullptr) freeaddrinfo(found);
      SetLastError(ErrResolve);
      return nullptr;
    }
    return found;
  }
  // A name server that does not answer would otherwise hold the session
  // beyond a cancel request.
  auto job = std::make_shared<TResolveJob>();
  try {
    std::thread([job, host, service, hints] {
      addrinfo* result = nullptr;
      const int rc = LookUp(host, service, hints, &result);
      std::lock_guard<std::mutex> hold(job->Lock);
      if (job->Abandoned) {
        if (result != nullptr) freeaddrinfo(result);
      } else {
        job->Rc = rc;
        job->Result = result;
      }
      job->Done = true;
      job->Ready.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: look up here, without the early way out.
    if (LookUp(host, service, hints, &found) != 0) {
      if (found != nullptr) freeaddrinfo(found);
      SetLastError(ErrResolve);
      return nullptr;
    }
    return found;
  }
  std::unique_lock<std::mutex> hold(job->Lock);
  while (!job->Done) {
    const int error = CancelRequested() ? ErrCancelled : DeadlinePassed() ? ErrDeadline : 0;
    if (error != 0) {
      job->Abandoned = true;
      SetLastError(error);
      return nullptr;
    }
    job->Ready.wait_for(hold, std::chrono::milliseconds(std::max(Budget(kSliceMs), 1)));
  }
  if (job->Rc != 0 || job->Result == nullptr) {
    if (job->Result != nullptr) freeaddrinfo(job->Result);
    SetLastError(ErrResolve);
    return nullptr;
  }
  return job->Result;
}

struct TTCPBlockSocket::TTls {
  SSL_CTX* Ctx = nullptr;
  SSL* Ssl = nullptr;
  BIO* Wire = nullptr;   // what the engine wants sent; the SSL owns it
  BIO* Inbox = nullptr;  // what came from the wire; the SSL owns it
  TVerifyNotes Notes;    // the SSL points at it while verifying
  ~TTls() {
    if (Ssl != nullptr) SSL_free(Ssl);
    if (Ctx != nullptr) SSL_CTX_free(Ctx);
  }
};

TTCPBlockSocket::TTCPBlockSocket() = default;

// Service names a mail account may give as its port, for systems whose
// services database lacks them.
int TTCPBlockSocket::WellKnownMailPort(const std::string& service) {
  if (service == "smtp" || service == "mail") return 25;
  if (service == "submission") return 587;
  if (service == "smtps" || service == "submissions" || service == "ssmtp") return 465;
  return 0;
}

TTCPBlockSocket::~TTCPBlockSocket() { CloseSocket(); }

std::string TTCPBlockSocket::LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

void TTCPBlockSocket::Connect(const std::string& host, const std::string& port) {
  CloseSocket();
  SetLastError(0);
  if (host.empty()) {
    SetLastError(ErrResolve);
    return;
  }
  std::string service = port;
  if (const int known = WellKnownMailPort(port); known != 0) service = std::to_string(known);
  addrinfo* found = Resolve(host, service, IsIpLiteral(host));
  if (found == nullptr) return;
  int error = ECONNREFUSED;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) {
      error = errno;
      continue;
    }
    int r;
    do {
      r = connect(fd, a->ai_addr, a->ai_addrlen);
    } while (r != 0 && errno == EINTR);
    if (r != 0 && errno == EINPROGRESS) {
      // The system decides how long a connect may take; we only stop
      // waiting for a cancel request or the deadline.
      const int waited = Wait(fd, POLLOUT, -1);
      if (waited == ErrCancelled || waited == ErrDeadline) {
        close(fd);
        freeaddrinfo(found);
        SetLastError(waited);
        return;
      }
      int soError = waited;
      socklen_t len = sizeof soError;
      if (waited == 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
      r = soError == 0 ? 0 : -1;
      errno = soError;
    }
    if (r != 0) {
      error = errno;
      close(fd);
      continue;
    }
    const int one = 1;
    // Commands and data chunks are written whole, so Nagle's algorithm
    // would only add delayed-ACK stalls at the end of each chunk.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    FSocket = fd;
    if (a->ai_family == AF_INET6)
      FRemotePort = ntohs(reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_port);
    else
      FRemotePort = ntohs(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_port);
    break;
  }
  freeaddrinfo(found);
  if (FSocket < 0) SetLastError(error);
}

void TTCPBlockSocket::CloseSocket() {
  if (FTls && FSocket >= 0) {
    // Say goodbye properly, but never wait for the peer's answer.
    SSL_shutdown(FTls->Ssl);
    const int saved = LastError();
    FlushTls(0);
    SetLastError(saved);
  }
  FTls.reset();
  if (FSocket >= 0) close(FSocket);
  FSocket = -1;
  FRemotePort = 0;
  FPeer = {};
  ResetReceiveState();
}

bool TTCPBlockSocket::RawSend(const char* data, size_t size, int timeoutMs) {
  if (FSocket < 0) {
    SetLastError(ErrConnReset);
    return false;
  }
  while (size > 0) {
    const ssize_t n = send(FSocket, data, size, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (const int e = Wait(FSocket, POLLOUT, timeoutMs); e != 0) {
        SetLastError(e);
        return false;
      }
      continue;
    }
    SetLastError(n < 0 && errno != EPIPE ? errno : ErrConnReset);
    return false;
  }
  return true;
}

std::string TTCPBlockSocket::RawRecv(int timeoutMs) {
  if (FSocket < 0) {
    SetLastError(ErrConnReset);
    return {};
  }
  char buf[65536];
  for (;;) {
    // A reply is hardly ever there the moment we ask, so wait first.
    if (const int e = Wait(FSocket, POLLIN, timeoutMs); e != 0) {
      SetLastError(e);
      return {};
    }
    const ssize_t n = recv(FSocket, buf, sizeof buf, 0);
    if (n > 0) return std::string(buf, static_cast<size_t>(n));
    if (n == 0) {
      SetLastError(ErrConnReset);
      return {};
    }
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
    SetLastError(errno);
    return {};
  }
}

bool TTCPBlockSocket::FlushTls(int timeoutMs) {
  char buf[16384];
  for (;;) {
    const int n = BIO_read(FTls->Wire, buf, sizeof buf);
    if (n <= 0) return true;
    if (!RawSend(buf, static_cast<size_t>(n), timeoutMs)) return false;
  }
}

void TTCPBlockSocket::SendString(std::string_view bytes, int timeoutMs) {
  SetLastError(0);
  if (!FTls) {
    RawSend(bytes.data(), bytes.size(), timeoutMs);
    return;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    size_t written = 0;
    // Memory buffers never push back, so the write either succeeds or the
    // connection is broken.
    if (SSL_write_ex(FTls->Ssl, bytes.data() + done, bytes.size() - done, &written) != 1) {
      ERR_clear_error();
      SetLastError(ErrTls);
      return;
    }
    done += written;
    if (!FlushTls(timeoutMs)) return;
  }
}

std::string TTCPBlockSocket::RecvPacket(int timeoutMs) {
  if (!FTls) return RawRecv(timeoutMs);
  char buf[16384];
  for (;;) {
    size_t got = 0;
    if (SSL_read_ex(FTls->Ssl, buf, sizeof buf, &got) == 1) return std::string(buf, got);
    const int err = SSL_get_error(FTls->Ssl, 0);
    if (!FlushTls(timeoutMs)) return {};
    if (err == SSL_ERROR_WANT_READ) {
      std::string raw = RawRecv(timeoutMs);
      if (raw.empty()) return {};
      BIO_write(FTls->Inbox, raw.data(), static_cast<int>(raw.size()));
      continue;
    }
    ERR_clear_error();
    SetLastError(err == SSL_ERROR_ZERO_RETURN ? ErrConnReset : ErrTls);
    return {};
  }
}

void TTCPBlockSocket::TakePeerCertificate() {
  FPeer = {};
  FPeer.Present = true;
  X509* cert = SSL_get1_peer_certificate(FTls->Ssl);
  if (cert != nullptr) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    if (X509_digest(cert, EVP_sha256(), md, &n) == 1) FPeer.Fingerprint = HexDigest(md, n);
    X509_free(cert);
  }
  const TVerifyNotes& notes = FTls->Notes;
  if (cert == nullptr || FPeer.Fingerprint.empty() || notes.Untrusted ||
      (SSL_get_verify_result(FTls->Ssl) != X509_V_OK && !notes.Expired && !notes.OtherName))
    FPeer.Problem = TCertProblem::Untrusted;
  else if (notes.Expired)
    FPeer.Problem = TCertProblem::Expired;
  else if (notes.OtherName)
    FPeer.Problem = TCertProblem::OtherName;
  ERR_clear_error();
}

bool TTCPBlockSocket::StartTls(const std::string& verifyHost, int timeoutMs) {
  SetLastError(0);
  if (FSocket < 0 || FTls) {
    SetLastError(FSocket < 0 ? ErrConnReset : ErrTls);
    return false;
  }
  FPeer = {};
  auto tls = std::make_unique<TTls>();
  tls->Ctx = SSL_CTX_new(TLS_client_method());
  bool ok = tls->Ctx != nullptr;
  if (ok) {
    SSL_CTX_set_min_proto_version(tls->Ctx, TLS1_2_VERSION);
    SSL_CTX_set_verify(tls->Ctx, SSL_VERIFY_PEER, NoteVerifyError);
    // The system's trust store; SSL_CERT_FILE and SSL_CERT_DIR add a
    // private authority the usual way.
    ok = SSL_CTX_set_default_verify_paths(tls->Ctx) == 1;
  }
  if (ok) ok = (tls->Ssl = SSL_new(tls->Ctx)) != nullptr;
  if (ok) SSL_set_app_data(tls->Ssl, &tls->Notes);
  if (ok) {
    tls->Inbox = BIO_new(BIO_s_mem());
    tls->Wire = BIO_new(BIO_s_mem());
    ok = tls->Inbox != nullptr && tls->Wire != nullptr;
    if (ok) {
      SSL_set_bio(tls->Ssl, tls->Inbox, tls->Wire);
    } else {
      BIO_free(tls->Inbox);
      BIO_free(tls->Wire);
    }
  }
  if (ok) {
    if (IsIpLiteral(verifyHost)) {
      ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(tls->Ssl), verifyHost.c_str()) == 1;
    } else {
      SSL_set_tlsext_host_name(tls->Ssl, verifyHost.c_str());
      X509_VERIFY_PARAM_set_hostflags(SSL_get0_param(tls->Ssl),
                                      X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      ok = SSL_set1_host(tls->Ssl, verifyHost.c_str()) == 1;
    }
  }
  if (!ok) {
    ERR_clear_error();
    SetLastError(ErrTls);
    return false;
  }
  SSL_set_connect_state(tls->Ssl);
  FTls = std::move(tls);
  // Bytes that arrived in clear behind the server's go-ahead were not
  // protected by TLS; whoever put them there must not be heard.
  ResetReceiveState();
  for (;;) {
    const int r = SSL_do_handshake(FTls->Ssl);
    const int err = r == 1 ? SSL_ERROR_NONE : SSL_get_error(FTls->Ssl, r);
    if (!FlushTls(timeoutMs)) break;
    if (r == 1) {
      TakePeerCertificate();
      return true;
    }
    if (err != SSL_ERROR_WANT_READ) break;
    std::string raw = RawRecv(timeoutMs);
    if (raw.empty()) break;
    BIO_write(FTls->Inbox, raw.data(), static_cast<int>(raw.size()));
  }
  // The connection is in no state to carry anything further.
  ERR_clear_error();
  FTls.reset();
  const int saved = LastError();
  CloseSocket();
  SetLastError(saved == 0 ? ErrTls : saved);
  return false;
}

} // namespace postello
