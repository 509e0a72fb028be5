#pragma once
// Reading the reply mailbox: every message of the folder sorted into a
// kind (inbox/TInboxVerdict.h), traced to the run and the record it
// answers, and, when the user takes it over, the addresses put on the
// block list and the recognised messages moved to the folder for
// processed ones. Nothing is ever deleted; a customer's answer, an
// automatic reply and whatever is not recognised stay where they are.
#include "core/TMailStore.h"
#include "imap/TMailFolder.h"
#include "inbox/TInboxVerdict.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

// What applying a row does.
enum class TBounceAction {
  Block,        // the address goes on the block list
  Count,        // a soft bounce counted towards the block (fewer than kSoftBounceRuns runs)
  Listed,       // the address is on the block list already
  Processed,    // taken over by an earlier reading, not yet moved: only moved
  Leave,        // automatic reply, a person's answer: stays, untouched
  Unrecognised  // a report whose address cannot be found: stays
};

// One line of the result: one address of one message.
struct TBounceRow {
  std::uint32_t Uid = 0;
  TInboxKind Kind = TInboxKind::Other;
  TBounceAction Action = TBounceAction::Leave;
  std::string Address;   // "" when not recognised
  std::string Reason;    // status and the server's text, or why
  std::string Date;      // the message's Date header
  std::string Run;       // journal file of the run it answers; "" unknown
  std::string RunStart;  // that run's start time
  std::uint32_t RecNo = 0;  // the address's record number in that run; 0 unknown
  std::string ReportId;  // the message's Message-ID, else "uid:<uidvalidity>:<uid>"
  int SoftRuns = 0;      // soft bounce: the runs counted with this one

  // The message moves to the processed folder when the result is applied.
  bool Moves() const { return Action != TBounceAction::Leave && Action != TBounceAction::Unrecognised; }
  // German text of the action column: "wird gesperrt", "gezählt (2 von 3
  // Läufen)", "bleibt liegen", ...
  std::string ActionText() const;
};

struct TBounceResult {
  std::uint32_t UidValidity = 0;
  std::vector<TBounceRow> Rows;           // by UID, the rows of a message together
  std::map<TInboxKind, int> Counts;       // messages per kind, processed ones left out
  int Messages = 0;                       // messages read
  int Processed = 0;                      // taken over before, not yet moved
  int Unrecognised = 0;
  bool Cancelled = false;                 // the reading stopped early: nothing may be applied

  // Messages that move when applied.
  std::size_t MovingMessages() const;
  // "3 Harte Rückläufer, ..." for the line under the table.
  std::string CountsText() const;
  // "12 Nachrichten gelesen: <CountsText>." as both front ends report it.
  std::string ReadText() const;
};

struct TBounceApplied {
  int Blocked = 0;  // addresses put on the block list
  int Logged = 0;   // lines added to rueckmeldungen.csv
  int Moved = 0;    // messages moved
  bool Cancelled = false;

  // "2 Adressen auf die Sperrliste gesetzt, 3 Nachrichten nach "X"
  // verschoben", without the sentence's end.
  std::string Text(const std::string& doneFolder) const;
};

class TBounceReading {
public:
  // Soft bounces from this many different runs block an address.
  static constexpr int kSoftBounceRuns = 3;
  // Messages whose lines are saved before they are moved together.
  static constexpr std::size_t kApplyBatch = 100;
  // Messages whose leading part is fetched at once: few round trips to a
  // distant server, at most 25 MB (100 x kPrefixBytes) held at a time.
  static constexpr std::size_t kPrefixBatch = 100;

  // dataDir holds the journals, the block list and rueckmeldungen.csv.
  TBounceReading(std::string dataDir, TInboxContext context);

  // The mailboxes named by "mailto:" targets of the mails' unsubscribe
  // texts (a target whose mailbox holds a placeholder is left out).
  static TInboxContext ContextOf(const std::vector<std::string>& unsubscribeTexts);
  // The same for the unsubscribe texts of the mails.
  static TInboxContext ContextOf(const TMailList& mails);

  // Reads and sorts the folder's messages; writes nothing. Throws what
  // the folder throws, EJournalError, EReplyLogError, EBlockListError.
  TBounceResult Read(TMailFolder& folder);
  // Takes a complete reading over: for each message that moves, in
  // batches, first its block lines and its lines in rueckmeldungen.csv,
  // saved, then the move. The folder may be opened anew, under the same
  // UIDVALIDITY (else EImapError, nothing changed). Throws as Read.
  TBounceApplied Apply(TMailFolder& folder, const TBounceResult& result, const std::string& doneFolder);

  // Checked between batches and between messages.
  const std::atomic<bool>* Cancel = nullptr;
  // Messages done and their total, after each message (Read) or batch (Apply).
  std::function<void(std::size_t done, std::size_t total)> OnProgress;
  // The sorting; tests put their own in place.
  std::function<bool(std::string_view header, const TInboxContext& context)> NeedsWholeMessage =
      [](std::string_view header, const TInboxContext& context) { return ReadsWholeMessage(header, context); };
  std::function<TInboxVerdict(std::string_view message, const TInboxContext& context)> Classify = ClassifyMessage;

private:
  bool Cancelled() const { return Cancel != nullptr && Cancel->load(); }

  std::string FDataDir;
  TInboxContext FContext;
};

} // namespace postello
