#pragma once
// A TBlockSocket that plays an SMTP server from a script, for dialogue
// tests that check the exact bytes the client sends.
#include "smtp/TBlockSocket.h"
#include "smtp/TTCPBlockSocket.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace postello::test {

// The name the client greets with: this host's name, 127.0.0.1 when it
// has none.
inline std::string ClientHelloName() {
  const std::string name = TTCPBlockSocket::LocalHostName();
  return name.empty() ? std::string("127.0.0.1") : name;
}

// The client's EHLO line.
inline std::string Ehlo() { return "EHLO " + ClientHelloName() + "\r\n"; }

// One exchange: the bytes the client must have sent since the previous
// exchange, then the server's answer, cut into the pieces one receive call
// delivers. A step with no pieces is a server that stays silent; a piece
// "<CLOSE>" is a server that closes the connection. "<TLS>" in Client
// marks the moment the client switched to TLS.
struct TScriptStep {
  std::string Client;
  std::vector<std::string> Server;
};

// Everything the test wants to look at after the session is gone.
struct TScriptState {
  std::vector<TScriptStep> Steps;
  size_t Next = 0;
  std::string Pending;        // client bytes not yet matched against a step
  std::string ConnectHost;
  std::string ConnectPort;
  int Connects = 0;
  int ConnectError = 0;       // what Connect reports
  bool TlsWorks = true;
  // What the server's certificate looks like once TLS is on.
  TPeerCertificate Certificate{true, std::string(64, 'c'), TCertProblem::None};
  bool Closed = false;
  std::deque<std::string> Queue;
  // Called with the step's index when the client waits for its answer,
  // before the answer is given (a test may request cancellation here).
  std::function<void(size_t)> BeforeStep;

  // Every step was played, and the client said nothing after the last.
  void ExpectFinished() const {
    EXPECT_EQ(Next, Steps.size()) << "steps of the script never reached";
    EXPECT_EQ(Pending, "") << "client bytes after the end of the script";
  }
};

class TScriptedSmtpSocket : public TBlockSocket {
public:
  explicit TScriptedSmtpSocket(std::shared_ptr<TScriptState> state) : FState(std::move(state)) {}

  void Connect(const std::string& host, const std::string& port) override {
    SetLastError(0);
    FState->ConnectHost = host;
    FState->ConnectPort = port;
    ++FState->Connects;
    FState->Closed = FState->ConnectError != 0;
    SetLastError(FState->ConnectError);
  }
  void CloseSocket() override {
    FState->Closed = true;
    FTlsOn = false;
    ResetReceiveState();
  }
  void SendString(std::string_view bytes, int) override {
    SetLastError(0);
    if (FState->Closed) {
      SetLastError(ErrConnReset);
      return;
    }
    FState->Pending += bytes;
  }
  bool StartTls(const std::string&, int) override {
    SetLastError(0);
    FState->Pending += "<TLS>";
    if (!FState->TlsWorks) {
      FState->Closed = true;
      SetLastError(ErrTls);
      return false;
    }
    FTlsOn = true;
    return true;
  }
  TPeerCertificate PeerCertificate() const override {
    return FTlsOn ? FState->Certificate : TPeerCertificate{};
  }
  int RemotePort() const override {
    return FState->ConnectPort == "smtp" ? 25 : std::atoi(FState->ConnectPort.c_str());
  }

protected:
  std::string RecvPacket(int timeoutMs) override {
    if (FState->Closed) {
      SetLastError(ErrConnReset);
      return {};
    }
    if (FState->Queue.empty()) {
      // A look without waiting sees only what the server already sent.
      if (timeoutMs == 0 || FState->Next >= FState->Steps.size()) {
        SetLastError(ErrTimedOut);
        return {};
      }
      if (FState->BeforeStep) {
        FState->BeforeStep(FState->Next);
        if (CancelRequested()) {
          SetLastError(ErrCancelled);
          return {};
        }
      }
      const TScriptStep& step = FState->Steps[FState->Next++];
      EXPECT_EQ(FState->Pending, step.Client) << "client bytes before step " << FState->Next;
      FState->Pending.clear();
      FState->Queue.assign(step.Server.begin(), step.Server.end());
      if (FState->Queue.empty()) {
        SetLastError(ErrTimedOut);
        return {};
      }
    }
    std::string piece = FState->Queue.front();
    FState->Queue.pop_front();
    if (piece == "<CLOSE>") {
      FState->Closed = true;
      SetLastError(ErrConnReset);
      return {};
    }
    return piece;
  }

private:
  std::shared_ptr<TScriptState> FState;
  bool FTlsOn = false;
};

} // namespace postello::test
