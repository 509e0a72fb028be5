#include "core/TMessageSink.h"

#include "core/Cp1252.h"

#include <cstdio>

namespace postello {
namespace {

class TStderrSink final : public TMessageSink {
public:
  TMsgResult Show(const std::string& text, const std::string& caption,
                  TMsgButtons buttons, TMsgIcon) override {
    const std::string line =
        caption.empty() ? text : caption + ": " + text;
    std::fprintf(stderr, "%s\n", Cp1252ToUtf8(line).c_str());
    switch (buttons) {
    case TMsgButtons::YesNo: return TMsgResult::No;
    case TMsgButtons::OkCancel:
    case TMsgButtons::YesNoCancel: return TMsgResult::Cancel;
    case TMsgButtons::Ok: break;
    }
    return TMsgResult::Ok;
  }
};

TStderrSink g_default;
TMessageSink* g_sink = &g_default;

} // namespace

TMessageSink& Messages() { return *g_sink; }

TMessageSink* SetMessageSink(TMessageSink* sink) {
  TMessageSink* previous = g_sink == &g_default ? nullptr : g_sink;
  g_sink = sink ? sink : &g_default;
  return previous;
}

void ShowError(const std::string& text) {
  Messages().Show(text, "", TMsgButtons::Ok, TMsgIcon::Error);
}

} // namespace postello
