#pragma once
// The send run: one mail from one account to the chosen recipients,
// personalised (one message per recipient, fields merged) or in batches
// (one message per batch, addresses only in the envelope).
#include "addressdb/TDbf.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "mime/ZIzorAvarivi2000.h"
#include "smtp/TOutgoingMail.h"
#include "send/TSendJournal.h"
#include "smtp/TSendResult.h"
#include "send/TRecipientList.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace postello {

struct TResumePlan;

// Which recipients of the list take part (the three radio buttons above
// the recipient list).
enum class TRecipientChoice {
  All,       // every row (AlleEmpfCheck)
  Selected,  // the selected rows (SelectedEmpfCheck)
  One        // the address typed into EmpfEd (OneEmpfCheck)
};

// What the send page holds when the run starts.
struct TSendChoice {
  bool BatchMode = false;                 // bccCheck (else PersonalCheck)
  double BccCount = 20;                   // bccCountEd; the fraction is cut off
  TRecipientChoice Recipients = TRecipientChoice::All;
  std::vector<std::size_t> SelectedRows;  // row indexes of the recipient list
  std::string TypedAddress;               // EmpfEd
  int KontoIndex = -1;                    // AbsenderCombo's item index, -1: none
  int MailIndex = -1;                     // MailCombo's item index, -1: none

  // What the journal says about the run besides: the filter text the list
  // was made with, the address table's file, why the run was started and
  // which journal it follows (resume, retry).
  std::string FilterText;
  std::string DatabaseFile;
  TJournalRunKind Kind = TJournalRunKind::Send;
  std::string Continues;
  // Kind Test: one personalised message, merged with the record of the row
  // SelectedRows[0] (unmerged when there is none), goes to TestAddress
  // alone, its subject starting with "[Test] ". Recipients, BatchMode and
  // TypedAddress do not count then.
  std::string TestAddress;

  // The recipients of a resume or retry: the plan's rows as the selection.
  void TakeRecipients(const TResumePlan& plan);
};

// A run that cannot start; what() is the German text for the user's
// error box.
class ESendRefused : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The send run and what the send page shows of it.
//
// The object lives as long as the window: it holds the state of the
// current run (recipients with their record positions, the account and
// the mail copied at the start, the counters, the cancel request) and
// what outlasts a run: the status text (kept from one run to the next),
// the progress value and the error log (never cleared).
//
// A run goes Start, then NextMessage / deliver / Finish for each message,
// until NextMessage gives nothing. NextMessage and Finish belong to the
// thread that owns the message object and the table (the window's); the
// delivery in between touches only the TOutgoingMail and may run
// elsewhere. Several messages may be in flight at once (TSendPool), and
// their results may come back in any order. An exception out of Start (ESendRefused) or NextMessage (an
// attachment that cannot be read) ends the run; after the latter the
// caller calls Abort.
//
// The message object is the caller's; it is expected to carry the
// program's settings (ZIzorAvarivi2000::ApplyFormSettings) and keeps the
// last message until the next run clears it. The table is used only by
// the merge, which leaves it on the last merged recipient's record.
class TSendRun {
public:
  static constexpr const char* kInitialStatus = "0 Mails von 0 verarbeitet 0 fehlgeschlagen.";
  static constexpr const char* kLogPrefix = "Fehler beim Senden der Nachricht an ";
  static constexpr const char* kNoRecipients = "Es sind keine Empf\xE4" "nger vorhanden!";
  static constexpr const char* kAllBlocked = "Alle Empf\xE4nger stehen auf der Sperrliste.";
  static constexpr const char* kNoAccount = "Es ist kein Absender-Konto ausgew\xE4hlt!";
  static constexpr const char* kNoMail = "Es ist keine eMail zum versenden ausgew\xE4hlt!";
  // The error log's last line of a run that ended by cancellation.
  static constexpr const char* kCancelledLine = "Versand abgebrochen.";
  // The error log's line when the run stops by itself, the reason after it.
  static constexpr const char* kHaltPrefix = "Versand angehalten: ";
  // Messages in a row that could not open a session before the run stops.
  static constexpr int MaxConnectFailures = 10;

  // Delivers one message; may return a plain bool (no reason then).
  using TDeliver = std::function<TSendResult(const TOutgoingMail&)>;

  // The first run object of the process also tells the C library to keep
  // freed buffers of message size instead of returning them to the system
  // after each message (a process-wide malloc setting).
  TSendRun(ZIzorAvarivi2000& msg, TDbf& table);
  TSendRun(const TSendRun&) = delete;
  TSendRun& operator=(const TSendRun&) = delete;

  // Takes the recipients, the account and the mail (selecting them in
  // their arrays, whose cursors move) and makes the batch arithmetic.
  // rows is the recipient list the page shows. Throws ESendRefused (no
  // recipients, no account, no mail; nothing has changed then) and
  // std::logic_error while a run is going on.
  void Start(const TSendChoice& choice, const TRecipientList& rows, TKontoList& konten, TMailList& mails);

  // Before each message: calls OnIdle (where a window lets pending input
  // through), then, unless the run is over or cancellation was requested,
  // composes the next message in the message object and returns it. At
  // the end it returns nothing, puts the progress back to 0 and ends the
  // run; while messages handed out still lack their result it returns
  // nothing but leaves the run going, to be ended by a later call after
  // their Finish. Throws what composing throws (EFOpenError for an attachment file
  // that cannot be read).
  std::optional<TOutgoingMail> NextMessage();

  // Records the result of a message NextMessage gave (once each): a failure
  // adds its error log line (the address, ": " and the reason when there
  // is one); counters, progress and status text follow. A session the
  // user cut off counts as failed and ends the run as cancelled, even
  // when it was the last message. A refused login, or MaxConnectFailures
  // messages in a row without a session, stop the run (Halted): every
  // further message would fail the same way, so the rest stay unsent for
  // a resume once the server or the account is right again.
  void Finish(const TOutgoingMail& mail, const TSendResult& result);

  // Ends a run that an exception stopped. The progress stays as it was.
  // The journal gets "nicht gesendet" for the messages without a result
  // (reason: why the run stopped) and its end line; its own errors are
  // swallowed here.
  void Abort(const std::string& reason = {});

  // The whole run on the calling thread, deliver called for each
  // deliverable message. Throws as Start and NextMessage do, and what
  // deliver throws; the run is ended then.
  void Run(const TSendChoice& choice, const TRecipientList& rows, TKontoList& konten, TMailList& mails,
           const TDeliver& deliver);

  // Asks the run to stop: the session under way ends at once when it was
  // given CancelFlag and has not yet sent the end of the data; otherwise
  // the run stops before its next message. Safe from any thread and from
  // a signal handler.
  void RequestCancel() { FCancelRequested = true; }
  // The flag RequestCancel sets, for TSMTPSendOptions::Cancel.
  const std::atomic<bool>* CancelFlag() const { return &FCancelRequested; }
  bool CancelRequested() const { return FCancelRequested; }
  // The last run ended because cancellation was requested.
  bool Cancelled() const { return FCancelled; }
  // The current or last run was stopped by a failure that every further
  // message would share; HaltReason is that failure.
  bool Halted() const { return FHalted; }
  const std::string& HaltReason() const { return FHaltReason; }
  // A run is going on (from Start to its end).
  bool Sending() const { return FSending; }

  bool BatchMode() const { return FBatchMode; }
  int BatchSize() const { return FBatchSize; }
  int RecipientCount() const { return static_cast<int>(FAddresses.size()); }
  int MessageCount() const { return FMessageCount; }
  int Processed() const { return FProcessed; }
  int FailedCount() const { return FFailedCount; }
  // Recipients of the current or last run left out because the block
  // list of JournalDir names them (never a typed address or a test mail).
  // A block list that cannot be read makes Start refuse.
  int BlockedCount() const { return FBlockedCount; }
  // ProgressBar1: processed messages in percent, 0 to 100.
  int Progress() const { return FProgress; }
  // statlabel's caption.
  const std::string& StatusText() const { return FStatus; }
  // Every error log line of every run, oldest first.
  const std::vector<std::string>& ErrorLog() const { return FErrorLog; }
  // The addresses of the run, in list order.
  const std::vector<std::string>& RecipientAddresses() const { return FAddresses; }

  // The data folder whose folder "versand/" takes a journal of every run
  // (TSendJournal); empty: no journal. With a journal, Start refuses
  // (ESendRefused, naming the folder) when the journal cannot be made,
  // every result is recorded before Finish returns, the session gets the
  // journal's "unsicher" line through TOutgoingMail::BeforeDataEnd, and a
  // journal that can no longer be written makes Finish throw
  // EJournalError, which stops the run.
  std::string JournalDir;
  // The data folder whose block list Start applies when it is not
  // JournalDir's (a check that writes no journal); empty: JournalDir's.
  std::string BlockListDir;
  // The journal file of the current or the last run; "" when none.
  std::string JournalPath() const { return FJournalPath; }

  // Called at the start of NextMessage; may call RequestCancel.
  std::function<void()> OnIdle;
  // Called with each new error log line.
  std::function<void(const std::string&)> OnErrorLog;
  // Called whenever counters, progress or status text changed.
  std::function<void()> OnProgress;

private:
  void Compose(int m, TOutgoingMail& out);
  std::string MergedText(const std::string& text, int m);
  const TAttachmentBytes& AttachmentBytes(std::size_t i);
  void EndRun(bool cancelled);
  void Log(const std::string& line);
  TJournalMessage PlannedMessage(int m) const;
  void OpenJournal(const TSendChoice& choice);
  // Writes "nicht gesendet" for the messages left without a result, then
  // the end line, and closes the journal. Throws EJournalError.
  void CloseJournal(bool stopped, const std::string& reason);

  ZIzorAvarivi2000& Msg;
  TDbf& Table1;

  bool FSending = false;
  std::atomic<bool> FCancelRequested{false};
  bool FCancelled = false;
  bool FInterrupted = false;             // a session was cut off by a cancel request
  bool FHalted = false;
  std::string FHaltReason;
  int FConnectFailures = 0;              // messages in a row that got no session

  std::vector<std::string> FAddresses;   // RecipientAddresses
  std::vector<std::int64_t> FRows;       // RecipientRows; -1 for the typed address
  std::vector<std::uint32_t> FRecNos;    // record numbers in the table file; 0 for the typed address
  std::string FSubjectPrefix;            // "[Test] " for a test mail
  bool FOneRecipient = false;            // the typed address: no merge
  bool FBatchMode = false;
  int FBatchSize = 1;
  int FMessageCount = 0;
  int FNext = 0;
  int FProcessed = 0;                    // messages with a result
  int FOutstanding = 0;                  // handed out by NextMessage, without a result yet
  std::vector<bool> FFinished;           // per message: Finish has recorded it
  int FFailedCount = 0;
  int FBlockedCount = 0;
  TKontoRec FKonto;
  TMailRec FMail;
  std::vector<std::optional<TAttachmentBytes>> FAttachments;

  std::unique_ptr<TSendJournal> FJournal;
  std::string FJournalPath;
  // Per message in flight: whether its "unsicher" line was written; such
  // a message keeps it when the run stops before its result.
  std::map<int, std::shared_ptr<std::atomic<bool>>> FDataEndRecorded;
  // Per message composed and without its result yet: its Message-ID.
  std::map<int, std::string> FMessageIds;

  int FProgress = 0;
  std::string FStatus = kInitialStatus;
  std::vector<std::string> FErrorLog;
};

} // namespace postello
