// The message seam: a question with a named default button reaches sinks
// that know nothing of default buttons, and the command line's sink never
// answers Yes on its own.
#include "core/TMessageSink.h"

#include <gtest/gtest.h>

#include <vector>

using namespace postello;

namespace {

// A sink written before default buttons existed: it overrides Show only.
struct TShowOnlySink : TMessageSink {
  std::vector<TMsgButtons> shown;
  TMsgResult answer = TMsgResult::Yes;
  TMsgResult Show(const std::string&, const std::string&, TMsgButtons buttons, TMsgIcon) override {
    shown.push_back(buttons);
    return answer;
  }
};

struct TSinkGuard {
  explicit TSinkGuard(TMessageSink* sink) { SetMessageSink(sink); }
  ~TSinkGuard() { SetMessageSink(nullptr); }
};

} // namespace

TEST(TMessageSinkTest, AskReachesASinkThatOverridesOnlyShow) {
  TShowOnlySink sink;
  TSinkGuard guard(&sink);
  for (const TMsgResult answer : {TMsgResult::Yes, TMsgResult::No}) {
    sink.answer = answer;
    EXPECT_EQ(Messages().Ask("Frage?", "", TMsgButtons::YesNo, TMsgIcon::Warning, TMsgResult::No), answer);
  }
  EXPECT_EQ(sink.shown, (std::vector<TMsgButtons>{TMsgButtons::YesNo, TMsgButtons::YesNo}));
}

// Without a window nobody can answer: a default of Yes must not turn into
// a Yes (the clear-text password, the unknown certificate).
TEST(TMessageSinkTest, DefaultSinkAnswersNoOrCancelWhateverTheDefault) {
  SetMessageSink(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Messages().Ask("Passwort?", "", TMsgButtons::YesNo, TMsgIcon::Warning, TMsgResult::Yes), TMsgResult::No);
  EXPECT_EQ(Messages().Ask("Speichern?", "", TMsgButtons::YesNoCancel, TMsgIcon::Question, TMsgResult::Yes),
            TMsgResult::Cancel);
  EXPECT_EQ(Messages().Ask("Weiter?", "", TMsgButtons::OkCancel, TMsgIcon::Question, TMsgResult::Ok),
            TMsgResult::Cancel);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Passwort?\nSpeichern?\nWeiter?\n");
}
