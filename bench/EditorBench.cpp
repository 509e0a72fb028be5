// The design editor's conversions on documents of 200 to 10,000
// paragraphs: building the design HTML, reading and writing the RTF. Time
// should grow linearly with the paragraphs; one conversion of a 200-paragraph
// document (read the RTF, build the HTML) must stay far below the one-second
// typing pause after which the editor converts.
#include "editor/DesignHtml.h"
#include "editor/RtfReader.h"
#include "editor/RtfWriter.h"

#include <benchmark/benchmark.h>

using namespace postello;

namespace {

// A mail-like document: each paragraph holds about 70 characters in four
// runs (plain, bold, a red word, plain), every fifth paragraph is a bullet,
// every seventh centred, every eleventh empty.
TDesignDocument MakeDocument(int paragraphs) {
  TDesignDocument doc;
  doc.Paragraphs.reserve(static_cast<std::size_t>(paragraphs));
  TCharFormat plain;
  TCharFormat bold = plain;
  bold.Bold = true;
  TCharFormat red = plain;
  red.Color = 0x0000FF;
  red.Face = "Times New Roman";
  red.Size = 14;
  for (int k = 0; k < paragraphs; ++k) {
    TParagraph p;
    p.Bullet = k % 5 == 0;
    p.Align = k % 7 == 0 ? paCenter : paLeft;
    if (k % 11 != 10) {
      p.Runs.push_back({plain, "Sehr geehrte(r) [%Name], wir freuen uns "});
      p.Runs.push_back({bold, "\xFC" "ber Ihre"});
      p.Runs.push_back({red, " Bestellung"});
      p.Runs.push_back({plain, " vom M\xE4rz.\t" + std::to_string(k)});
    }
    doc.Paragraphs.push_back(std::move(p));
  }
  return doc;
}

void BM_BuildDesignHtml(benchmark::State& state) {
  const TDesignDocument doc = MakeDocument(static_cast<int>(state.range(0)));
  const TNewsDesign design;
  for (auto _ : state) benchmark::DoNotOptimize(BuildDesignHtml(doc, 0xFFFFFF, true, design));
  state.SetComplexityN(state.range(0));
}

void BM_ReadRtf(benchmark::State& state) {
  const std::string rtf = WriteRtf(MakeDocument(static_cast<int>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(ReadRtf(rtf));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rtf.size()));
  state.SetComplexityN(state.range(0));
}

void BM_WriteRtf(benchmark::State& state) {
  const TDesignDocument doc = MakeDocument(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(WriteRtf(doc));
  state.SetComplexityN(state.range(0));
}

// What the editor does after a typing pause when the document comes as
// RTF (a stored mail, design-html): read it, then build the HTML.
void BM_ConvertRtfToHtml(benchmark::State& state) {
  const std::string rtf = WriteRtf(MakeDocument(static_cast<int>(state.range(0))));
  const TNewsDesign design;
  for (auto _ : state) {
    const TRtfReadResult r = ReadRtf(rtf);
    benchmark::DoNotOptimize(BuildDesignHtml(r.Document, 0xFFFFFF, true, design));
  }
  state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(BM_BuildDesignHtml)->Arg(200)->Arg(1000)->Arg(2500)->Arg(5000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Complexity();
BENCHMARK(BM_ReadRtf)->Arg(200)->Arg(1000)->Arg(2500)->Arg(5000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Complexity();
BENCHMARK(BM_WriteRtf)->Arg(200)->Arg(1000)->Arg(2500)->Arg(5000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Complexity();
BENCHMARK(BM_ConvertRtfToHtml)->Arg(200)->Arg(10000)->Unit(benchmark::kMicrosecond);
