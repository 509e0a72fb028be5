#pragma once
// A message sink for tests: records every text, caption and default
// button and answers questions with a fixed button.
#include "core/TMessageSink.h"

#include <string>
#include <vector>

namespace postello::test {

struct ScriptedSink : TMessageSink {
  TMsgResult answer = TMsgResult::Yes;
  std::vector<std::string> texts, captions;
  // Per message: the default button the caller named, Yes (Ok for a
  // plain message) where Show left it to the sink.
  std::vector<TMsgResult> defaults;
  TMsgResult Show(const std::string& t, const std::string& c, TMsgButtons b, TMsgIcon i) override {
    return Ask(t, c, b, i, b == TMsgButtons::Ok || b == TMsgButtons::OkCancel ? TMsgResult::Ok : TMsgResult::Yes);
  }
  TMsgResult Ask(const std::string& t, const std::string& c, TMsgButtons b, TMsgIcon, TMsgResult d) override {
    texts.push_back(t);
    captions.push_back(c);
    defaults.push_back(d);
    return b == TMsgButtons::Ok ? TMsgResult::Ok : answer;
  }
};

} // namespace postello::test
