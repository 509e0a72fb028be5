#include "send/PreSendCheck.h"

#include "send/ListUnsubscribe.h"

namespace postello {

bool HasPlaceholder(const std::string& text) {
  for (std::size_t at = text.find("[%"); at != std::string::npos; at = text.find("[%", at + 1)) {
    const std::size_t close = text.find(']', at + 2);
    if (close != std::string::npos && close > at + 2) return true;
  }
  return false;
}

std::vector<std::string> PreSendNotes(const TMailRec& mail) {
  std::vector<std::string> notes;
  if (!mail.MergeSubject && HasPlaceholder(mail.Subject)) notes.emplace_back(kSubjectPlaceholderNote);
  if (std::string bad = CheckUnsubscribeText(mail.Unsubscribe); !bad.empty()) notes.push_back(std::move(bad));
  return notes;
}

} // namespace postello
