#include "send/PreSendCheck.h"

#include "addressdb/AddressDb.h"
#include "core/Cp1252.h"
#include "send/ListUnsubscribe.h"
#include "send/MergeFields.h"
#include "send/TResumePlan.h"
#include "smtp/TSMTPSend.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

namespace postello {
namespace {

// 1234567 as "1.234.567", as a German reader writes it.
std::string Thousands(std::int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += '.';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetDig(char c) { return IsAlpha(c) || IsDigit(c); }

bool IsAtext(char c) {
  return IsLetDig(c) || std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr;
}

bool IsDotString(std::string_view s) {
  if (s.empty() || s.front() == '.' || s.back() == '.') return false;
  char prev = 0;
  for (char c : s) {
    if (c == '.') {
      if (prev == '.') return false;
    } else if (c == 0 || !IsAtext(c)) {
      return false;
    }
    prev = c;
  }
  return true;
}

bool IsQuotedString(std::string_view s) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
  for (std::size_t i = 1; i + 1 < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '\\') {
      if (i + 2 >= s.size()) return false;  // the closing quote cannot be escaped
      const auto q = static_cast<unsigned char>(s[++i]);
      if (q < 32 || q > 126) return false;
    } else if (c < 32 || c > 126 || c == '"') {
      return false;
    }
  }
  return true;
}

// sub-domain = Let-dig [Ldh-str]: letters, digits and inner hyphens.
bool IsSubDomain(std::string_view s) {
  if (s.empty() || s.size() > 63 || !IsLetDig(s.front()) || !IsLetDig(s.back())) return false;
  return std::all_of(s.begin(), s.end(), [](char c) { return IsLetDig(c) || c == '-'; });
}

bool IsDomain(std::string_view s) {
  if (s.empty() || s.size() > 255) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = s.find('.', start);
    if (!IsSubDomain(s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start)))
      return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

bool IsSnum(std::string_view s) {
  if (s.empty() || s.size() > 3 || !std::all_of(s.begin(), s.end(), IsDigit)) return false;
  return std::stoi(std::string(s)) <= 255;
}

bool IsAddressLiteral(std::string_view s) {
  if (s.size() < 3 || s.front() != '[' || s.back() != ']') return false;
  const std::string_view inner = s.substr(1, s.size() - 2);
  if (inner.starts_with("IPv6:")) {
    const std::string text(inner.substr(5));
    unsigned char buf[16];
    return inet_pton(AF_INET6, text.c_str(), buf) == 1;
  }
  const std::size_t colon = inner.find(':');
  if (colon != std::string_view::npos) {
    // General-address-literal: a tag (Ldh-str ending in a letter or digit),
    // ":", then visible characters other than "[", "\" and "]".
    const std::string_view tag = inner.substr(0, colon), content = inner.substr(colon + 1);
    if (!IsSubDomain(tag) || content.empty()) return false;
    return std::all_of(content.begin(), content.end(), [](char c) {
      const auto b = static_cast<unsigned char>(c);
      return b >= 33 && b <= 126 && b != '[' && b != '\\' && b != ']';
    });
  }
  int parts = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = inner.find('.', start);
    if (!IsSnum(inner.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start)))
      return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts == 4;
}

const char* FileNoun(const TAttachRec& a) {
  return a.ContentId.empty() ? "Der Anhang" : "Das eingebettete Bild";
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The texts a message of the mail carries through the merge.
std::vector<const std::string*> MergedTexts(const TMailRec& mail) {
  std::vector<const std::string*> texts;
  if (const std::string* html = SentHtml(mail)) texts.push_back(html);
  texts.push_back(&mail.PlainText);
  return texts;
}

std::string ListNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) {
    if (!out.empty()) out += ", ";
    out += n;
  }
  return out;
}

} // namespace

int TPreSendReport::Count(TCheckKind kind) const {
  return static_cast<int>(
      std::count_if(Findings.begin(), Findings.end(), [kind](const TCheckFinding& f) { return f.Kind == kind; }));
}

std::string TPreSendReport::Text(std::size_t perKind) const {
  std::string out;
  std::map<TCheckKind, std::size_t> shown;
  for (const TCheckFinding& f : Findings) {
    const std::size_t n = ++shown[f.Kind];
    if (perKind == 0 || n <= perKind) out += f.Text + "\n";
    if (perKind != 0 && n == perKind + 1) {
      const int more = Count(f.Kind) - static_cast<int>(perKind);
      out += "... und " + std::to_string(more) + " weitere\n";
    }
  }
  for (const std::string& fact : Facts) out += fact + "\n";
  return out;
}

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

std::vector<std::string> PlaceholderNames(std::string_view text) {
  // The same scan as the merge: "[" and the character after it go
  // together unless that character is "%"; a name runs to the next "]".
  std::vector<std::string> names;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('[', i);
    if (open == std::string_view::npos || open + 1 >= text.size()) break;
    if (text[open + 1] != '%') {
      i = open + 2;
      continue;
    }
    const std::size_t close = text.find(']', open + 2);
    if (close == std::string_view::npos) break;
    names.emplace_back(text.substr(open + 2, close - open - 2));
    i = close + 1;
  }
  return names;
}

bool IsValidMailbox(std::string_view address) {
  if (address.empty() || address.size() > 254) return false;
  const std::size_t at = address.rfind('@');
  if (at == std::string_view::npos || at == 0) return false;
  const std::string_view local = address.substr(0, at), domain = address.substr(at + 1);
  if (local.size() > 64) return false;
  if (!IsDotString(local) && !IsQuotedString(local)) return false;
  return IsDomain(domain) || IsAddressLiteral(domain);
}

std::string FileProblem(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? "fehlt" : std::string("kann nicht gelesen werden: ") + std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "ist ein Ordner";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::string("kann nicht gelesen werden: ") + std::strerror(errno);
  char byte;
  const ssize_t n = ::read(fd, &byte, 1);
  const int error = errno;
  ::close(fd);
  if (n < 0) return std::string("kann nicht gelesen werden: ") + std::strerror(error);
  return {};
}

// Every attachment of the mail can be read, so a message can be composed.
bool AttachmentsReadable(const TMailRec& mail) {
  for (std::size_t i = 0; i < mail.Attachments.Count(); ++i)
    if (!FileProblem(mail.Attachments[i].FileName).empty()) return false;
  return true;
}

std::string FilterNote(const std::string& filterText) {
  if (filterText.empty()) return {};
  return "Filter aktiv: nur Datens\xE4tze mit \x84" + filterText + "\x93";
}

std::string BlockedNote(int blocked) {
  return std::to_string(blocked) + (blocked == 1 ? " Empf\xE4nger steht" : " Empf\xE4nger stehen") +
         " auf der Sperrliste und " + (blocked == 1 ? "wird" : "werden") + " \xFC" "bersprungen.";
}

TPreSendReport CheckBeforeSend(const TPreSendInput& in) {
  TPreSendReport report;
  const auto find = [&](TCheckKind kind, std::string text) { report.Findings.push_back({kind, std::move(text)}); };

  if (in.Mail != nullptr) {
    const TMailRec& mail = *in.Mail;
    // Placeholders, each name once, in the order they first appear.
    std::vector<std::string> names;
    std::set<std::string> seen;
    std::vector<const std::string*> texts = MergedTexts(mail);
    // The subject and the unsubscribe targets are merged like the texts
    // (the subject only when the mail says so).
    if (mail.MergeSubject) texts.push_back(&mail.Subject);
    texts.push_back(&mail.Unsubscribe);
    for (const std::string* text : texts)
      for (std::string& n : PlaceholderNames(*text))
        if (seen.insert(n).second) names.push_back(std::move(n));
    bool unknown = false;
    for (const std::string& n : names) {
      if (!in.Merges) {
        find(TCheckKind::UnmergedPlaceholder,
             "Der Platzhalter [%" + n + "] wird bei diesem Versand nicht ersetzt (" +
                 (in.BatchMode ? std::string("BCC") : std::string("Mail an einen Empf\xE4nger")) + ").");
        continue;
      }
      const bool known = std::any_of(in.FieldNames.begin(), in.FieldNames.end(),
                                     [&](const std::string& f) { return AddressKey(f) == AddressKey(n); });
      if (!known) {
        find(TCheckKind::UnknownPlaceholder, "Der Platzhalter [%" + n + "] nennt kein Feld der Tabelle.");
        unknown = true;
      }
    }
    if (unknown) report.Facts.push_back("Felder der Tabelle: " + ListNames(in.FieldNames));
    if (!mail.MergeSubject && HasPlaceholder(mail.Subject))
      find(TCheckKind::SubjectPlaceholder, kSubjectPlaceholderNote);
    if (std::string bad = CheckUnsubscribeText(mail.Unsubscribe); !bad.empty())
      find(TCheckKind::BadUnsubscribe, std::move(bad));

    for (std::size_t i = 0; i < mail.Attachments.Count(); ++i) {
      const TAttachRec& a = mail.Attachments[i];
      const std::string problem = FileProblem(a.FileName);
      if (problem.empty()) continue;
      find(problem == "fehlt" ? TCheckKind::MissingFile : TCheckKind::UnreadableFile,
           std::string(FileNoun(a)) + " " + Quoted(a.FileName) + " " + problem + ".");
    }
  }

  std::map<std::string, int> counts;
  std::vector<std::string> order;
  for (const std::string& address : in.Addresses) {
    const std::string mailbox = ExtractAddress(address);
    if (!IsValidMailbox(mailbox)) find(TCheckKind::InvalidAddress, "Keine g\xFCltige Adresse: " + Quoted(address));
    if (in.AddressWidth > 0 && address.size() == static_cast<std::size_t>(in.AddressWidth))
      find(TCheckKind::CutAddress, "Die Adresse " + Quoted(address) + " f\xFCllt ihr Feld (" +
                                       std::to_string(in.AddressWidth) + " Zeichen) ganz aus; sie ist wohl gek\xFCrzt.");
    if (++counts[AddressKey(mailbox)] == 2) order.push_back(AddressKey(mailbox));
  }
  for (const std::string& key : order)
    find(TCheckKind::DuplicateAddress,
         "Die Adresse " + Quoted(key) + " kommt " + std::to_string(counts[key]) + "-mal vor.");
  // Named by the row the address grid shows it in.
  for (std::uint32_t position : in.SkippedPositions)
    find(TCheckKind::SkippedRecord,
         "Die Zeile " + std::to_string(position + 1) + " hat keine Adresse und wird \xFC" "bergangen.");

  const bool limitKnown = in.ServerLimit > 0;
  if (in.LargestMessage >= 0 && limitKnown && in.LargestMessage > in.ServerLimit)
    find(TCheckKind::TooLarge, "Die gr\xF6\xDFte Nachricht (" + Thousands(in.LargestMessage) + " Bytes, an " +
                                   in.LargestAddress + ") ist gr\xF6\xDF" "er, als der Server annimmt (" +
                                   Thousands(in.ServerLimit) + " Bytes).");

  if (const std::string note = FilterNote(in.FilterText); !note.empty()) report.Facts.push_back(note + ".");
  const int people = static_cast<int>(in.Addresses.size());
  report.Facts.push_back(std::to_string(in.MessageCount) + (in.MessageCount == 1 ? " Nachricht an " : " Nachrichten an ") +
                         std::to_string(people) + (people == 1 ? " Empf\xE4nger." : " Empf\xE4nger."));
  if (in.Blocked > 0) report.Facts.push_back(BlockedNote(in.Blocked));
  std::string size = "Gr\xF6\xDFte Nachricht: ";
  size += in.LargestMessage >= 0 ? Thousands(in.LargestMessage) + " Bytes" : std::string("unbekannt");
  size += limitKnown ? "; der Server nimmt h\xF6" "chstens " + Thousands(in.ServerLimit) + " Bytes an."
                     : "; die Grenze des Servers ist nicht bekannt.";
  report.Facts.push_back(size);
  return report;
}

TPreSendReport CheckRun(ZIzorAvarivi2000& msg, TDbf& table, const TSendChoice& choice, const TRecipientList& rows,
                        const std::vector<std::uint32_t>& skipped, TKontoList& konten, TMailList& mails,
                        std::int64_t serverLimit, long mailField, const TSpamCheck* spam,
                        const std::string& dataDir) {
  TPreSendInput in;
  TSendRun run(msg, table);
  run.BlockListDir = dataDir;
  run.Start(choice, rows, konten, mails);
  run.Abort();
  const TMailRec& mail = mails[static_cast<std::size_t>(choice.MailIndex)];
  in.Mail = &mail;
  in.BatchMode = run.BatchMode();
  // A test mail goes to a typed address, merged with the chosen record
  // when there is one; the list's recipients are not its business.
  const bool test = choice.Kind == TJournalRunKind::Test;
  in.Merges = test ? !choice.SelectedRows.empty() && choice.SelectedRows.front() < rows.size()
                   : !run.BatchMode() && choice.Recipients != TRecipientChoice::One;
  in.Addresses = run.RecipientAddresses();
  in.MessageCount = run.MessageCount();
  in.Blocked = run.BlockedCount();
  in.ServerLimit = serverLimit;
  if (!test && choice.Recipients == TRecipientChoice::All) in.SkippedPositions = skipped;
  if (!test && choice.Recipients != TRecipientChoice::One) in.FilterText = choice.FilterText;
  try {
    if (table.Active()) in.FieldNames = FieldNamesOf(table);
    if (table.Active() && mailField >= 0 && mailField < table.FieldCount() && table.Field(mailField).Type == 'C')
      in.AddressWidth = table.Field(static_cast<int>(mailField)).Width;
  } catch (const std::exception&) {
  }

  // The largest message: in a merging run the one whose merged texts are
  // longest (the body's encoding grows with the text alone), otherwise
  // the first (every message has the same body). Composed as the run
  // would, nothing sent.
  if (AttachmentsReadable(mail)) {
    TSendChoice probe = choice;
    if (in.Merges && !test) {
      std::vector<std::size_t> runRows;
      if (choice.Recipients == TRecipientChoice::All) {
        for (std::size_t i = 0; i < rows.size(); ++i) runRows.push_back(i);
      } else {
        runRows = choice.SelectedRows;
        std::sort(runRows.begin(), runRows.end());
        runRows.erase(std::unique(runRows.begin(), runRows.end()), runRows.end());
        runRows.erase(std::remove_if(runRows.begin(), runRows.end(), [&](std::size_t r) { return r >= rows.size(); }),
                      runRows.end());
      }
      std::size_t best = runRows.front(), bestLength = 0;
      for (std::size_t r : runRows) {
        std::size_t length = rows[r].Address.size();
        for (const std::string* text : MergedTexts(mail)) length += MergeFields(*text, table, rows[r].Position).size();
        if (length > bestLength) {
          bestLength = length;
          best = r;
        }
      }
      probe.Recipients = TRecipientChoice::Selected;
      probe.SelectedRows = {best};
    }
    TSendRun sizeRun(msg, table);
    try {
      sizeRun.Start(probe, rows, konten, mails);
      if (const std::optional<TOutgoingMail> m = sizeRun.NextMessage(); m && m->Deliverable) {
        std::int64_t size = 0;
        for (const std::string& item : m->Data) size += static_cast<std::int64_t>(item.size()) + 2;
        in.LargestMessage = size;
        in.LargestAddress = m->LogAddress;
      }
    } catch (const std::exception&) {
      // A file that went away meanwhile: the size stays unknown.
    }
    sizeRun.Abort();
  }
  TPreSendReport report = CheckBeforeSend(in);
  if (spam)
    if (const std::optional<std::string> first = FirstMessageText(msg, table, choice, rows, konten, mails))
      AddSpamVerdict(report, spam->Check(*first));
  return report;
}

std::optional<std::string> FirstMessageText(ZIzorAvarivi2000& msg, TDbf& table, const TSendChoice& choice,
                                            const TRecipientList& rows, TKontoList& konten, TMailList& mails) {
  std::optional<std::string> text;
  if (choice.MailIndex < 0 || static_cast<std::size_t>(choice.MailIndex) >= mails.Count()) return text;
  const TMailRec& mail = mails[static_cast<std::size_t>(choice.MailIndex)];
  if (!AttachmentsReadable(mail)) return text;
  TSendRun firstRun(msg, table);
  try {
    firstRun.Start(choice, rows, konten, mails);
    if (const std::optional<TOutgoingMail> m = firstRun.NextMessage(); m && m->Deliverable) text = m->MessageText();
  } catch (const std::exception&) {
    // A file that went away meanwhile: without the message there is
    // nothing to rate.
  }
  firstRun.Abort();
  return text;
}

void AddSpamVerdict(TPreSendReport& report, const TSpamVerdict& verdict) {
  if (verdict.Spam) report.Findings.push_back({TCheckKind::SpamScore, verdict.Lines.front()});
  for (std::size_t i = verdict.Spam ? 1 : 0; i < verdict.Lines.size(); ++i) report.Facts.push_back(verdict.Lines[i]);
}

} // namespace postello
