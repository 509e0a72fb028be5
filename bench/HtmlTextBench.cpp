// The plain text derivation runs on every keystroke in the HTML source, so
// it must stay linear in the size of the HTML and far below the time
// between two keystrokes (about 100 ms) for a typical newsletter of 50 KB.
// The sizes run from 50 KB to 4 MB; the complexity fit reports whether the
// time per byte stays constant. The import is measured on the same HTML.
#include "editor/HtmlToPlainText.h"
#include "editor/ImportHtmlLines.h"

#include <benchmark/benchmark.h>

using namespace postello;

namespace {

// Newsletter-like HTML of at least bytes bytes: a framed table layout with
// font tags, links, pictures, entities, quoted attributes and text.
std::vector<std::string> MakeNewsletter(std::size_t bytes) {
  std::vector<std::string> lines = {"<html><head><meta charset=\"windows-1252\"><title>Rundbrief</title></head>",
                                    "<body bgcolor=#808080>",
                                    "<table align=center width=550 bgcolor=#000000 cellpadding=0 cellspacing=0>"};
  std::size_t size = 0;
  for (const std::string& l : lines) size += l.size() + 2;
  for (int k = 0; size < bytes; ++k) {
    const std::string n = std::to_string(k);
    const std::string block[] = {
        "<tr><td width=1></td><td><table width=100% bgcolor=#FFFFFF cellpadding=4 cellspacing=0><tr><td valign=top >",
        "<div align=left><font face=Arial size=2 color=#000000><b>Artikel " + n + "</b></font></div>",
        "<div align=left><font face=Arial size=2 color=#333333>Liebe Leserin, lieber Leser, in dieser Ausgabe "
        "finden Sie Neuigkeiten &amp; Angebote f\xFCr [%Vorname] [%Name]. Gr\xF6\xDF" "ere Auswahl, bessere Preise.",
        "<br>Mehr dazu <a href=\"https://www.example.org/artikel?id=" + n + "&amp;ref=mail\" title=\"Weiter >\">hier</a>.",
        "<img src=\"cid:BILD" + n + ".JPG\" width=120 height=80 border=0 alt=\"Bild " + n + "\"></font></div>",
        "<p class=\"fuss\">&nbsp;</p></td></tr></table></td><td width=1></td></tr><tr></tr>"};
    for (const std::string& l : block) {
      lines.push_back(l);
      size += l.size() + 2;
    }
  }
  lines.push_back("</table></body></html>");
  return lines;
}

std::size_t ByteCount(const std::vector<std::string>& lines) {
  std::size_t n = 0;
  for (const std::string& l : lines) n += l.size() + 2;
  return n;
}

void BM_HtmlToPlainText(benchmark::State& state) {
  const std::vector<std::string> html = MakeNewsletter(static_cast<std::size_t>(state.range(0)));
  const std::size_t bytes = ByteCount(html);
  for (auto _ : state) {
    std::vector<std::string> text = HtmlToPlainText(html);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.SetComplexityN(static_cast<std::int64_t>(bytes));
  state.counters["KB"] = static_cast<double>(bytes) / 1000.0;
}
BENCHMARK(BM_HtmlToPlainText)
    ->Arg(50'000)
    ->Arg(250'000)
    ->Arg(1'000'000)
    ->Arg(4'000'000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

// The same from one whole text, as a text widget hands it over.
void BM_HtmlToPlainTextWhole(benchmark::State& state) {
  const std::vector<std::string> html = MakeNewsletter(static_cast<std::size_t>(state.range(0)));
  std::string whole;
  for (const std::string& l : html) whole += l + "\r\n";
  for (auto _ : state) {
    std::vector<std::string> text = HtmlToPlainText(std::string_view(whole));
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * whole.size()));
}
BENCHMARK(BM_HtmlToPlainTextWhole)->Arg(50'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

// One tag of a megabyte (a picture embedded as data): still one pass.
void BM_HtmlToPlainTextHugeTag(benchmark::State& state) {
  const std::vector<std::string> html = {"a<img src=\"data:image/png;base64," +
                                         std::string(static_cast<std::size_t>(state.range(0)), 'Q') + "\">b"};
  for (auto _ : state) {
    std::vector<std::string> text = HtmlToPlainText(html);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html[0].size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_HtmlToPlainTextHugeTag)
    ->Arg(1'000'000)
    ->Arg(4'000'000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

void BM_ImportHtmlLines(benchmark::State& state) {
  const std::vector<std::string> html = MakeNewsletter(static_cast<std::size_t>(state.range(0)));
  const std::size_t bytes = ByteCount(html);
  const auto exists = [](const std::string&) { return false; };
  for (auto _ : state) {
    THtmlImport r = ImportHtmlLines(html, "/home/anna/rundbrief/", exists);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.SetComplexityN(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ImportHtmlLines)
    ->Arg(50'000)
    ->Arg(1'000'000)
    ->Arg(4'000'000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

} // namespace
