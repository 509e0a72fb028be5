// The send run.
//
// NullSink: the whole run (merge, composition, the three phases) with
// delivery replaced by a sink that takes every message, for 1,000, 10,000
// and 100,000 personalised recipients; time per recipient must stay flat.
// The mail: HTML and text with placeholders and a 2 KB inline picture.
//
// JournalLines: the two journal lines of one message, alone.
//
// EndToEnd: the run delivering to a real SMTP server, one connection per
// message, as postello-cli send does. Only run when
// POSTELLO_SEND_BENCH_SERVER (host:port) and POSTELLO_SEND_BENCH_DIR (a
// folder with recipients.csv, html.txt, plain.txt, logo.gif, preise.pdf)
// are set; bench/send_bench.sh prepares both and compares with Python and
// smtp-source. It writes the average message size to size.txt there.
// With journal:1 the run also writes its journal (into daten/versand/
// there), as the program always does.
//
// Sessions: the same recipients with a mail of text and HTML (no
// attachments) over STARTTLS with AUTH, reuse messages per connection
// (0: one connection each) on parallel sessions, as the account options
// set them. Run by bench/reuse_bench.sh through a proxy that adds 20 ms
// each way; POSTELLO_SEND_BENCH_USER and _PASSWORD give the login.
#include "addressdb/AddressDb.h"
#include "addressdb/TxtImport.h"
#include "core/SafeFile.h"
#include "mime/ZIzorAvarivi2000.h"
#include "send/TSendJournal.h"
#include "send/TSendPool.h"
#include "send/TSendRun.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

using namespace postello;

namespace {

const std::filesystem::path kDir = "/tmp/postello-bench";

std::string ReadText(const std::filesystem::path& path) {
  const auto bytes = ReadWholeFile(path.string());
  if (!bytes) throw std::runtime_error("cannot read " + path.string());
  return *bytes;
}

// A table of n recipients, made once per size.
std::string RecipientTable(int n) {
  static std::map<int, std::string> made;
  if (auto it = made.find(n); it != made.end()) return it->second;
  std::filesystem::create_directories(kDir);
  const std::string path = (kDir / ("send-" + std::to_string(n) + ".dbf")).string();
  TDbf t;
  t.SetFileName(path);
  CreateAddressTable(t, 2);
  std::string csv;
  for (int i = 0; i < n; ++i)
    csv += "kunde" + std::to_string(i) + "@example.org;Roth" + std::to_string(i) + ";Eva;Frau;Kunde seit " +
           std::to_string(1990 + i % 30) + "\n";
  ImportText(t, csv);
  t.Close();
  return made[n] = path;
}

struct TBenchState {
  TDbf Table;
  ZIzorAvarivi2000 Msg;
  TKontoRec* CurKonto = nullptr;
  TKontoList Konten{&CurKonto};
  TMailRec* CurMail = nullptr;
  TMailList Mails{&CurMail};
  TRecipientList Rows;

  TBenchState(const std::string& tablePath, const std::string& server) {
    Msg.ApplyFormSettings();
    Table.SetFileName(tablePath);
    Table.SetAutoCreate(false);
    Table.Open();
    Table.SetFiltered(true);
    Rows = ReadRecipientList(Table, 0);
    TKontoRec* k = Konten.Add();
    k->Absender = "Versand";
    k->Email = "versand@example.org";
    k->Antwort = "antwort@example.org";
    k->Server = server;
  }

  TSendChoice Choice() const {
    TSendChoice c;
    c.KontoIndex = 0;
    c.MailIndex = 0;
    return c;
  }
};

// adr.dbf in dir, made afresh from the recipients.csv there.
std::string TableFromCsv(const std::filesystem::path& dir) {
  const std::string tablePath = (dir / "adr.dbf").string();
  TDbf t;
  t.SetFileName(tablePath);
  CreateAddressTable(t, 2);
  ImportTextFile(t, (dir / "recipients.csv").string());
  t.Close();
  return tablePath;
}

// The mail of the runs against a server: HTML and text from html.txt and
// plain.txt in dir.
TMailRec* AddBenchMail(TBenchState& s, const std::filesystem::path& dir) {
  TMailRec* m = s.Mails.Add();
  m->Subject = "Angebot Dezember";
  m->MailType = 1;
  m->HtmlText = ReadText(dir / "html.txt");
  m->PlainText = ReadText(dir / "plain.txt");
  return m;
}

void NullSink(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TBenchState s(RecipientTable(n), "127.0.0.1:9");
  const std::string picture = (kDir / "send-logo.gif").string();
  {
    std::mt19937 random(1);
    std::string bytes = "GIF89a";
    while (bytes.size() < 2048) bytes += static_cast<char>(random() & 0xFF);
    std::ofstream(picture, std::ios::binary) << bytes;
  }
  TMailRec* m = s.Mails.Add();
  m->Subject = "Angebot f\xFCr [%Vorname]";
  m->MailType = 1;
  m->HtmlText = "<html><body><p>Hallo [%Anrede] [%Vorname] [%Name],</p><p>[%Info 1]</p>" +
                std::string(1500, 'x') + "<img src=\"cid:SEND-LOGO.GIF\"></body></html>";
  m->PlainText = "Hallo [%Anrede] [%Vorname] [%Name],\r\n[%Info 1]\r\n" + std::string(800, 'y');
  m->Attachments.Add()->FileName = picture;
  m->CurAttach->ContentId = "SEND-LOGO.GIF";

  TSendRun run(s.Msg, s.Table);
  std::size_t bytes = 0;
  for (auto _ : state) {
    run.Run(s.Choice(), s.Rows, s.Konten, s.Mails, [&bytes](const TOutgoingMail& mail) {
      bytes += mail.Data[0].size() + mail.Data[1].size();
      return true;
    });
  }
  if (run.FailedCount() != 0 || run.Processed() != n) state.SkipWithError("the run did not take every message");
  state.SetItemsProcessed(state.iterations() * n);
  // Seconds per recipient (printed with an SI prefix, "u" for microseconds).
  state.counters["s_per_recipient"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * n, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["bytes_per_message"] = static_cast<double>(bytes) / static_cast<double>(state.iterations() * n);
}
BENCHMARK(NullSink)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The end-to-end run; with state.range(0) == 0 the messages go to a null
// sink instead, which shows the share of composing in the whole. With
// state.range(1) != 0 the run writes its journal, as every run of the
// program does; the difference to the run without is what the journal
// costs.
void EndToEnd(benchmark::State& state) {
  const bool smtp = state.range(0) != 0;
  const bool journal = state.range(1) != 0;
  const char* server = std::getenv("POSTELLO_SEND_BENCH_SERVER");
  const char* dirText = std::getenv("POSTELLO_SEND_BENCH_DIR");
  if (server == nullptr || dirText == nullptr) {
    state.SkipWithError("POSTELLO_SEND_BENCH_SERVER and POSTELLO_SEND_BENCH_DIR not set");
    return;
  }
  const std::filesystem::path dir = dirText;
  TBenchState s(TableFromCsv(dir), server);
  TMailRec* m = AddBenchMail(s, dir);
  m->Attachments.Add()->FileName = (dir / "logo.gif").string();
  m->CurAttach->ContentId = "LOGO.GIF";
  m->Attachments.Add()->FileName = (dir / "preise.pdf").string();

  TSendRun run(s.Msg, s.Table);
  if (journal) {
    run.JournalDir = (dir / "daten").string();
    std::filesystem::remove_all(dir / "daten");
    std::filesystem::create_directories(dir / "daten");
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    run.Run(s.Choice(), s.Rows, s.Konten, s.Mails, [&bytes, smtp](const TOutgoingMail& mail) {
      bytes += mail.Data[0].size() + mail.Data[1].size() + 4;
      return !smtp || DeliverMail(mail);
    });
  }
  const int n = static_cast<int>(s.Rows.size());
  if (run.FailedCount() != 0) state.SkipWithError(("messages refused: " + std::to_string(run.FailedCount())).c_str());
  const std::size_t average = bytes / static_cast<std::size_t>(state.iterations() * n);
  if (smtp) std::ofstream(dir / "size.txt") << average << "\n";
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["messages_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * n), benchmark::Counter::kIsRate);
  state.counters["bytes_per_message"] = static_cast<double>(average);
}
void Sessions(benchmark::State& state) {
  const int reuse = static_cast<int>(state.range(0));
  const int parallel = static_cast<int>(state.range(1));
  const char* server = std::getenv("POSTELLO_SEND_BENCH_SERVER");
  const char* dirText = std::getenv("POSTELLO_SEND_BENCH_DIR");
  const char* user = std::getenv("POSTELLO_SEND_BENCH_USER");
  const char* password = std::getenv("POSTELLO_SEND_BENCH_PASSWORD");
  if (server == nullptr || dirText == nullptr || user == nullptr || password == nullptr) {
    state.SkipWithError("POSTELLO_SEND_BENCH_SERVER, _DIR, _USER and _PASSWORD not set");
    return;
  }
  const std::filesystem::path dir = dirText;
  TBenchState s(TableFromCsv(dir), server);
  TKontoRec* konto = s.Konten.Select(0);
  konto->User = user;
  konto->Password = CodePassw(password);
  AddBenchMail(s, dir);

  TSendRun run(s.Msg, s.Table);
  for (auto _ : state) {
    TSendPool pool(
        parallel, [reuse] { return std::make_unique<TSmtpSession>(TSMTPSendOptions{}, reuse); },
        [](TSmtpSession& session, const TOutgoingMail& mail) { return session.Deliver(mail); });
    run.Start(s.Choice(), s.Rows, s.Konten, s.Mails);
    RunOnPool(run, pool);
  }
  const int n = static_cast<int>(s.Rows.size());
  if (run.FailedCount() != 0) {
    const std::string first = run.ErrorLog().empty() ? "" : run.ErrorLog().front();
    state.SkipWithError(("messages refused: " + std::to_string(run.FailedCount()) + " " + first).c_str());
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["messages_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * n), benchmark::Counter::kIsRate);
}
BENCHMARK(Sessions)
    ->ArgNames({"reuse", "parallel"})
    ->Args({0, 1})
    ->Args({100, 1})
    ->Args({100, 4})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// What the journal costs one message on its own: the "unsicher" line
// before the end of the data and the result line after it, each written
// through to the system, with the flush to the disk once a second.
void JournalLines(benchmark::State& state) {
  const std::filesystem::path dir = kDir / "journal";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const int n = static_cast<int>(state.range(0));
  std::vector<TJournalMessage> plan;
  for (int i = 0; i < n; ++i)
    plan.push_back({i + 1, {"kunde" + std::to_string(i) + "@example.org"}, {static_cast<std::uint32_t>(i + 1)}});
  TJournalRunInfo info;
  info.Subject = "Angebot Dezember";
  info.Account = "Versand <versand@example.org>";
  info.MessageCount = n;
  for (auto _ : state) {
    state.PauseTiming();
    TSendJournal journal(dir.string(), info, plan);
    state.ResumeTiming();
    for (const TJournalMessage& m : plan) {
      journal.RecordDataEnd(m);
      TJournalEntry e;
      e.Nr = m.Nr;
      e.Addresses = m.Addresses;
      e.RecNos = m.RecNos;
      e.Result = TJournalResult::Sent;
      journal.Record(std::move(e));
    }
    journal.Close();
  }
  // items_per_second: messages; its inverse is the journal's time per message.
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(JournalLines)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(EndToEnd)
    ->ArgNames({"smtp", "journal"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
