// Address table speed: opening, one filtered pass over every record, and
// moving to random positions of the filtered table as the merge does once
// per recipient. The 100,000-record table stays in
// /tmp/postello-bench/bench-100000.dbf for bench/dbfread_pass.py.
#include "addressdb/AddressDb.h"
#include "addressdb/TDbf.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>

using namespace postello;

namespace {

const std::filesystem::path kDir = "/tmp/postello-bench";

// A program table of n records; one in ten holds "Mailand" in its NAME.
std::string Table(int n) {
  static std::map<int, std::string> made;
  auto it = made.find(n);
  if (it != made.end()) return it->second;
  std::filesystem::create_directories(kDir);
  const std::string path = (kDir / ("bench-" + std::to_string(n) + ".dbf")).string();
  TDbf t;
  t.SetFileName(path);
  CreateAddressTable(t, 2);
  for (int i = 0; i < n; ++i) {
    t.Append();
    t.SetAsString(0, "kunde" + std::to_string(i) + "@example.org");
    t.SetAsString(1, i % 10 == 0 ? "Mailand" : "Roth");
    t.SetAsString(2, "Eva");
    t.SetAsString(3, "Frau");
    t.SetAsString(4, "Kunde seit " + std::to_string(1990 + i % 30));
    t.Post();
  }
  t.Close();
  return made[n] = path;
}

void Open(benchmark::State& state) {
  const std::string path = Table(static_cast<int>(state.range(0)));
  TDbf t;
  t.SetFileName(path);
  for (auto _ : state) {
    t.Open();
    benchmark::DoNotOptimize(t.RecordCount());
    state.PauseTiming();
    t.Close();
    state.ResumeTiming();
  }
}
BENCHMARK(Open)->Arg(100000)->Unit(benchmark::kMillisecond);

// Every record judged by the text filter, every passing record read.
void FilteredPass(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TDbf t;
  t.SetFileName(Table(n));
  t.SetOnFilterRecord(MakeTextFilter([] { return std::string("mai"); }));
  t.Open();
  t.SetFiltered(true);
  std::size_t passed = 0;
  for (auto _ : state) {
    t.FilterChanged();
    passed = 0;
    for (t.First(); !t.Eof(); t.Next()) {
      benchmark::DoNotOptimize(t.AsString(0));
      ++passed;
    }
  }
  if (passed != static_cast<std::size_t>((n + 9) / 10)) state.SkipWithError("wrong count");
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(FilteredPass)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Random positions of the unfiltered 100,000-record table, the address read
// at each: after the recipient list has walked the table once.
void RandomMoves(benchmark::State& state) {
  const int moves = static_cast<int>(state.range(0));
  TDbf t;
  t.SetFileName(Table(100000));
  t.SetOnFilterRecord(MakeTextFilter([] { return std::string(); }));
  t.Open();
  t.SetFiltered(true);
  const std::uint32_t count = t.ViewCount();
  std::mt19937 rng(4);
  for (auto _ : state) {
    for (int i = 0; i < moves; ++i) {
      t.MoveTo(rng() % count);
      benchmark::DoNotOptimize(t.AsString(0));
    }
  }
  state.SetItemsProcessed(state.iterations() * moves);
}
BENCHMARK(RandomMoves)->Arg(2500)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The merge's own words: first record, then r forward.
void RandomFirstMoveBy(benchmark::State& state) {
  TDbf t;
  t.SetFileName(Table(100000));
  t.SetOnFilterRecord(MakeTextFilter([] { return std::string(); }));
  t.Open();
  t.SetFiltered(true);
  const std::uint32_t count = t.ViewCount();
  std::mt19937 rng(4);
  for (auto _ : state) {
    for (int i = 0; i < 10000; ++i) {
      t.First();
      t.MoveBy(static_cast<int>(rng() % count));
      benchmark::DoNotOptimize(t.AsString(0));
    }
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(RandomFirstMoveBy)->Unit(benchmark::kMillisecond);

// The same with a view that must first be collected (filter just changed).
void RandomMovesFreshView(benchmark::State& state) {
  const int moves = static_cast<int>(state.range(0));
  TDbf t;
  t.SetFileName(Table(100000));
  t.SetOnFilterRecord(MakeTextFilter([] { return std::string("mai"); }));
  t.Open();
  t.SetFiltered(true);
  std::mt19937 rng(4);
  for (auto _ : state) {
    t.FilterChanged();
    for (int i = 0; i < moves; ++i) {
      t.MoveTo(rng() % 10000);
      benchmark::DoNotOptimize(t.AsString(0));
    }
  }
  state.SetItemsProcessed(state.iterations() * moves);
}
BENCHMARK(RandomMovesFreshView)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
