// The SMTP client against a server played from any bytes, through the
// TBlockSocket seam. The first byte holds the switches (credentials, TLS
// works, port 465, connection refused, certificate problem); the rest is what the server sends,
// cut into receive calls at every zero byte. An empty piece is a server
// that stays silent past the time limit; after the last piece the server
// has closed the connection. Besides crashes, leaks, undefined behaviour
// and hangs this checks that the client's own writing stays bounded and
// that it never reports a message as delivered without having sent the
// end of its data.
#include "smtp/TBlockSocket.h"
#include "smtp/TSMTPSend.h"
#include "tests/fuzz/FuzzSupport.h"

#include <deque>
#include <memory>

using namespace postello;
using postello::fuzz::Check;

namespace {

struct TServer {
  std::deque<std::string> Pieces;
  std::string Sent;
  bool TlsWorks = false;
  bool TlsOn = false;
  TCertProblem Problem = TCertProblem::None;
  bool Refuse = false;
  bool Closed = false;
};

class TFuzzSocket : public TBlockSocket {
public:
  explicit TFuzzSocket(std::shared_ptr<TServer> server) : FServer(std::move(server)) {}

  void Connect(const std::string&, const std::string&) override {
    SetLastError(FServer->Refuse ? ECONNREFUSED : 0);
    FServer->Closed = FServer->Refuse;
  }
  void CloseSocket() override {
    FServer->Closed = true;
    ResetReceiveState();
  }
  void SendString(std::string_view bytes, int) override {
    SetLastError(FServer->Closed ? ErrConnReset : 0);
    if (!FServer->Closed) FServer->Sent += bytes;
  }
  bool StartTls(const std::string&, int) override {
    SetLastError(FServer->TlsWorks ? 0 : ErrTls);
    if (!FServer->TlsWorks) FServer->Closed = true;
    FServer->TlsOn = FServer->TlsWorks;
    return FServer->TlsWorks;
  }
  TPeerCertificate PeerCertificate() const override {
    if (!FServer->TlsOn) return {};
    return TPeerCertificate{true, std::string(64, 'c'), FServer->Problem};
  }
  int RemotePort() const override { return 25; }

protected:
  std::string RecvPacket(int) override {
    if (FServer->Closed || FServer->Pieces.empty()) {
      SetLastError(ErrConnReset);
      return {};
    }
    std::string piece = std::move(FServer->Pieces.front());
    FServer->Pieces.pop_front();
    SetLastError(piece.empty() ? ErrTimedOut : 0);
    return piece;
  }

private:
  std::shared_ptr<TServer> FServer;
};

const std::vector<std::string> kData = {"From: a@example.org\r\nTo: b@example.org\r\nSubject: Test\r\n",
                                        "Zeile\r\n.\r\nletzte Zeile"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t flags = data[0];
  auto server = std::make_shared<TServer>();
  server->TlsWorks = flags & 2;
  server->Refuse = (flags & 0x70) == 0x70;
  server->Problem = (flags & 8) ? TCertProblem::Untrusted : TCertProblem::None;
  const std::string_view script = postello::fuzz::AsText(data + 1, size - 1);
  std::size_t start = 0;
  while (start <= script.size()) {
    const std::size_t zero = std::min(script.find('\0', start), script.size());
    server->Pieces.emplace_back(script.substr(start, zero - start));
    start = zero + 1;
  }
  if (!server->Pieces.empty() && server->Pieces.back().empty()) server->Pieces.pop_back();

  TSMTPSendOptions options;
  options.ReadTimeout = 10;
  options.MakeSocket = [server] { return std::make_unique<TFuzzSocket>(server); };
  const bool credentials = flags & 1;
  const std::string host = (flags & 4) ? "mail.example.org:465" : "mail.example.org";
  const bool delivered = SendRawMail("Absender <a@example.org>", "b@example.org, Zweiter <c@example.org>", host, kData,
                                     credentials ? "benutzer" : "", credentials ? "geheim" : "", options);
  Check(!delivered || server->Sent.find("\r\n.\r\n") != std::string::npos, "delivered without the end of the data");
  Check(server->Sent.size() < 64 * 1024, "the client wrote far more than one message");
  // Without a trust store a password goes out only inside TLS with a
  // certificate that verified.
  if (credentials && (!server->TlsOn || server->Problem != TCertProblem::None))
    Check(server->Sent.find("AUTH ") == std::string::npos, "a password went out without verified TLS");
  return 0;
}
