#pragma once
// What a message of the reply mailbox is, for keeping the address list
// clean: a bounce, an unsubscribe, a complaint, an automatic reply, or a
// person's real answer that nobody but a person may touch.
#include <string>
#include <string_view>
#include <vector>

namespace postello {

enum class TInboxKind {
  Other,       // anything else (a customer's answer): left where it is
  HardBounce,  // Action: failed with a 5.x.x status, or a permanent plain-text bounce
  SoftBounce,  // a 4.x.x status or Action: delayed
  Unsubscribe, // a message to an unsubscribe mailbox or with "abmelden" & co. in the subject
  Complaint,   // an abuse feedback report (report-type=feedback-report)
  AutoReply,   // out of office and other automatic answers: counted, never blocking
};

// One address a report is about (Windows-1252 texts).
struct TInboxRecipient {
  std::string Address;     // the address as sent to, without "rfc822;" and angle brackets
  std::string Action;      // "failed", "delayed", ... ("" when the report has none)
  std::string Status;      // "5.1.1"; "" when unknown
  std::string Diagnostic;  // the server's text, unfolded, at most 300 characters
};

// The sorting of one message.
struct TInboxVerdict {
  TInboxKind Kind = TInboxKind::Other;
  // Who the message is about: the failed or delayed recipients of a status
  // report (each with its own Action and Status: a report may fail one
  // address and delay another), the complained-about recipient of a
  // feedback report, the address an unsubscribe asks to take off (the
  // address the link carried, else the sender), the sender of an automatic
  // reply. Empty for a bounce without a status part whose recipient must be
  // found by ReturnedMessageId or ReturnedTo.
  std::vector<TInboxRecipient> Recipients;
  // The Message-ID of the returned (original) message, without angle
  // brackets; "" when the message returns none.
  std::string ReturnedMessageId;
  // The To and Cc addresses of the returned message's headers.
  std::vector<std::string> ReturnedTo;
  // A short German reason for the result table, e.g.
  // "5.1.1 Empfänger unbekannt: <diagnostic>" or "Abmeldung per E-Mail".
  std::string Reason;
  // The message's own headers, decoded to Windows-1252.
  std::string MessageId, From, Subject, Date;
};

// Mailboxes whose mail counts as an unsubscribe: the mailto: targets of
// the mails' List-Unsubscribe options, without "mailto:" and parameters.
struct TInboxContext {
  std::vector<std::string> UnsubscribeMailboxes;
};

// Sorts a message (its raw bytes as the server holds them; possibly only
// a leading part of a large one, as ReadsWholeMessage asks). Never throws
// for damaged input: what cannot be read is Other.
TInboxVerdict ClassifyMessage(std::string_view message, const TInboxContext& context);

// True when the header block alone cannot decide (a report, or a message
// that looks like a bounce): the reader then fetches the message's first
// kPrefixBytes and classifies those.
bool ReadsWholeMessage(std::string_view header);
// The same, also for a message to one of the unsubscribe mailboxes whose
// subject names no address: the address the link carried may stand in its
// text.
bool ReadsWholeMessage(std::string_view header, const TInboxContext& context);
inline constexpr std::size_t kPrefixBytes = 256 * 1024;

// "Harter Rückläufer", "Weicher Rückläufer", "Abmeldung", "Beschwerde",
// "Automatische Antwort", "Sonstige".
const char* InboxKindText(TInboxKind kind);

} // namespace postello
