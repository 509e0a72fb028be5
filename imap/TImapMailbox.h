#pragma once
// The reply mailbox over IMAP (RFC 9051 / 3501): libetpan speaks the
// protocol, through our own byte stream, so TLS, certificate checks and
// pinning are the ones SMTP uses and tests can play the server.
#include "imap/TMailFolder.h"
#include "smtp/TBlockSocket.h"
#include "smtp/TServerTrust.h"

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>

namespace postello {

// The mailbox cannot be reached, refuses the login, or breaks off; what()
// is German and names the server.
class EImapError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Port 993: TLS from the first byte. Any other port: STARTTLS, which the
// server must offer before a password or token goes out, unless the user
// allowed plain text for that server (TServerTrust::AllowPlainAuth).
enum class TImapSecurity { Tls, StartTls };

struct TImapLogin {
  std::string Host;
  std::string Port = "993";
  TImapSecurity Security = TImapSecurity::Tls;
  std::string User;
  std::string Password;     // clear, only while signing in; unused with BearerToken
  std::string BearerToken;  // set: SASL XOAUTH2 with this access token

  // "host:port", the key TServerTrust files its decisions under.
  std::string ServerKey() const;
  // Host and port from "host:port" ("[v6]:port" too; no port: 993), the
  // security from the port. Throws EImapError (German) for a bad text.
  static TImapLogin FromServer(const std::string& server);
};

struct TImapLimits {
  int TimeoutMs = 30000;                        // each wait for the server
  const std::atomic<bool>* Cancel = nullptr;    // ends every wait within 0.1 s
  std::size_t MaxResponseBytes = 64u << 20;     // one command's whole answer
  std::uint32_t Batch = 500;                    // messages per FETCH
};

class TImapMailbox : public TMailFolder {
public:
  TImapMailbox(std::unique_ptr<TBlockSocket> socket, TServerTrust& trust, TImapLimits limits = {});
  ~TImapMailbox() override;
  TImapMailbox(const TImapMailbox&) = delete;
  TImapMailbox& operator=(const TImapMailbox&) = delete;

  // Connects, secures the connection (checking the certificate as SMTP
  // does), and signs in. Throws EImapError.
  void Open(const TImapLogin& login);
  // Opens a folder for reading and moving ("/" separates levels; names
  // are Windows-1252 and go out in modified UTF-7). Throws EImapError when
  // it does not exist.
  void Select(const std::string& folder);
  // LOGOUT and close; never throws.
  void Close();

  std::uint32_t UidValidity() const override;
  std::uint32_t Count() const override;
  void FetchHeaders(const std::function<bool(std::vector<TMailItem>&& batch)>& perBatch) override;
  std::vector<std::pair<std::uint32_t, std::string>> FetchPrefixes(const std::vector<std::uint32_t>& uids,
                                                                  std::size_t maxBytes) override;
  void EnsureFolder(const std::string& folder) override;
  void Move(const std::vector<std::uint32_t>& uids, const std::string& folder) override;

private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
};

} // namespace postello
