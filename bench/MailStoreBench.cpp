// Loading and saving mails.dat: time should grow linearly with the file
// size (10,000 mails of about 5 KB each make about 50 MB).
#include "core/StoredDateTime.h"
#include "core/SafeFile.h"
#include "core/TMailStore.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

using namespace postello;

namespace {

TMailList MakeMails(int count) {
  TMailList mails;
  const std::string html(2500, 'h');
  const std::string text(1500, 't');
  const std::string rtf(800, 'r');
  for (int k = 0; k < count; ++k) {
    TMailRec* m = mails.Add();
    m->Subject = "Rundbrief Nr. " + std::to_string(k);
    m->PlainText = text;
    m->DesignHtml = html;
    m->DesignRtf = rtf;
    m->Date = EncodeDateTime(2026, 12, 9, 10, 0, k % 60);
    m->Attachments.Add()->FileName = "/home/anna/Preisliste.pdf";
    TAttachRec* pic = m->Attachments.Add();
    pic->FileName = "/home/anna/logo.png";
    pic->ContentId = "LOGO.PNG";
    m->NewsHeadFontName = "Arial";
  }
  return mails;
}

std::string BenchDir() {
  const std::string dir = std::filesystem::temp_directory_path().string() + "/postello-bench-" +
                          std::to_string(::getpid()) + "/";
  std::filesystem::create_directories(dir);
  return dir;
}

void BM_SaveMails(benchmark::State& state) {
  const TMailList mails = MakeMails(static_cast<int>(state.range(0)));
  const std::string dir = BenchDir();
  for (auto _ : state) TMailStore::Save(dir, mails);
  const auto size = std::filesystem::file_size(dir + "mails.dat");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.counters["MB"] = static_cast<double>(size) / 1e6;
  std::filesystem::remove_all(dir);
}

void BM_OpenMails(benchmark::State& state) {
  const std::string dir = BenchDir();
  TMailStore::Save(dir, MakeMails(static_cast<int>(state.range(0))));
  const auto size = std::filesystem::file_size(dir + "mails.dat");
  for (auto _ : state) {
    TMailList mails;
    const TMailLoadResult r = TMailStore::Open(dir, mails);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.counters["MB"] = static_cast<double>(size) / 1e6;
  std::filesystem::remove_all(dir);
}

} // namespace

BENCHMARK(BM_SaveMails)->Arg(2500)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenMails)->Arg(2500)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
