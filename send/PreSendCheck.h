#pragma once
// The check before a run: what would make the run go wrong or send
// something the user did not mean, found before anything is sent.
#include "addressdb/TDbf.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "mime/ZIzorAvarivi2000.h"
#include "send/SpamCheck.h"
#include "send/TRecipientList.h"
#include "send/TSendRun.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace postello {

enum class TCheckKind {
  UnknownPlaceholder,   // names no field of the table
  UnmergedPlaceholder,  // a run that merges nothing (BCC, a typed address) sends it as written
  SubjectPlaceholder,   // the mail does not merge its subject
  BadUnsubscribe,       // an unsubscribe target that is neither mailto: nor https:
  MissingFile,          // attachment or picture file not there
  UnreadableFile,       // there, but cannot be read
  InvalidAddress,       // not a mailbox as RFC 5321 writes it
  DuplicateAddress,     // the same address more than once
  SkippedRecord,        // a record without address, passed over
  TooLarge,             // larger than the server's SIZE limit
  CutAddress,           // fills its field exactly: probably cut when it was stored
  SpamScore             // SpamAssassin rates the first message as spam
};

// One finding; Text is German (Windows-1252), one line.
inline constexpr const char* kSubjectPlaceholderNote =
    "Der Betreff enth\xE4lt einen Platzhalter, der nicht ersetzt wird "
    "(\"Platzhalter im Betreff ersetzen\" ist aus).";

// True when text holds a complete placeholder: "[%", a name, "]".
bool HasPlaceholder(const std::string& text);

// German notes, one per finding: a subject with a placeholder while the
// mail does not merge its subject; an unsubscribe text with a target that
// is neither mailto: nor https:. Empty when there is nothing to say.
std::vector<std::string> PreSendNotes(const TMailRec& mail);

// What the address page's filter does to the recipient list, shown on the
// send page and in the check: "Filter aktiv: nur DatensÃ¤tze mit â€žTEXTâ€œ";
// empty without a filter.
std::string FilterNote(const std::string& filterText);

struct TCheckFinding {
  TCheckKind Kind;
  std::string Text;
};

struct TPreSendReport {
  std::vector<TCheckFinding> Findings;
  // What the user should know whatever was found: the number of messages,
  // the size of the largest one, the field names when a placeholder is
  // unknown.
  std::vector<std::string> Facts;

  bool Clean() const { return Findings.empty(); }
  int Count(TCheckKind kind) const;
  // The findings, then the facts, one a line (each ending in "\n"). At most
  // perKind lines of one kind are listed, then "... und N weitere" (0: all).
  std::string Text(std::size_t perKind = 0) const;
};

// What the check looks at. The mail's texts and files, the table's field
// names, the run's recipient addresses in order, the records the list
// passed over, the message count and sizes.
struct TPreSendInput {
  const TMailRec* Mail = nullptr;
  std::vector<std::string> FieldNames;
  // Placeholders are replaced (personalised run over table rows).
  bool Merges = true;
  bool BatchMode = false;
  std::vector<std::string> Addresses;
  std::vector<std::uint32_t> SkippedPositions;  // of the records without address, from 0
  int MessageCount = 0;
  std::int64_t LargestMessage = -1;  // bytes; -1: not known
  std::string LargestAddress;        // the first address of that message
  std::int64_t ServerLimit = -1;     // the server's SIZE; -1 (or 0, "no limit"): not known
  // The filter the recipients were listed with (empty: none, or the run
  // does not send to the list).
  std::string FilterText;
  int AddressWidth = 0;              // width of the address field; 0: not known
  int Blocked = 0;                   // recipients the block list leaves out
};

// "3 Empfänger stehen auf der Sperrliste und werden übersprungen."
std::string BlockedNote(int blocked);

TPreSendReport CheckBeforeSend(const TPreSendInput& input);

// The names of the complete placeholders of a text, in order, as the
// merge finds them ("[[%Name]" holds none, "[%]" holds the empty name).
std::vector<std::string> PlaceholderNames(std::string_view text);

// A mailbox as RFC 5321 writes it: a dot-string or quoted local part of at
// most 64 bytes, "@", a domain of letter-digit-hyphen labels (at most 63
// bytes each, 255 in all) or an address literal; at most 254 bytes.
bool IsValidMailbox(std::string_view address);

// Why a file cannot be attached ("" when it can): missing, a folder, or
// the reason it cannot be opened for reading.
std::string FileProblem(const std::string& path);

// The whole check for a run the send page (or the command line) would
// start: the run's recipients and message count as TSendRun::Start takes
// them (it throws ESendRefused as Start does), the largest message composed
// in msg (leaving the table on that record), and everything above.
// skipped are the records the recipient list passed over; mailField names
// the address field (for its width). With spam, the run's first message
// (composed as the run would) is rated too: a spam verdict is a finding,
// the score and the rules that fired are facts. With dataDir, its block
// list is applied as the run applies it and the skipped are counted.
// Nothing is sent.
TPreSendReport CheckRun(ZIzorAvarivi2000& msg, TDbf& table, const TSendChoice& choice, const TRecipientList& rows,
                        const std::vector<std::uint32_t>& skipped, TKontoList& konten, TMailList& mails,
                        std::int64_t serverLimit = -1, long mailField = -1, const TSpamCheck* spam = nullptr,
                        const std::string& dataDir = std::string());

// The run's first message as the spam check rates it, composed as the run
// would (nothing sent); none when it cannot be composed (an attachment
// missing, no deliverable message). Leaves the table on that record.
std::optional<std::string> FirstMessageText(ZIzorAvarivi2000& msg, TDbf& table, const TSendChoice& choice,
                                            const TRecipientList& rows, TKontoList& konten, TMailList& mails);

// SpamAssassin's verdict in the report: spam is a finding, the score and
// the rules that fired are facts.
void AddSpamVerdict(TPreSendReport& report, const TSpamVerdict& verdict);

} // namespace postello
