#include "send/TResumePlan.h"

#include <algorithm>
#include <deque>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace postello {
namespace {

// One address the new run should take, with the record it came from.
struct TWanted {
  std::string Address;
  std::uint32_t RecNo = 0;
};

// Today's list by address; rows are taken out as they are used.
class TRowIndex {
public:
  explicit TRowIndex(const TRecipientList& rows) : FRows(rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      FByAddress[AddressKey(rows[i].Address)].push_back(i);
      if (rows[i].RecNo != 0) FByRecNo.emplace(rows[i].RecNo, i);
    }
  }

  // The row for an address: the one of the same record when there is
  // such, else the first unused one. -1 when none is left.
  long Take(const TWanted& w) {
    auto it = FByAddress.find(AddressKey(w.Address));
    if (it == FByAddress.end() || it->second.empty()) return -1;
    std::deque<std::size_t>& q = it->second;
    auto pick = q.begin();
    if (w.RecNo != 0) {
      const auto same = std::find_if(q.begin(), q.end(), [&](std::size_t i) { return FRows[i].RecNo == w.RecNo; });
      if (same != q.end()) pick = same;
    }
    const std::size_t row = *pick;
    q.erase(pick);
    FUsed.insert(row);
    return static_cast<long>(row);
  }

  // The unused row of a record number; -1 when none.
  long TakeRecNo(std::uint32_t recNo) {
    if (recNo == 0) return -1;
    const auto it = FByRecNo.find(recNo);
    if (it == FByRecNo.end() || FUsed.count(it->second) > 0) return -1;
    const std::size_t row = it->second;
    std::deque<std::size_t>& q = FByAddress[AddressKey(FRows[row].Address)];
    q.erase(std::find(q.begin(), q.end(), row));
    FUsed.insert(row);
    return static_cast<long>(row);
  }

private:
  const TRecipientList& FRows;
  std::unordered_map<std::string, std::deque<std::size_t>> FByAddress;
  std::unordered_map<std::uint32_t, std::size_t> FByRecNo;
  std::unordered_set<std::size_t> FUsed;
};

void Wanted(const TJournalMessage& m, std::vector<TWanted>& out) {
  for (std::size_t i = 0; i < m.Addresses.size(); ++i)
    out.push_back({m.Addresses[i], i < m.RecNos.size() ? m.RecNos[i] : 0});
}

void Finish(TResumePlan& plan) {
  std::sort(plan.Rows.begin(), plan.Rows.end());
}

} // namespace

std::string AddressKey(std::string_view address) {
  std::string key(address);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

int RunAccountIndex(const TKontoList& konten, const TJournalRunInfo& info) {
  for (std::uint32_t i = 0; i < konten.Count(); ++i)
    if (konten[i].Absender + " <" + konten[i].Email + ">" == info.Account && konten[i].Server == info.Server)
      return static_cast<int>(i);
  return -1;
}

TResumePlan PlanResume(const TJournalRun& run, const TRecipientList& rows, bool withUncertain) {
  TResumePlan plan;
  std::vector<TWanted> wanted;
  for (const TJournalMessage& m : run.Plan) {
    const TJournalResult r = run.ResultOf(m.Nr);
    if (r == TJournalResult::Sent) continue;
    if (r == TJournalResult::Uncertain) {
      plan.Uncertain.insert(plan.Uncertain.end(), m.Addresses.begin(), m.Addresses.end());
      if (!withUncertain) continue;
    }
    Wanted(m, wanted);
  }
  TRowIndex index(rows);
  for (const TWanted& w : wanted) {
    const long row = index.Take(w);
    if (row < 0)
      plan.Missing.push_back(w.Address);
    else
      plan.Rows.push_back(static_cast<std::size_t>(row));
  }
  Finish(plan);
  return plan;
}

TResumePlan PlanRetry(const TJournalRun& run, const TRecipientList& rows, bool sameTable) {
  TResumePlan plan;
  std::vector<TWanted> wanted;
  std::set<std::string> planned;
  for (const TJournalMessage& m : run.Plan) {
    for (const std::string& a : m.Addresses) planned.insert(AddressKey(a));
    if (run.ResultOf(m.Nr) == TJournalResult::Failed) Wanted(m, wanted);
  }
  TRowIndex index(rows);
  std::vector<TWanted> notFound;
  for (const TWanted& w : wanted) {
    const long row = index.Take(w);
    if (row < 0)
      notFound.push_back(w);
    else
      plan.Rows.push_back(static_cast<std::size_t>(row));
  }
  // Corrections only after every address found as it was has its row, so
  // a corrected record never takes the row somebody else's match needs.
  for (const TWanted& w : notFound) {
    long row = -1;
    if (sameTable) {
      const auto it = std::find_if(rows.begin(), rows.end(), [&](const TRecipientRow& r) { return r.RecNo == w.RecNo; });
      if (it != rows.end() && planned.count(AddressKey(it->Address)) == 0) row = index.TakeRecNo(w.RecNo);
    }
    if (row < 0) {
      plan.Missing.push_back(w.Address);
    } else {
      plan.Rows.push_back(static_cast<std::size_t>(row));
      plan.Corrected.push_back({w.Address, rows[static_cast<std::size_t>(row)].Address});
    }
  }
  Finish(plan);
  return plan;
}

} // namespace postello
