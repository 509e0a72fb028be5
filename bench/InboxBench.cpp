// Speed of sorting received messages: a real Postfix bounce, and the
// hostile ones whose cost must stay bounded whatever their size (the sorting
// reads at most 256 KB of a message and 64 KB of its header): a 50 MB
// message, a header of 100,000 lines, 60,000 nested multiparts (on this
// machine about 0.1 ms, 0.6 ms, 3 ms and 40 ms of CPU: 10,000 real
// messages sort in about a second).
#include "inbox/TInboxVerdict.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

using namespace postello;

namespace {

std::string Sample(const char* name) {
  std::ifstream in(std::string(POSTELLO_SOURCE_DIR) + "/tests/data/inbox/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void Classify(benchmark::State& state, const std::string& message) {
  const TInboxContext context;
  for (auto _ : state) benchmark::DoNotOptimize(ClassifyMessage(message, context).Kind);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(message.size()));
}

void BM_Classify_PostfixBounce(benchmark::State& state) {
  static const std::string message = Sample("postfix-utf8-unknown-user.eml");
  Classify(state, message);
}

void BM_Classify_50MB(benchmark::State& state) {
  static const std::string message = Sample("gmail-dsn.eml") + std::string(50u << 20, 'x');
  Classify(state, message);
}

void BM_Classify_100000HeaderLines(benchmark::State& state) {
  static const std::string message = [] {
    std::string m = "From: k@x.example\r\nSubject: Abmelden\r\n";
    for (int i = 0; i < 100000; ++i) m += "X-Filler: 0123456789\r\n";
    return m + "\r\nText\r\n";
  }();
  Classify(state, message);
}

void BM_Classify_60000NestedParts(benchmark::State& state) {
  static const std::string message = [] {
    std::string m = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
    for (int i = 0; i < 60000; ++i)
      m += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=b" + std::to_string(i + 1) + "\r\n\r\n";
    return m;
  }();
  Classify(state, message);
}

} // namespace

BENCHMARK(BM_Classify_PostfixBounce);
BENCHMARK(BM_Classify_50MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Classify_100000HeaderLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Classify_60000NestedParts)->Unit(benchmark::kMillisecond);
