#pragma once
// Message boxes as the core sees them. The window program installs a sink
// that shows real boxes; tests install one that records and answers; the
// command line prints to standard error.
#include <string>

namespace postello {

enum class TMsgIcon { Error, Information, Warning, Question };
enum class TMsgButtons { Ok, YesNo, OkCancel, YesNoCancel };
enum class TMsgResult { Ok, Yes, No, Cancel };

class TMessageSink {
public:
  virtual ~TMessageSink() = default;
  // Shows text with the caption (empty: the system's default title) and
  // returns the button pressed.
  virtual TMsgResult Show(const std::string& text, const std::string& caption,
                          TMsgButtons buttons, TMsgIcon icon) = 0;
};

// The sink in use; never null. The default one writes to standard error and
// answers No (or Cancel, where offered) to every question, so nothing is deleted without a user.
TMessageSink& Messages();

// Installs a sink (null restores the default) and returns the previous one.
TMessageSink* SetMessageSink(TMessageSink* sink);

// Shortcut for an error box with the system's default caption.
void ShowError(const std::string& text);

} // namespace postello
