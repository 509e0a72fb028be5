#pragma once
// What is worth telling the user about a mail before it goes out.
#include "core/TMailRec.h"

#include <string>
#include <vector>

namespace postello {

inline constexpr const char* kSubjectPlaceholderNote =
    "Der Betreff enth\xE4lt einen Platzhalter, der nicht ersetzt wird "
    "(\"Platzhalter im Betreff ersetzen\" ist aus).";

// True when text holds a complete placeholder: "[%", a name, "]".
bool HasPlaceholder(const std::string& text);

// German notes, one per finding: a subject with a placeholder while the
// mail does not merge its subject; an unsubscribe text with a target that
// is neither mailto: nor https:. Empty when there is nothing to say.
std::vector<std::string> PreSendNotes(const TMailRec& mail);

} // namespace postello
