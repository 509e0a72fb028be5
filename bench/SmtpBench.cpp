// Message rate of SendRawMail, one connection per message, against an SMTP
// sink named by POSTELLO_SMTP_BENCH_SERVER (host:port). bench/smtp_bench.sh
// starts Postfix's smtp-sink and runs this beside smtp-source.
#include "smtp/TSMTPSend.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != 0 ? value : fallback;
}

// A message of exactly size bytes as sent (header block, empty line, body
// in 76-character lines as a base64 body has them).
std::vector<std::string> MakeMessage(size_t size) {
  std::string header =
      "From: \"Postello\" <absender@example.org>\r\n"
      "To: empfaenger@example.org\r\n"
      "Subject: Benchmark\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
      "Content-Transfer-Encoding: base64\r\n";
  std::string body;
  const size_t target = size - (header.size() + 2) - 2;
  while (body.size() + 78 <= target) body += std::string(76, 'Q') + "\r\n";
  body += std::string(target - body.size() >= 2 ? target - body.size() - 2 : 0, 'Q');
  if (body.size() < target) body += "\r\n";
  body.resize(target, 'Q');
  return {header, body};
}

void BM_SendRawMailOneConnectionEach(benchmark::State& state) {
  const std::string server = Env("POSTELLO_SMTP_BENCH_SERVER", "127.0.0.1:2526");
  const long count = std::atol(Env("POSTELLO_SMTP_BENCH_COUNT", "2000").c_str());
  const size_t size = std::strtoul(Env("POSTELLO_SMTP_BENCH_SIZE", "51200").c_str(), nullptr, 10);
  const std::vector<std::string> data = MakeMessage(size);
  long failed = 0;
  for (auto _ : state) {
    for (long i = 0; i < count; ++i)
      if (!postello::SendRawMail("absender@example.org", "empfaenger@example.org", server, data,
                                 "", ""))
        ++failed;
  }
  if (failed > 0) state.SkipWithError(("messages refused: " + std::to_string(failed)).c_str());
  state.SetItemsProcessed(state.iterations() * count);
  state.SetBytesProcessed(state.iterations() * count * static_cast<long>(size));
  state.counters["messages_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * count), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SendRawMailOneConnectionEach)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
