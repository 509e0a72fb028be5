#include "send/RunLogLine.h"

#include "core/StoredDateTime.h"

namespace postello {

std::string RunLogLine(TJournalRunKind kind, double now) {
  std::string when = DateTimeToText(now);
  // The stored form leaves out a midnight time; the log always has one.
  if (when.find(' ') == std::string::npos) when += " 00:00:00";
  return std::string("--- ") + JournalRunKindText(kind) + " am " + when + " ---";
}

} // namespace postello
