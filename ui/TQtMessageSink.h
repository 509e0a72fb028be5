#pragma once
#include "core/TMessageSink.h"

namespace postello {

// Shows the core's messages as modal message boxes over the active window.
class TQtMessageSink final : public TMessageSink {
public:
  // Yes (Ok without a Yes) is the default button.
  TMsgResult Show(const std::string& text, const std::string& caption, TMsgButtons buttons,
                  TMsgIcon icon) override;
  TMsgResult Ask(const std::string& text, const std::string& caption, TMsgButtons buttons, TMsgIcon icon,
                 TMsgResult defaultButton) override;
};

} // namespace postello
