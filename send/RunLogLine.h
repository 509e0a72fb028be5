#pragma once
// The line the window's error log shows at the start of each run, so that
// the errors of earlier runs are told apart from the current ones.
#include "send/TSendJournal.h"

#include <string>

namespace postello {

// "--- Wiederholung am 10.12.2026 09:30:00 ---": the kind of run as the
// journal names it and the local start time now (TDateTime form).
std::string RunLogLine(TJournalRunKind kind, double now);

} // namespace postello
