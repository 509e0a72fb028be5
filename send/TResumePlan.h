#pragma once
// Which recipients a resumed or retried run takes, worked out from the
// journal of the run it follows and today's recipient list.
#include "core/TKontoStore.h"
#include "send/TRecipientList.h"
#include "send/TSendJournal.h"

#include <cstddef>
#include <string>
#include <vector>

namespace postello {

// The recipients of the new run. Rows index today's recipient list, in
// list order. Nothing is ever sent to an address only a journal names:
// every address, a typed one too, is taken only from today's list.
struct TResumePlan {
  struct TCorrection {
    std::string Old, New;  // failed address, the same record's address today
  };

  std::vector<std::size_t> Rows;
  // Addresses of messages whose end of data went out without an answer:
  // listed for the user, taken only when asked for.
  std::vector<std::string> Uncertain;
  // Addresses the new run should take but today's list no longer holds;
  // they are left out.
  std::vector<std::string> Missing;
  // Retry only: failed addresses whose record now holds another address
  // (the user corrected it); the new address is taken.
  std::vector<TCorrection> Corrected;

  bool Empty() const { return Rows.empty(); }
};

// "Versand fortsetzen": every planned message of the run that is neither
// "gesendet" nor "unsicher" (no result, "fehlgeschlagen", "nicht
// gesendet"), and the "unsicher" ones too when withUncertain is set.
// Recipients are matched by address (letters a to z without case), each
// list row used at most once; among rows of the same address the one of
// the same record number is preferred. Records added to the table since
// the run are never taken; removed ones end up in Missing.
TResumePlan PlanResume(const TJournalRun& run, const TRecipientList& rows, bool withUncertain);

// "Fehlgeschlagene erneut senden": the messages whose last result is
// "fehlgeschlagen", matched as above. When sameTable is set (the run used
// the table file that is open now), an address that is no longer found is
// looked up by its record number: a record that now holds an address the
// run did not plan for anybody is taken as corrected.
TResumePlan PlanRetry(const TJournalRun& run, const TRecipientList& rows, bool sameTable);

// The account a run used, found again by its sender ("Absender <Email>")
// and server text; -1 when no account matches any more.
int RunAccountIndex(const TKontoList& konten, const TJournalRunInfo& info);

// The address as compared: the letters a to z in lower case.
std::string AddressKey(std::string_view address);

} // namespace postello
