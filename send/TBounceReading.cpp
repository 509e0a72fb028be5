#include "send/TBounceReading.h"

#include "core/CountedNoun.h"
#include "imap/TImapMailbox.h"
#include "send/ListUnsubscribe.h"
#include "send/TBlockList.h"
#include "send/TJournalIndex.h"
#include "send/TReplyLog.h"
#include "send/TSendJournal.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

namespace postello {
namespace {

bool Blocking(TInboxKind kind) {
  return kind == TInboxKind::HardBounce || kind == TInboxKind::SoftBounce || kind == TInboxKind::Unsubscribe ||
         kind == TInboxKind::Complaint;
}

const char* SourceOf(TInboxKind kind) {
  switch (kind) {
    case TInboxKind::Unsubscribe: return "Abmeldung";
    case TInboxKind::Complaint: return "Beschwerde";
    default: return "R\xFC" "ckl\xE4ufer";
  }
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

// The reason of one recipient of a report naming several: its own status
// and text, since the report's reason speaks of its first.
std::string ReasonOf(const TInboxVerdict& v, const TInboxRecipient& r) {
  if (v.Recipients.size() < 2 || r.Status.empty()) return v.Reason;
  return r.Diagnostic.empty() ? r.Status : r.Status + " " + r.Diagnostic;
}

// A report on several recipients has one kind; each recipient's own
// status says whether its failure is for good.
TInboxKind KindOf(const TInboxVerdict& v, const TInboxRecipient& r) {
  if (v.Kind != TInboxKind::HardBounce && v.Kind != TInboxKind::SoftBounce) return v.Kind;
  if (r.Action == "delayed" || r.Status.starts_with('4')) return TInboxKind::SoftBounce;
  if (r.Status.starts_with('5')) return TInboxKind::HardBounce;
  return v.Kind;
}

struct TTarget {
  std::string Address, Reason;
  TInboxKind Kind;
};

struct TSorted {
  std::uint32_t Uid = 0;
  TInboxVerdict Verdict;
};

} // namespace

std::string TBounceRow::ActionText() const {
  switch (Action) {
    case TBounceAction::Block: return "wird gesperrt";
    case TBounceAction::Count:
      // Only a known run counts towards the block.
      if (Run.empty()) return "Lauf unbekannt, z\xE4hlt nicht";
      return "gez\xE4hlt (" + std::to_string(SoftRuns) + " von " + std::to_string(TBounceReading::kSoftBounceRuns) +
             " L\xE4ufen)";
    case TBounceAction::Listed: return "bereits gesperrt";
    case TBounceAction::Processed: return "bereits \xFC" "bernommen";
    case TBounceAction::Leave: return "bleibt liegen";
    case TBounceAction::Unrecognised: return "nicht erkannt";
  }
  return "";
}

std::size_t TBounceResult::MovingMessages() const {
  std::size_t n = 0;
  for (std::size_t i = 0; i < Rows.size(); ++i)
    if (Rows[i].Moves() && (i == 0 || Rows[i - 1].Uid != Rows[i].Uid)) ++n;
  return n;
}

std::string TBounceResult::CountsText() const {
  std::string out;
  const auto add = [&](const std::string& what, int n) {
    if (n == 0) return;
    if (!out.empty()) out += ", ";
    out += what + ": " + std::to_string(n);
  };
  for (TInboxKind k : {TInboxKind::HardBounce, TInboxKind::SoftBounce, TInboxKind::Unsubscribe, TInboxKind::Complaint,
                       TInboxKind::AutoReply, TInboxKind::Other}) {
    const auto it = Counts.find(k);
    add(InboxKindText(k), it == Counts.end() ? 0 : it->second);
  }
  add("nicht erkannt", Unrecognised);
  add("bereits \xFC" "bernommen", Processed);
  return out.empty() ? std::string("Keine Nachrichten") : out;
}

std::string TBounceResult::ReadText() const {
  return CountedNoun(static_cast<std::size_t>(Messages), "Nachricht", "Nachrichten") + " gelesen: " + CountsText() + ".";
}

std::string TBounceApplied::Text(const std::string& doneFolder) const {
  return CountedNoun(static_cast<std::size_t>(Blocked), "Adresse", "Adressen") + " auf die Sperrliste gesetzt, " +
         CountedNoun(static_cast<std::size_t>(Moved), "Nachricht", "Nachrichten") + " nach \"" + doneFolder +
         "\" verschoben";
}

TBounceReading::TBounceReading(std::string dataDir, TInboxContext context)
    : FDataDir(std::move(dataDir)), FContext(std::move(context)) {}

TInboxContext TBounceReading::ContextOf(const TMailList& mails) {
  std::vector<std::string> unsubscribe;
  for (std::uint32_t i = 0; i < mails.Count(); ++i) unsubscribe.push_back(mails[i].Unsubscribe);
  return ContextOf(unsubscribe);
}

TInboxContext TBounceReading::ContextOf(const std::vector<std::string>& unsubscribeTexts) {
  TInboxContext context;
  for (const std::string& text : unsubscribeTexts)
    for (const std::string& target : SplitUnsubscribeTargets(text)) {
      if (!StartsWithNoCase(target, "mailto:")) continue;
      std::string mailbox = target.substr(7, target.find('?') == std::string::npos ? std::string::npos : target.find('?') - 7);
      // A placeholder makes a different mailbox per recipient; none of them is known here.
      if (mailbox.empty() || mailbox.find("[%") != std::string::npos || mailbox.find('@') == std::string::npos) continue;
      if (std::find(context.UnsubscribeMailboxes.begin(), context.UnsubscribeMailboxes.end(), mailbox) ==
          context.UnsubscribeMailboxes.end())
        context.UnsubscribeMailboxes.push_back(std::move(mailbox));
    }
  return context;
}

TBounceResult TBounceReading::Read(TMailFolder& folder) {
  TBounceResult result;
  result.UidValidity = folder.UidValidity();
  const std::size_t total = folder.Count();
  std::size_t done = 0;
  const auto progress = [&] {
    if (OnProgress) OnProgress(++done, total);
  };

  // Headers first, in the folder's batches; only what the header cannot
  // decide is fetched again, its leading part alone.
  std::vector<TSorted> sorted;
  std::vector<std::uint32_t> whole;
  folder.FetchHeaders([&](std::vector<TMailItem>&& batch) {
    for (TMailItem& item : batch) {
      if (Cancelled()) return false;
      if (NeedsWholeMessage(item.Header, FContext)) {
        whole.push_back(item.Uid);
        continue;
      }
      sorted.push_back({item.Uid, Classify(item.Header, FContext)});
      progress();
    }
    return !Cancelled();
  });
  for (std::size_t at = 0; at < whole.size() && !Cancelled(); at += kPrefixBatch) {
    const std::vector<std::uint32_t> uids(whole.begin() + static_cast<std::ptrdiff_t>(at),
                                          whole.begin() + static_cast<std::ptrdiff_t>(std::min(at + kPrefixBatch, whole.size())));
    for (auto& [uid, bytes] : folder.FetchPrefixes(uids, kPrefixBytes)) {
      if (Cancelled()) break;
      sorted.push_back({uid, Classify(bytes, FContext)});
      std::string().swap(bytes);
      progress();
    }
  }
  result.Cancelled = Cancelled();
  std::sort(sorted.begin(), sorted.end(), [](const TSorted& a, const TSorted& b) { return a.Uid < b.Uid; });

  std::vector<std::string> wanted;
  for (const TSorted& s : sorted)
    if (Blocking(s.Verdict.Kind) && !s.Verdict.ReturnedMessageId.empty()) wanted.push_back(s.Verdict.ReturnedMessageId);
  const TJournalIndex index = TJournalIndex::Build(FDataDir, wanted);
  const TReplyLog log = TReplyLog::Load(FDataDir);
  const TBlockList blocks = TBlockList::Load(FDataDir);
  std::unordered_set<std::string> blockedNow;  // keys this reading blocks
  const std::string softKind = InboxKindText(TInboxKind::SoftBounce);
  std::unordered_map<std::string, std::vector<std::string>> softRuns = log.SoftBounceRuns(softKind);
  std::unordered_set<std::string> reportsNow;

  for (const TSorted& s : sorted) {
    const TInboxVerdict& v = s.Verdict;
    ++result.Messages;
    TBounceRow row;
    row.Uid = s.Uid;
    row.Kind = v.Kind;
    row.Date = v.Date;
    row.ReportId = TJournalIndex::Key(v.MessageId);
    if (row.ReportId.empty())
      row.ReportId = "uid:" + std::to_string(result.UidValidity) + ":" + std::to_string(s.Uid);
    if (!Blocking(v.Kind)) {
      row.Address = v.From;
      row.Reason = v.Reason.empty() ? v.Subject : v.Reason;
      ++result.Counts[v.Kind];
      result.Rows.push_back(std::move(row));
      continue;
    }
    const TJournalHit* hit = v.ReturnedMessageId.empty() ? nullptr : index.Find(v.ReturnedMessageId);
    std::vector<TTarget> targets;
    for (const TInboxRecipient& r : v.Recipients)
      if (!r.Address.empty()) targets.push_back({r.Address, ReasonOf(v, r), KindOf(v, r)});
    // A report without a status part: the journal knows whom the returned
    // message went to; a batch message went to many, of whom the report
    // does not say which one failed.
    if (targets.empty() && hit != nullptr && hit->Addresses.size() == 1)
      targets.push_back({hit->Addresses[0], v.Reason, v.Kind});
    if (targets.empty())
      for (const std::string& a : v.ReturnedTo) targets.push_back({a, v.Reason, v.Kind});
    if (targets.empty()) {
      row.Action = TBounceAction::Unrecognised;
      row.Reason = v.Reason.empty() ? std::string("Empf\xE4nger nicht gefunden") : v.Reason;
      ++result.Unrecognised;
      result.Rows.push_back(std::move(row));
      continue;
    }
    const bool processed = log.Holds(row.ReportId) || !reportsNow.insert(row.ReportId).second;
    ++(processed ? result.Processed : result.Counts[v.Kind]);
    if (hit != nullptr) {
      row.Run = hit->File;
      row.RunStart = hit->RunStart;
    }
    for (const auto& [address, reason, kind] : targets) {
      TBounceRow r = row;
      r.Address = address;
      r.Reason = reason;
      r.Kind = kind;
      if (hit != nullptr) r.RecNo = hit->RecNoOf(address);
      const std::string key = TBlockList::Key(address);
      if (processed) {
        r.Action = TBounceAction::Processed;
      } else if (kind == TInboxKind::SoftBounce) {
        std::vector<std::string>& runs = softRuns[key];
        if (!r.Run.empty() && std::find(runs.begin(), runs.end(), r.Run) == runs.end()) runs.push_back(r.Run);
        r.SoftRuns = static_cast<int>(runs.size());
        r.Action = r.SoftRuns >= kSoftBounceRuns ? TBounceAction::Block : TBounceAction::Count;
      } else {
        r.Action = TBounceAction::Block;
      }
      if (r.Action == TBounceAction::Block && (blocks.Contains(key) || !blockedNow.insert(key).second))
        r.Action = TBounceAction::Listed;
      result.Rows.push_back(std::move(r));
    }
  }
  return result;
}

TBounceApplied TBounceReading::Apply(TMailFolder& folder, const TBounceResult& result, const std::string& doneFolder) {
  TBounceApplied applied;
  // A reading cut short may have missed a message's earlier reports.
  if (result.Cancelled) {
    applied.Cancelled = true;
    return applied;
  }
  struct TMessage {
    std::size_t First, End;  // its rows
  };
  std::vector<TMessage> messages;
  for (std::size_t i = 0; i < result.Rows.size();) {
    std::size_t end = i + 1;
    while (end < result.Rows.size() && result.Rows[end].Uid == result.Rows[i].Uid) ++end;
    if (result.Rows[i].Moves()) messages.push_back({i, end});
    i = end;
  }
  if (messages.empty()) return applied;
  // Taken over on a later connection: UIDs count only under the same UIDVALIDITY.
  if (folder.UidValidity() != result.UidValidity)
    throw EImapError("Der Ordner des Posteingangs wurde seit dem Lesen neu nummeriert; bitte lesen Sie die "
                     "R\xFC" "ckl\xE4ufer erneut. Es wurde nichts ge\xE4ndert.");

  TBlockList blocks = TBlockList::Load(FDataDir);
  TReplyLog log = TReplyLog::Load(FDataDir);
  folder.EnsureFolder(doneFolder);
  for (std::size_t at = 0; at < messages.size(); at += kApplyBatch) {
    if (Cancelled()) {
      applied.Cancelled = true;
      break;
    }
    const std::size_t end = std::min(at + kApplyBatch, messages.size());
    const std::string now = JournalTimeNow();
    bool blocksChanged = false, logChanged = false;
    std::vector<std::uint32_t> uids;
    for (std::size_t m = at; m < end; ++m) {
      const TBounceRow& first = result.Rows[messages[m].First];
      uids.push_back(first.Uid);
      // Taken over before and not yet moved (a move that failed): its lines are there.
      if (log.Holds(first.ReportId)) continue;
      for (std::size_t i = messages[m].First; i < messages[m].End; ++i) {
        const TBounceRow& row = result.Rows[i];
        if (row.Action == TBounceAction::Block &&
            blocks.Add({row.Address, row.Reason, now, SourceOf(row.Kind)})) {
          ++applied.Blocked;
          blocksChanged = true;
        }
        log.Add({now, InboxKindText(row.Kind), row.Address, row.Reason, row.ReportId, row.Run});
        ++applied.Logged;
        logChanged = true;
      }
    }
    // The lines reach the disk before the messages leave the folder, so a
    // crash in between loses no block and counts nothing twice.
    if (blocksChanged) blocks.Save(FDataDir);
    if (logChanged) log.Save(FDataDir);
    folder.Move(uids, doneFolder);
    applied.Moved += static_cast<int>(uids.size());
    if (OnProgress) OnProgress(end, messages.size());
  }
  return applied;
}

} // namespace postello
