#pragma once
// A message sink for tests: records every text and caption and answers
// questions with a fixed button.
#include "core/TMessageSink.h"

#include <string>
#include <vector>

namespace postello::test {

struct ScriptedSink : TMessageSink {
  TMsgResult answer = TMsgResult::Yes;
  std::vector<std::string> texts, captions;
  TMsgResult Show(const std::string& t, const std::string& c, TMsgButtons b, TMsgIcon) override {
    texts.push_back(t);
    captions.push_back(c);
    return b == TMsgButtons::Ok ? TMsgResult::Ok : answer;
  }
};

} // namespace postello::test
