#include "send/TSendRun.h"

#include "core/CountedNoun.h"
#include "core/ProgDir.h"
#include "core/SafeFile.h"
#include "core/TMailIdStore.h"

#include "mime/DateHeader.h"
#include "send/ListUnsubscribe.h"
#include "send/MergeFields.h"
#include "send/MessageId.h"
#include "send/TBlockList.h"
#include "send/TResumePlan.h"

#include "core/StoredDateTime.h"

#include <algorithm>
#include <cmath>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace postello {
namespace {

std::string TrimBlanks(const std::string& s) {
  const std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The box allows 1 to 100; anything else (a value set from code) is
// brought into that range, so a batch never has size 0.
int WholeBatchSize(double value) {
  if (!(value >= 1)) return 1;
  if (value >= 100) return 100;
  return static_cast<int>(std::trunc(value));
}

// Every message allocates and frees buffers of a few hundred kilobytes
// (attachment copies, the rendered body, the SMTP data). With the C
// library's defaults, freed memory of that size goes back to the system
// after each message and returns as fresh zeroed pages for the next one,
// which costs about a third of a run's processor time. Kept in the
// process, it is bounded by what the largest message needs.
void KeepFreedMemory() {
#if defined(__GLIBC__)
  static const bool done = [] {
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    return true;
  }();
  (void)done;
#endif
}

} // namespace

void TSendChoice::TakeRecipients(const TResumePlan& plan) {
  Recipients = TRecipientChoice::Selected;
  SelectedRows = plan.Rows;
}

TSendRun::TSendRun(ZIzorAvarivi2000& msg, TDbf& table) : Msg(msg), Table1(table) { KeepFreedMemory(); }

void TSendRun::Start(const TSendChoice& choice, const TRecipientList& rows, TKontoList& konten,
                     TMailList& mails) {
  if (FSending) throw std::logic_error("Es l\xE4uft bereits ein Versand.");

  std::vector<std::string> addresses;
  std::vector<std::int64_t> positions;
  std::vector<std::uint32_t> recNos;
  const bool test = choice.Kind == TJournalRunKind::Test;
  switch (test ? TRecipientChoice::One : choice.Recipients) {
    case TRecipientChoice::All:
      for (const TRecipientRow& row : rows) {
        addresses.push_back(row.Address);
        positions.push_back(row.Position);
        recNos.push_back(row.RecNo);
      }
      break;
    case TRecipientChoice::Selected: {
      std::vector<std::size_t> selected = choice.SelectedRows;
      std::sort(selected.begin(), selected.end());
      selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
      for (std::size_t i : selected) {
        if (i >= rows.size()) continue;
        addresses.push_back(rows[i].Address);
        positions.push_back(rows[i].Position);
        recNos.push_back(rows[i].RecNo);
      }
      break;
    }
    case TRecipientChoice::One: {
      const std::string typed = TrimBlanks(test ? choice.TestAddress : choice.TypedAddress);
      if (!typed.empty()) {
        addresses.push_back(typed);
        positions.push_back(-1);
        recNos.push_back(0);
        // A test mail carries the fields of the chosen record.
        if (test && !choice.SelectedRows.empty() && choice.SelectedRows.front() < rows.size()) {
          positions.back() = rows[choice.SelectedRows.front()].Position;
          recNos.back() = rows[choice.SelectedRows.front()].RecNo;
        }
      }
      break;
    }
  }
  // Addresses of the block list are left out of every run from the list,
  // whatever started it; an address typed in by hand is the user's own
  // choice.
  std::vector<TJournalEntry> blocked;
  const std::string& blockDir = BlockListDir.empty() ? JournalDir : BlockListDir;
  if (!blockDir.empty() && !test && choice.Recipients != TRecipientChoice::One && !addresses.empty()) {
    TBlockList list;
    try {
      list = TBlockList::Load(blockDir);
    } catch (const EBlockListError& e) {
      throw ESendRefused(e.what());
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      if (list.Contains(addresses[i])) {
        TJournalEntry e;
        e.Addresses = {addresses[i]};
        e.RecNos = {recNos[i]};
        e.Result = TJournalResult::Blocked;
        blocked.push_back(std::move(e));
        continue;
      }
      if (kept != i) {
        addresses[kept] = std::move(addresses[i]);
        positions[kept] = positions[i];
        recNos[kept] = recNos[i];
      }
      ++kept;
    }
    addresses.resize(kept);
    positions.resize(kept);
    recNos.resize(kept);
    if (addresses.empty()) throw ESendRefused(kAllBlocked);
  }
  if (addresses.empty()) throw ESendRefused(kNoRecipients);
  if (choice.KontoIndex < 0 || static_cast<std::uint32_t>(choice.KontoIndex) >= konten.Count())
    throw ESendRefused(kNoAccount);
  if (choice.MailIndex < 0 || static_cast<std::uint32_t>(choice.MailIndex) >= mails.Count())
    throw ESendRefused(kNoMail);

  if (!JournalDir.empty()) {
    // The journal names the mail by an identity that outlives saving it.
    try {
      TMailIdStore::Assign(WithTrailingSlash(JournalDir), mails,
                           static_cast<std::size_t>(choice.MailIndex));
    } catch (const ESaveError& e) {
      throw ESendRefused(e.what());
    }
  }
  FKonto = *konten.Select(choice.KontoIndex);
  FMail = *mails.Select(choice.MailIndex);
  FAttachments.assign(FMail.Attachments.Count(), std::nullopt);
  FAddresses = std::move(addresses);
  FRows = std::move(positions);
  FRecNos = std::move(recNos);
  FOneRecipient = test ? FRows.front() < 0 : choice.Recipients == TRecipientChoice::One;
  FSubjectPrefix = test ? "[Test] " : "";
  FBatchMode = !test && choice.BatchMode;
  FBatchSize = FBatchMode ? WholeBatchSize(choice.BccCount) : 1;
  const int n = static_cast<int>(FAddresses.size());
  FMessageCount = FBatchMode ? (n - 1) / FBatchSize + 1 : n;
  FNext = 0;
  FProcessed = 0;
  FProgress = 0;
  FOutstanding = 0;
  FFinished.assign(static_cast<std::size_t>(FMessageCount), false);
  FFailedCount = 0;
  FCancelled = false;
  FInterrupted = false;
  FHalted = false;
  FHaltReason.clear();
  FConnectFailures = 0;
  FCancelRequested = false;
  FDataEndRecorded.clear();
  FMessageIds.clear();
  FJournal.reset();
  FJournalPath.clear();
  FBlockedCount = static_cast<int>(blocked.size());
  if (!JournalDir.empty()) {
    OpenJournal(choice);
    try {
      for (TJournalEntry& e : blocked) FJournal->Record(std::move(e));
    } catch (const EJournalError& e) {
      FJournal.reset();
      FAttachments.clear();
      throw ESendRefused(e.what());
    }
  }
  FSending = true;
}

TJournalMessage TSendRun::PlannedMessage(int m) const {
  const std::size_t first = static_cast<std::size_t>(m) * static_cast<std::size_t>(FBatchSize);
  const std::size_t last = std::min(first + static_cast<std::size_t>(FBatchSize), FAddresses.size());
  TJournalMessage message;
  message.Nr = m + 1;
  message.Addresses.assign(FAddresses.begin() + static_cast<std::ptrdiff_t>(first),
                           FAddresses.begin() + static_cast<std::ptrdiff_t>(last));
  message.RecNos.assign(FRecNos.begin() + static_cast<std::ptrdiff_t>(first),
                        FRecNos.begin() + static_cast<std::ptrdiff_t>(last));
  return message;
}

void TSendRun::OpenJournal(const TSendChoice& choice) {
  TJournalRunInfo info;
  info.Kind = choice.Kind;
  info.Subject = FMail.Subject;
  info.MailDate = DateTimeToText(FMail.Date);
  info.MailId = FMail.Id;
  info.Account = FKonto.Absender + " <" + FKonto.Email + ">";
  info.Server = FKonto.Server;
  info.BatchMode = FBatchMode;
  info.BatchSize = FBatchSize;
  const bool typed = choice.Kind == TJournalRunKind::Test || choice.Recipients == TRecipientChoice::One;
  info.Recipients = typed ? kJournalTypedRecipient
                          : choice.Recipients == TRecipientChoice::All ? kJournalAllRecipients
                                                                       : kJournalSelectedRecipients;
  if (!typed || !FOneRecipient) {
    info.Filter = choice.FilterText;
    info.Database = choice.DatabaseFile;
  }
  info.MessageCount = FMessageCount;
  info.Continues = choice.Continues;
  std::vector<TJournalMessage> plan;
  plan.reserve(static_cast<std::size_t>(FMessageCount));
  for (int m = 0; m < FMessageCount; ++m) plan.push_back(PlannedMessage(m));
  try {
    FJournal = std::make_unique<TSendJournal>(JournalDir, std::move(info), plan);
  } catch (const EJournalError& e) {
    // Sending without a record of what was sent is not allowed.
    FAttachments.clear();
    throw ESendRefused(e.what());
  }
  FJournalPath = FJournal->Path();
}

std::optional<TOutgoingMail> TSendRun::NextMessage() {
  if (!FSending) return std::nullopt;
  if (OnIdle) OnIdle();
  // The run ends only once every message handed out has its result.
  if (FInterrupted) {
    if (FOutstanding == 0) EndRun(true);
    return std::nullopt;
  }
  // A request that comes with the last message stops nothing: the run is
  // complete, not cancelled.
  if (FNext >= FMessageCount) {
    if (FOutstanding == 0) EndRun(false);
    return std::nullopt;
  }
  if (FCancelRequested || FHalted) {
    if (FOutstanding == 0) EndRun(!FHalted);
    return std::nullopt;
  }
  const int m = FNext++;
  ++FOutstanding;
  const std::size_t first = static_cast<std::size_t>(m) * static_cast<std::size_t>(FBatchSize);
  const std::size_t last = std::min(first + static_cast<std::size_t>(FBatchSize), FAddresses.size());

  TOutgoingMail out;
  out.Index = m;
  out.Sender = FKonto.Email;
  out.Server = FKonto.Server;
  out.User = FKonto.User;
  out.LogAddress = FAddresses[first];
  for (std::size_t i = first; i < last; ++i) {
    if (i > first) out.Recipients += ", ";
    out.Recipients += FAddresses[i];
    // A line end in an address would reach the SMTP commands or the To
    // header; such a message is not sent at all.
    if (HasControlCharacter(FAddresses[i])) out.Deliverable = false;
  }
  if (!out.Deliverable) return out;
  out.Password = DeCodePassw(FKonto.Password);
  Compose(m, out);
  if (FJournal) {
    auto recorded = std::make_shared<std::atomic<bool>>(false);
    FDataEndRecorded[m] = recorded;
    out.BeforeDataEnd = [journal = FJournal.get(), message = PlannedMessage(m), id = FMessageIds[m], done = recorded] {
      try {
        journal->RecordDataEnd(message, id);
      } catch (const EJournalError&) {
        return false;
      }
      *done = true;
      return true;
    };
  }
  return out;
}

void TSendRun::Compose(int m, TOutgoingMail& out) {
  Msg.ClearMessage();
  Msg.SetSender(FKonto.Absender, FKonto.Email);
  Msg.SetReplyAddress(FKonto.Absender, FKonto.Antwort);
  const bool merge = !FBatchMode && !FOneRecipient;
  // A field value may hold a line break; in the subject it would end the
  // header, so it becomes a blank.
  Msg.SetSubjectLine(FSubjectPrefix + (FMail.MergeSubject && merge
                                           ? OneLine(MergeFields(FMail.Subject, Table1, FRows[static_cast<std::size_t>(m)]))
                                           : FMail.Subject));
  Msg.SetSendDate(TMailDateTime::Now());
  // Kept for the journal, where a returned bounce finds its message by it.
  std::string& messageId = FMessageIds[m];
  messageId = MakeMessageId(FKonto.Email);
  Msg.SetHeaderValueAfter("Message-ID", messageId, "Date");
  if (!FMail.Unsubscribe.empty()) {
    std::vector<std::string> targets = SplitUnsubscribeTargets(FMail.Unsubscribe);
    if (merge)
      for (std::string& t : targets) t = MergeFields(t, Table1, FRows[static_cast<std::size_t>(m)]);
    Msg.SetHeaderValueAfter("List-Unsubscribe", ListUnsubscribeValue(targets), "Message-ID");
    if (HasOneClickTarget(targets))
      Msg.SetHeaderValueAfter("List-Unsubscribe-Post", "List-Unsubscribe=One-Click", "List-Unsubscribe");
  }
  Msg.ToRecipients.RemoveAll();
  // A batch message names its recipients only in the envelope; the empty
  // group keeps it from looking like a message without recipient header.
  if (!FBatchMode)
    Msg.ToRecipients.AddAddress("", FAddresses[static_cast<std::size_t>(m)]);
  else if (FMail.BccToLine)
    Msg.SetHeaderValue("To", "undisclosed-recipients:;");
  Msg.BccRecipients.RemoveAll();

  const std::string* html = SentHtml(FMail);
  if (html) Msg.SetHtmlBody(html->empty() ? std::string(" ") : MergedText(*html, m));
  Msg.SetPlainBody(FMail.PlainText.empty() ? std::string(" ") : MergedText(FMail.PlainText, m));

  for (std::size_t i = 0; i < FMail.Attachments.Count(); ++i) {
    const TAttachRec& a = FMail.Attachments[i];
    Msg.AddAttachmentBytes(AttachmentBytes(i), a.FileName, "", !a.ContentId.empty());
  }
  Msg.ComposeBody();
  // One copy of the body: an initializer list would copy it twice.
  out.Data.reserve(2);
  out.Data.push_back(Msg.HeaderText());
  out.Data.push_back(Msg.EncodedBody);
}

std::string TSendRun::MergedText(const std::string& text, int m) {
  std::string merged = FBatchMode || FOneRecipient
                           ? text
                           : MergeFields(text, Table1, FRows[static_cast<std::size_t>(m)]);
  // The message takes no empty text: a mail made only of empty fields
  // still gets its part, holding one blank.
  if (merged.empty()) merged = " ";
  return merged;
}

const TAttachmentBytes& TSendRun::AttachmentBytes(std::size_t i) {
  // Read and encoded at the first message that needs the file, then the
  // same bytes serve every further message of the run.
  if (!FAttachments[i])
    FAttachments[i] = ZIzorAvarivi2000::ReadAttachmentBytes(FMail.Attachments[i].FileName, Msg.AttachEncoding);
  return *FAttachments[i];
}

void TSendRun::Log(const std::string& line) {
  FErrorLog.push_back(line);
  if (OnErrorLog) OnErrorLog(line);
}

void TSendRun::Finish(const TOutgoingMail& mail, const TSendResult& result) {
  if (result.Cancelled) {
    FInterrupted = true;
    FCancelRequested = true;
  }
  if (!result.Delivered) {
    std::string line = kLogPrefix + mail.LogAddress;
    if (!result.Reason.empty()) line += ": " + result.Reason;
    ++FFailedCount;
    Log(OneLine(line));
  }
  if (result.Delivered || (!result.Cancelled && !result.ConnectFailed && !result.LoginRefused)) FConnectFailures = 0;
  if (!result.Delivered && !result.Cancelled && !FHalted) {
    if (result.ConnectFailed) ++FConnectFailures;
    if (result.LoginRefused || FConnectFailures >= MaxConnectFailures) {
      FHalted = true;
      FHaltReason = OneLine(result.Reason);
      Log(kHaltPrefix + FHaltReason);
    }
  }
  // Messages may come back in any order when several sessions deliver.
  if (mail.Index >= 0 && mail.Index < FMessageCount && !FFinished[static_cast<std::size_t>(mail.Index)]) {
    FFinished[static_cast<std::size_t>(mail.Index)] = true;
    ++FProcessed;
    if (FOutstanding > 0) --FOutstanding;
  }
  FProgress = FMessageCount > 0 ? static_cast<int>(static_cast<long long>(FProcessed) * 100 / FMessageCount) : 0;
  FStatus = CountedNoun(static_cast<std::size_t>(FProcessed), "Mail", "Mails") + " von " +
            std::to_string(FMessageCount) + " verarbeitet " + std::to_string(FFailedCount) + " fehlgeschlagen.";
  if (OnProgress) OnProgress();
  if (FJournal) {
    TJournalEntry entry;
    const TJournalMessage message = PlannedMessage(mail.Index);
    entry.Nr = message.Nr;
    entry.Addresses = message.Addresses;
    entry.RecNos = message.RecNos;
    entry.Reason = result.Reason;
    if (result.Delivered)
      entry.Result = TJournalResult::Sent;
    else if (result.Uncertain)
      entry.Result = TJournalResult::Uncertain;
    else if (result.Cancelled)
      entry.Result = TJournalResult::NotSent;  // stopped before the end of its data
    else
      entry.Result = TJournalResult::Failed;
    FDataEndRecorded.erase(mail.Index);
    if (const auto id = FMessageIds.find(mail.Index); id != FMessageIds.end()) {
      entry.MessageId = std::move(id->second);
      FMessageIds.erase(id);
    }
    FJournal->Record(std::move(entry));
  }
}

void TSendRun::CloseJournal(bool stopped, const std::string& reason) {
  // Taken out first: whatever fails below, the journal is done with.
  const std::unique_ptr<TSendJournal> journal = std::move(FJournal);
  if (!journal) return;
  // A message whose end of data went out keeps its "unsicher" line.
  std::vector<bool> keep = FFinished;
  for (const auto& [m, recorded] : FDataEndRecorded)
    if (*recorded && m < FMessageCount) keep[static_cast<std::size_t>(m)] = true;
  FDataEndRecorded.clear();
  for (int m = 0; m < FMessageCount; ++m) {
    if (keep[static_cast<std::size_t>(m)]) continue;
    TJournalEntry entry;
    const TJournalMessage message = PlannedMessage(m);
    entry.Nr = message.Nr;
    entry.Addresses = message.Addresses;
    entry.RecNos = message.RecNos;
    entry.Result = TJournalResult::NotSent;
    entry.Reason = reason;
    if (const auto id = FMessageIds.find(m); id != FMessageIds.end()) entry.MessageId = id->second;
    journal->Record(std::move(entry));
  }
  journal->RecordEnd(stopped ? "abgebrochen" : "abgeschlossen",
                      std::to_string(FProcessed) + " von " + std::to_string(FMessageCount) + " verarbeitet, " +
                          std::to_string(FFailedCount) + " fehlgeschlagen" + (reason.empty() ? "" : "; " + reason));
  journal->Close();
}

void TSendRun::EndRun(bool cancelled) {
  if (cancelled) Log(kCancelledLine);
  // The bar keeps what was done: full after a finished run.
  FCancelled = cancelled;
  FSending = false;
  FAttachments.clear();
  if (OnProgress) OnProgress();
  // Last, so that the run has ended whatever the journal does.
  CloseJournal(cancelled || FHalted, cancelled  ? std::string("Versand abgebrochen")
                                     : FHalted ? kHaltPrefix + FHaltReason
                                               : std::string());
}

void TSendRun::Abort(const std::string& reason) {
  FSending = false;
  FAttachments.clear();
  try {
    CloseJournal(true, reason.empty() ? std::string("Versand wegen eines Fehlers beendet") : OneLine(reason));
  } catch (const EJournalError&) {
    // The run is already ending for another reason, which the caller shows.
  }
}

void TSendRun::Run(const TSendChoice& choice, const TRecipientList& rows, TKontoList& konten, TMailList& mails,
                   const TDeliver& deliver) {
  Start(choice, rows, konten, mails);
  try {
    while (std::optional<TOutgoingMail> mail = NextMessage()) {
      Finish(*mail, mail->Deliverable ? deliver(*mail) : TSendResult::Failed(kControlCharacterReason));
    }
  } catch (const std::exception& e) {
    Abort(e.what());
    throw;
  } catch (...) {
    Abort();
    throw;
  }
}

} // namespace postello
