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
  // Questions default to Yes (Ok where there is no Yes): Enter presses it.
  virtual TMsgResult Show(const std::string& text, const std::string& caption,
                          TMsgButtons buttons, TMsgIcon icon) = 0;
  // A question as Show asks it, with the default button named: for
  // questions where a hasty Enter must not say Yes (a password in clear,
  // an unknown certificate). defaultButton must be one of the buttons
  // shown. A sink that has no default button to set shows it as Show does.
  virtual TMsgResult Ask(const std::string& text, const std::string& caption, TMsgButtons buttons, TMsgIcon icon,
                         TMsgResult defaultButton) {
    (void)defaultButton;
    return Show(text, caption, buttons, icon);
  }
};

// The sink in use; never null. The default one writes to standard error and
// answers No (or Cancel, where offered) to every question, so nothing is deleted without a user.
TMessageSink& Messages();

// Installs a sink (null restores the default) and returns the previous one.
TMessageSink* SetMessageSink(TMessageSink* sink);

// Shortcut for an error box with the system's default caption.
void ShowError(const std::string& text);

} // namespace postello
