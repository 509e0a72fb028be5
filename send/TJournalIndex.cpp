#include "send/TJournalIndex.h"

#include "send/TBlockList.h"
#include "send/TSendJournal.h"

#include <unordered_set>

namespace postello {

std::uint32_t TJournalHit::RecNoOf(std::string_view address) const {
  const std::string key = TBlockList::Key(address);
  for (std::size_t i = 0; i < Addresses.size() && i < RecNos.size(); ++i)
    if (TBlockList::Key(Addresses[i]) == key) return RecNos[i];
  return 0;
}

std::string TJournalIndex::Key(std::string_view id) {
  while (!id.empty() && (id.front() == ' ' || id.front() == '\t' || id.front() == '<')) id.remove_prefix(1);
  while (!id.empty() && (id.back() == ' ' || id.back() == '\t' || id.back() == '>')) id.remove_suffix(1);
  return std::string(id);
}

TJournalIndex TJournalIndex::Build(const std::string& dataDir, const std::vector<std::string>& wanted) {
  TJournalIndex index;
  std::unordered_set<std::string> keys;
  for (const std::string& w : wanted)
    if (std::string k = Key(w); !k.empty()) keys.insert(std::move(k));
  if (keys.empty()) return index;
  for (const std::string& path : ListJournals(dataDir)) {
    TJournalRun run;
    try {
      run = ReadJournal(path);
    } catch (const EJournalError&) {
      continue;  // no run line: nothing in it to trace
    }
    for (const TJournalEntry& e : run.Entries) {
      if (e.Nr <= 0 || e.MessageId.empty()) continue;
      std::string k = Key(e.MessageId);
      if (!keys.contains(k)) continue;
      index.FHits[std::move(k)] = {run.FileName(), run.Info.StartTime, e.Nr, e.Addresses, e.RecNos};
    }
  }
  return index;
}

const TJournalHit* TJournalIndex::Find(std::string_view messageId) const {
  const auto it = FHits.find(Key(messageId));
  return it == FHits.end() ? nullptr : &it->second;
}

} // namespace postello
