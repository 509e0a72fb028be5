#pragma once
// The unsubscribe targets of a mail (TMailRec::Unsubscribe) and the
// List-Unsubscribe headers made from them (RFC 2369, RFC 8058).
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// The targets of a comma-separated unsubscribe text, each trimmed of
// blanks; empty pieces are left out.
std::vector<std::string> SplitUnsubscribeTargets(std::string_view text);

// "" when every target of the text begins with "mailto:" or "https:"
// (letters compared without case) and holds no control character;
// otherwise the German complaint naming the first bad target.
std::string CheckUnsubscribeText(std::string_view text);

// One target as it may stand between "<" and ">": blanks, control
// characters, bytes above 126 and the characters < > " are written as
// %XX, so a merged field value can neither break the header nor end the
// angle brackets early.
std::string EscapeUnsubscribeTarget(std::string_view target);

// The value of List-Unsubscribe for the (merged) targets: each escaped and
// in angle brackets, joined by ", ". Targets that are neither mailto: nor
// https: are left out; "" when none remains.
std::string ListUnsubscribeValue(const std::vector<std::string>& targets);

// True when the targets hold an https: target, which is what the one-click
// header (List-Unsubscribe-Post) refers to.
bool HasOneClickTarget(const std::vector<std::string>& targets);

} // namespace postello
