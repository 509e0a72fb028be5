#pragma once
// The frame of the dialogue tests: options whose sockets play a script,
// and a trust that records what the session asked.
#include "smtp/TSMTPSend.h"
#include "smtp/ScriptedSmtpSocket.h"
#include "smtp/TestServerTrust.h"

#include <memory>
#include <string>
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

// The greeting, then EHLO answered with the given pieces.
inline std::vector<TScriptStep> Greeted(std::vector<std::string> ehloReply,
                                        const std::string& greeting = "220 ready\r\n") {
  return {{"", {greeting}}, {Ehlo(), std::move(ehloReply)}};
}

// Greeted, then STARTTLS accepted and EHLO again inside TLS.
inline std::vector<TScriptStep> GreetedThenTls(const std::string& ehloBefore, const std::string& ehloInside,
                                               const std::string& goAhead = "220 go ahead\r\n") {
  return Join(Greeted({ehloBefore}), {{"STARTTLS\r\n", {goAhead}}, {"<TLS>" + Ehlo(), {ehloInside}}});
}

// The client's QUIT, answered.
inline TScriptStep Quit() { return {"QUIT\r\n", {"221 bye\r\n"}}; }

} // namespace postello::test
