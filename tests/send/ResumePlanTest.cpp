// Which recipients "Versand fortsetzen" and "Fehlgeschlagene erneut senden"
// take, from a journal and today's recipient list.
#include "send/TResumePlan.h"

#include <gtest/gtest.h>

using namespace postello;

namespace {

using R = TJournalResult;

// A run of personalised messages: address i of `addresses` has record
// number recNos[i]; results[i] the lines recorded for it (last wins).
TJournalRun MakeRun(const std::vector<std::string>& addresses, const std::vector<std::uint32_t>& recNos,
                    const std::vector<std::vector<R>>& results, const char* recipients = kJournalAllRecipients) {
  TJournalRun run;
  run.Info.Recipients = recipients;
  for (std::size_t i = 0; i < addresses.size(); ++i)
    run.Plan.push_back({static_cast<int>(i) + 1, {addresses[i]}, {recNos[i]}});
  for (std::size_t i = 0; i < results.size(); ++i)
    for (R r : results[i]) {
      TJournalEntry e;
      e.Nr = static_cast<int>(i) + 1;
      e.Addresses = {addresses[i]};
      e.RecNos = {recNos[i]};
      e.Result = r;
      run.Entries.push_back(e);
    }
  return run;
}

TRecipientList Rows(const std::vector<std::pair<std::string, std::uint32_t>>& list) {
  TRecipientList rows;
  std::uint32_t pos = 0;
  for (const auto& [address, recNo] : list) rows.push_back({address, pos++, recNo});
  return rows;
}

using Idx = std::vector<std::size_t>;
using Strings = std::vector<std::string>;

} // namespace

TEST(ResumePlan, ResumeTakesWhatIsNeitherSentNorUncertain) {
  struct Case {
    const char* Name;
    std::vector<std::vector<R>> Results;  // for a@, b@, c@, d@, e@
    bool WithUncertain;
    Idx Rows;
    Strings Uncertain;
  };
  const Case cases[] = {
      {"nothing recorded", {}, false, {0, 1, 2, 3, 4}, {}},
      {"killed after two", {{R::Sent}, {R::Sent}}, false, {2, 3, 4}, {}},
      {"failed ones go again", {{R::Sent}, {R::Failed}, {R::Sent}}, false, {1, 3, 4}, {}},
      {"cancelled: nicht gesendet", {{R::Sent}, {R::Sent}, {R::NotSent}, {R::NotSent}, {R::NotSent}}, false, {2, 3, 4}, {}},
      {"killed during the data end", {{R::Sent}, {R::Uncertain}}, false, {2, 3, 4}, {"b@x.de"}},
      {"uncertain on request", {{R::Sent}, {R::Uncertain}}, true, {1, 2, 3, 4}, {"b@x.de"}},
      {"uncertain then answered", {{R::Uncertain, R::Sent}, {R::Uncertain, R::Failed}}, false, {1, 2, 3, 4}, {}},
      {"all sent", {{R::Sent}, {R::Sent}, {R::Sent}, {R::Sent}, {R::Sent}}, false, {}, {}},
  };
  const Strings addresses = {"a@x.de", "b@x.de", "c@x.de", "d@x.de", "e@x.de"};
  const TRecipientList rows = Rows({{"a@x.de", 1}, {"b@x.de", 2}, {"c@x.de", 3}, {"d@x.de", 4}, {"e@x.de", 5}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TResumePlan plan = PlanResume(MakeRun(addresses, {1, 2, 3, 4, 5}, c.Results), rows, c.WithUncertain);
    EXPECT_EQ(plan.Rows, c.Rows);
    EXPECT_EQ(plan.Uncertain, c.Uncertain);
    EXPECT_TRUE(plan.Missing.empty());
    EXPECT_EQ(plan.Empty(), c.Rows.empty());
  }
}

TEST(ResumePlan, MatchedByAddressNotByPosition) {
  const TJournalRun run = MakeRun({"a@x.de", "b@x.de", "c@x.de", "d@x.de"}, {1, 2, 3, 4}, {{R::Sent}});
  // Since the run: a new record in front, c@ deleted, B@ written in capitals,
  // another new one at the end.
  const TRecipientList rows =
      Rows({{"neu@x.de", 9}, {"a@x.de", 1}, {"B@X.DE", 2}, {"d@x.de", 4}, {"spaet@x.de", 10}});
  const TResumePlan plan = PlanResume(run, rows, false);
  EXPECT_EQ(plan.Rows, (Idx{2, 3}));
  EXPECT_EQ(plan.Missing, (Strings{"c@x.de"}));
}

TEST(ResumePlan, TwoRecordsOfOneAddressKeepTheirOwnRecords) {
  // The table holds a@ twice; the run sent the first record's message.
  const TJournalRun run = MakeRun({"a@x.de", "a@x.de", "b@x.de"}, {1, 2, 3}, {{R::Sent}});
  const TRecipientList rows = Rows({{"a@x.de", 1}, {"a@x.de", 2}, {"b@x.de", 3}});
  EXPECT_EQ(PlanResume(run, rows, false).Rows, (Idx{1, 2}));
  // Both pending: both rows, each once.
  const TJournalRun none = MakeRun({"a@x.de", "a@x.de"}, {1, 2}, {});
  EXPECT_EQ(PlanResume(none, rows, false).Rows, (Idx{0, 1}));
  // Only one row left for two pending messages: one is missing.
  EXPECT_EQ(PlanResume(none, Rows({{"a@x.de", 7}}), false).Missing, (Strings{"a@x.de"}));
}

TEST(ResumePlan, BatchMessagesTakeEveryAddress) {
  TJournalRun run;
  run.Info.Recipients = kJournalAllRecipients;
  run.Info.BatchMode = true;
  run.Info.BatchSize = 2;
  run.Plan = {{1, {"a@x.de", "b@x.de"}, {1, 2}}, {2, {"c@x.de", "d@x.de"}, {3, 4}}, {3, {"e@x.de"}, {5}}};
  TJournalEntry sent;
  sent.Nr = 1;
  sent.Result = R::Sent;
  sent.Addresses = {"a@x.de", "b@x.de"};
  sent.RecNos = {1, 2};
  run.Entries = {sent};
  const TRecipientList rows = Rows({{"a@x.de", 1}, {"b@x.de", 2}, {"c@x.de", 3}, {"d@x.de", 4}, {"e@x.de", 5}});
  EXPECT_EQ(PlanResume(run, rows, false).Rows, (Idx{2, 3, 4}));
  run.Entries[0].Result = R::Failed;
  EXPECT_EQ(PlanRetry(run, rows, true).Rows, (Idx{0, 1}));
}

TEST(ResumePlan, AnAddressOnlyTheJournalNamesIsNeverTaken) {
  // A run to a typed address (or a planted file saying so) names an
  // address the table may not hold: it goes out only when today's list has it.
  const TJournalRun run = MakeRun({"fremd@x.de"}, {0}, {{R::Failed}}, kJournalTypedRecipient);
  for (const TResumePlan& plan : {PlanResume(run, {}, false), PlanRetry(run, {}, true)}) {
    EXPECT_TRUE(plan.Empty());
    EXPECT_EQ(plan.Missing, std::vector<std::string>{"fremd@x.de"});
  }
  EXPECT_EQ(PlanResume(run, Rows({{"fremd@x.de", 7}}), false).Rows, (Idx{0}));
}

TEST(ResumePlan, RetryTakesOnlyTheFailedAndFindsCorrectedAddresses) {
  struct Case {
    const char* Name;
    std::vector<std::pair<std::string, std::uint32_t>> Today;
    bool SameTable;
    Idx Rows;
    Strings Missing;
    std::vector<std::pair<std::string, std::string>> Corrected;
  };
  // b@ (record 2) and d@ (record 4) failed; a@ sent, c@ uncertain, e@ none.
  const Case cases[] = {
      {"unchanged", {{"a@x.de", 1}, {"b@x.de", 2}, {"c@x.de", 3}, {"d@x.de", 4}, {"e@x.de", 5}}, true, {1, 3}, {}, {}},
      {"b corrected in its record",
       {{"a@x.de", 1}, {"b@example.org", 2}, {"c@x.de", 3}, {"d@x.de", 4}},
       true,
       {1, 3},
       {},
       {{"b@x.de", "b@example.org"}}},
      {"another table: no correction",
       {{"a@x.de", 1}, {"b@example.org", 2}, {"d@x.de", 4}},
       false,
       {2},
       {"b@x.de"},
       {}},
      // Record 2 now holds a@ who already got the mail: not taken.
      {"record now holds a planned address", {{"a@x.de", 2}, {"d@x.de", 4}}, true, {1}, {"b@x.de"}, {}},
      {"record deleted", {{"a@x.de", 1}, {"d@x.de", 4}}, true, {1}, {"b@x.de"}, {}},
  };
  const TJournalRun run = MakeRun({"a@x.de", "b@x.de", "c@x.de", "d@x.de", "e@x.de"}, {1, 2, 3, 4, 5},
                                  {{R::Sent}, {R::Failed}, {R::Uncertain}, {R::Uncertain, R::Failed}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TResumePlan plan = PlanRetry(run, Rows(c.Today), c.SameTable);
    EXPECT_EQ(plan.Rows, c.Rows);
    EXPECT_EQ(plan.Missing, c.Missing);
    ASSERT_EQ(plan.Corrected.size(), c.Corrected.size());
    for (std::size_t i = 0; i < c.Corrected.size(); ++i) {
      EXPECT_EQ(plan.Corrected[i].Old, c.Corrected[i].first);
      EXPECT_EQ(plan.Corrected[i].New, c.Corrected[i].second);
    }
    EXPECT_TRUE(plan.Uncertain.empty());
  }
}
