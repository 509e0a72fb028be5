#pragma once
// The frame of the dialogue tests: options whose sockets play a script,
// and a trust that records what the session asked.
#include "send/TSMTPSend.h"
#include "send/ScriptedSmtpSocket.h"
#include "send/TestServerTrust.h"

#include <memory>
#include <vector>

namespace postello::test {

struct TScriptedRun {
  std::shared_ptr<TScriptState> State = std::make_shared<TScriptState>();
  TSMTPSendOptions Options;
  TTestServerTrust Trust;
  explicit TScriptedRun(std::vector<TScriptStep> steps) {
    State->Steps = std::move(steps);
    Options.ReadTimeout = 1000;
    Options.Trust = &Trust;
    Options.MakeSocket = [s = State] { return std::make_unique<TScriptedSmtpSocket>(s); };
  }
};

// b after a, as one script.
inline std::vector<TScriptStep> Join(std::vector<TScriptStep> a, const std::vector<TScriptStep>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

} // namespace postello::test
