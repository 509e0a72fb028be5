// Re-checking a 200-paragraph German mail, as the editor's highlighter does
// after a dictionary change or a word added to the personal list. Typing
// re-checks only the changed paragraph (one iteration / 200). The target is
// below 50 ms for the whole document.
#include "editor/TSpellChecker.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace postello;

namespace {

std::vector<std::string> MakeParagraphs(int count) {
  const std::string words[] = {"Sehr",     "geehrte",  "[%ANREDE]", "wir",       "freuen",  "uns,",     "Ihnen",
                               "unser",    "neues",    "Angebot",   "vorzustellen.", "Die", "Wohnungg", "liegt",
                               "ruhig",    "im",       "Gr\xFCnen", "und",       "ist",     "ab",       "sofort",
                               "frei.",    "Schreiben", "Sie",      "an",        "info@beispiel.de", "oder", "besuchen",
                               "www.beispiel.de", "Fr\xFChst\xFC" "ck", "Veranstaltungskalender", "NEU"};
  std::vector<std::string> out;
  std::size_t k = 0;
  for (int p = 0; p < count; ++p) {
    std::string para;
    for (int w = 0; w < 12; ++w) para += words[k++ % std::size(words)] + (w < 11 ? " " : ".");
    out.push_back(para);
  }
  return out;
}

void SpellRecheck(benchmark::State& state, bool warm) {
  const auto paragraphs = MakeParagraphs(static_cast<int>(state.range(0)));
  const std::string list = std::filesystem::temp_directory_path() / "postello-spellbench-woerterbuch.txt";
  TSpellChecker warmChecker("de_DE", list);
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<TSpellChecker> cold;
    if (!warm) cold = std::make_unique<TSpellChecker>("de_DE", list);
    TSpellChecker& checker = warm ? warmChecker : *cold;
    state.ResumeTiming();
    std::size_t marked = 0;
    for (const std::string& p : paragraphs) marked += checker.Check(p).size();
    benchmark::DoNotOptimize(marked);
  }
}

} // namespace

// First check after loading (every word new to the checker).
BENCHMARK_CAPTURE(SpellRecheck, cold, false)->Arg(200)->Unit(benchmark::kMillisecond);
// Re-check of a document already checked once.
BENCHMARK_CAPTURE(SpellRecheck, warm, true)->Arg(200)->Unit(benchmark::kMillisecond);
