#pragma once
// The send journal: one file per run in the folder "versand/" of the data
// folder, recording what the run meant to send and what became of each
// message, so that a run ended by anything (Abbrechen, a crash, kill -9, a
// power cut) can be resumed without sending anybody the mail twice.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "send/TRecipientList.h"

namespace postello {

// The journal cannot be created or written; what() is the German text for
// the user and names the folder or the file.
class EJournalError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// What became of one message. None: no result recorded (the run ended
// before it, or the file was cut). Blocked: an address of the block list,
// left out before planning (Nr 0); the file holds it as "nicht gesendet"
// with the reason "gesperrt", which journal readers of every version take.
enum class TJournalResult { None, Sent, Failed, Uncertain, NotSent, Blocked };

// "gesendet", "fehlgeschlagen", "unsicher", "nicht gesendet", "gesperrt";
// "" for None.
const char* JournalResultText(TJournalResult result);
// The reverse; None for any other text.
TJournalResult JournalResultFromText(std::string_view text);

// Why the run was started.
enum class TJournalRunKind { Send, Resume, Retry, Test };
// "Versand", "Fortsetzung", "Wiederholung", "Test".
const char* JournalRunKindText(TJournalRunKind kind);

// How the run chose its recipients (TJournalRunInfo::Recipients).
inline constexpr const char* kJournalAllRecipients = "alle";
inline constexpr const char* kJournalSelectedRecipients = "ausgew\xE4hlte";
inline constexpr const char* kJournalTypedRecipient = "eine Adresse";

// The run line. Texts are Windows-1252, like every text inside the program.
struct TJournalRunInfo {
  TJournalRunKind Kind = TJournalRunKind::Send;
  std::string StartTime;      // "2024-05-01 10:00:00", local time
  std::string Subject;        // the mail's subject
  std::string MailDate;       // the mail's date as the mail list shows it
  std::string Account;        // "Absender <Email>"
  std::string Server;         // the account's server text
  bool BatchMode = false;
  int BatchSize = 1;          // recipients per message in batch mode
  std::string Recipients;     // one of the kJournal...Recipient(s) texts
  std::string Filter;         // the filter text of the address table; "" none
  std::string Database;       // the address table's file; "" when none was used
  int MessageCount = 0;
  std::string Continues;      // journal file name of the run resumed or retried
  // The mail's lasting identity (TMailRec::Id), which survives saving the
  // mail; "" in journals of older versions, whose runs are found by the
  // mail's subject and date.
  std::string MailId;

  // "personalisiert" or "BCC 20".
  std::string ModeText() const;
  // Reads ModeText's form back; false for anything else.
  bool SetModeText(std::string_view text);
};

// One planned message: its number in the run (from 1), its addresses and
// the record numbers of their records in the table file (1-based; 0 for an
// address typed in by hand), one for each address.
struct TJournalMessage {
  int Nr = 0;
  std::vector<std::string> Addresses;
  std::vector<std::uint32_t> RecNos;
};

// One result line. Nr 0: an address the run left out before planning
// (for instance one no longer in the table when a run was resumed).
struct TJournalEntry {
  int Nr = 0;
  std::string Time;
  std::vector<std::string> Addresses;
  std::vector<std::uint32_t> RecNos;
  TJournalResult Result = TJournalResult::None;
  std::string Reason;
  // The Message-ID header the message went out with, angle brackets
  // included, so that a bounce that returns it is traced to this message;
  // "" when it was never composed and in journals of older versions.
  std::string MessageId;
};

// The writer of one run's journal.
//
// The file is semicolon-separated UTF-8 text with a byte order mark and a
// header row (LibreOffice Calc and Excel open it as it is), lines ending in
// CR LF. Its first line after the header describes the run ("Lauf"), then
// one "Plan" line per planned message, then "Nachricht" lines as results
// become known, and an "Ende" line when the run ends while the program
// still lives. A message whose end of data goes out gets an "unsicher"
// line just before, which its real result follows; a reader takes the last
// line of each message.
//
// Every line reaches the operating system with write(2) before the call
// returns, so a killed program loses nothing; a background thread flushes
// the file to the disk at the latest one second after a line was written,
// and closing flushes it at once. All members may be called from any
// thread.
class TSendJournal {
public:
  // Makes the folder dataDir + "versand/" when needed and creates a new file
  // named after the start time (info.StartTime is set to now when empty),
  // writes the header, the run line and the plan, and flushes them to the
  // disk. Throws EJournalError naming the folder when any of it fails.
  TSendJournal(const std::string& dataDir, TJournalRunInfo info, const std::vector<TJournalMessage>& plan);
  // Closes as Close does, swallowing errors.
  ~TSendJournal();
  TSendJournal(const TSendJournal&) = delete;
  TSendJournal& operator=(const TSendJournal&) = delete;

  // Appends one result line (Time set to now when empty). Throws
  // EJournalError when the line cannot be written, or when an earlier
  // flush to the disk failed.
  void Record(TJournalEntry entry);
  // The provisional "unsicher" line written just before a message's end of
  // data goes out. Same errors as Record.
  void RecordDataEnd(const TJournalMessage& message, std::string_view messageId = {});
  // Appends the "Ende" line: ended is "abgeschlossen" or "abgebrochen",
  // note says why or sums up. Same errors as Record.
  void RecordEnd(std::string_view ended, std::string_view note);
  // Flushes to the disk and closes the file. Throws EJournalError when the
  // flush fails. Further calls do nothing.
  void Close();

  // The file's full path and its name without the folder.
  const std::string& Path() const { return FPath; }
  std::string FileName() const;
  const TJournalRunInfo& Info() const { return FInfo; }

  // The folder of the journals of a data folder (ends in '/').
  static std::string Folder(const std::string& dataDir);

private:
  void WriteLine(const std::string& line);
  // Writes all bytes with write(2); the errno of a failure, else 0.
  int WriteRaw(std::string_view bytes);
  void SyncLoop();
  [[noreturn]] void Fail(const std::string& what, int error);

  TJournalRunInfo FInfo;
  std::string FPath;
  int FFd = -1;

  std::mutex FMutex;
  std::condition_variable FWake;
  bool FDirty = false;
  bool FStop = false;
  int FSyncError = 0;  // errno of a failed background flush
  std::thread FSyncer;
};

// What a journal file holds, as read back.
struct TJournalRun {
  std::string Path;
  TJournalRunInfo Info;
  std::vector<TJournalMessage> Plan;
  // The last result line of each planned message and every line of an
  // address left out (Nr 0), in the order they first appeared.
  std::vector<TJournalEntry> Entries;
  bool Ended = false;                  // an "Ende" line was found
  std::string EndState, EndNote;       // its result and reason
  int DamagedLines = 0;                // lines that could not be read (a cut last line included)
  // Damage a crash cannot explain: an unreadable line followed by readable
  // ones, a line longer than any the writer makes, a plan that is not
  // complete. Such a run is not resumed or retried.
  bool Broken = false;

  // The last result of a planned message, None when it has none.
  TJournalResult ResultOf(int nr) const;
  // The entry that gave ResultOf; null when none.
  const TJournalEntry* LastEntryOf(int nr) const;
  // Planned messages whose last result is r (None: no result at all).
  int Count(TJournalResult r) const;
  // Some planned message has no result or "nicht gesendet": the run did
  // not get through its plan.
  bool Unfinished() const;
  std::string FileName() const;
  // "" when every line was read; else the German description naming the
  // file, which says whether the run can still be resumed.
  std::string Problem() const;
};

// Reads a journal. Lines that cannot be read are counted and skipped (a
// power cut can leave the last line cut or the file's end filled with
// zeros), so anything written in full is found; see Broken for damage that
// is more than that. A result line for a message the plan does not hold,
// or naming other addresses than its planned message, is such a line.
// Reads line by line, never the whole file at once, and stops at a line
// longer than kMaxJournalLine; memory follows the plan, since only the
// last result of each message is kept. Throws EJournalError when the file
// cannot be opened or holds no run line.
TJournalRun ReadJournal(const std::string& path);

// The longest line a reader takes (a batch of 100 long addresses fits
// many times over).
inline constexpr std::size_t kMaxJournalLine = 1024 * 1024;

// The journal files of a data folder, oldest first (by the start time in
// their names). Empty when the folder does not exist. Throws EJournalError
// when the data folder or its "versand/" may be changed by another user
// (see CheckJournalFolders).
std::vector<std::string> ListJournals(const std::string& dataDir);

// Journals decide whom a resumed run writes to, so they are trusted only
// in folders nobody else can change: throws EJournalError (German, naming
// the folder) when the data folder or its "versand/" belongs to another
// user, may be written by group or others, or is a symbolic link of
// another user. A "versand/" that does not exist yet is fine.
void CheckJournalFolders(const std::string& dataDir);

// The newest run of the mail that a resume or retry follows: neither a
// test nor a run to one typed address. A run that recorded a mail identity
// belongs to the mail with that mailId; one of an older version without it
// to the mail of that subject and date, or of that subject and the date the
// mail had when it got its identity (firstDate; empty: none). Nothing when there is none. Throws
// EJournalError when the folders are not safe (CheckJournalFolders) or the
// newest such journal cannot be opened; a journal whose run line cannot be
// read is passed over.
std::optional<TJournalRun> LastRunOfMail(const std::string& dataDir, const std::string& mailId,
                                         const std::string& subject, const std::string& mailDate,
                                         const std::string& firstDate = std::string());

// Local time now as "2024-05-01 10:00:00".
std::string JournalTimeNow();

// The failed messages of a run as a CSV file for the user (same form as
// the journal: UTF-8 with byte order mark, semicolons, header row):
// address, its row as the address grid shows it today (found in rows by
// the record number; empty when the record is no longer listed), reason,
// one address a line.
std::string FailedAddressesCsv(const TJournalRun& run, const TRecipientList& rows);

// One CSV line of the journal form (without line end) from Windows-1252
// fields, and its reading; exposed for the tests.
std::string JournalCsvLine(const std::vector<std::string>& fields);
bool ParseJournalCsvLine(std::string_view utf8Line, std::vector<std::string>& fields);
// The addresses of a message in one cell: joined with ", ", an address
// that holds a comma, a quote, a backslash, a control character or outer
// blanks (or is empty) in double quotes with backslash escapes, so that
// every list reads back exactly. The reading gives false for a cell not
// of this form.
std::string JoinJournalAddresses(const std::vector<std::string>& addresses);
bool SplitJournalAddresses(std::string_view cell, std::vector<std::string>& addresses);

} // namespace postello
