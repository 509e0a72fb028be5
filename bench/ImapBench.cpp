// Reading a large reply mailbox from a distant server: COUNT (10,000)
// messages in a Dovecot on loopback, reached through bench/latency_proxy.py
// with DELAY (20) ms each way, over TLS. Two figures, each to stay under
// 20 s: signing in, opening INBOX and fetching every header of small
// messages; and a whole reading of a mailbox where every other message is
// a Postfix delivery report, whose leading part is fetched, sorted and
// traced as "Rückläufer abholen" does it.
// Usage: cmake --build build --target ImapBench && build/bin/ImapBench
//        (POSTELLO_IMAP_BENCH_COUNT and POSTELLO_IMAP_BENCH_DELAY override)
#include "imap/TImapMailbox.h"
#include "send/TBounceReading.h"
#include "smtp/TTCPBlockSocket.h"
#include "smtp/TestServerTrust.h"
#include "support/DovecotServer.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace {

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != 0 ? value : fallback;
}

std::string Sample(const char* name) {
  std::ifstream in(std::string(POSTELLO_SOURCE_DIR "/tests/data/inbox/") + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string CustomerReply(int i) {
  return "From: kunde" + std::to_string(i) + "@example.org\r\nTo: info@example.org\r\nSubject: Re: Newsletter " +
         std::to_string(i) + "\r\nMessage-ID: <" + std::to_string(i) +
         "@example.org>\r\nDate: Thu, 10 Dec 2026 03:00:00 +0100\r\n\r\nDanke!\r\n";
}

// Seeds COUNT messages made by make(i), starts Dovecot and the proxy, and
// runs read(box) once on a signed-in mailbox with INBOX open; read
// returns the messages it handled, which must be all of them.
void ThroughLatency(benchmark::State& state, const std::function<std::string(int)>& make,
                    const std::function<std::size_t(postello::TImapMailbox&)>& read) {
  const int count = std::atoi(Env("POSTELLO_IMAP_BENCH_COUNT", "10000").c_str());
  const std::string delay = Env("POSTELLO_IMAP_BENCH_DELAY", "20");
  postello::test::TDovecotServer server;
  server.AddUser("bench", "bench");
  std::vector<std::string> messages;
  for (int i = 0; i < count; ++i) messages.push_back(make(i));
  server.Seed("bench", "INBOX", messages);
  server.Start();
  setenv("SSL_CERT_FILE", server.CertificateFile().c_str(), 1);

  // The proxy prints "PORT n" once it listens.
  int out[2];
  if (pipe(out) != 0) return state.SkipWithError("pipe failed");
  const pid_t proxy = fork();
  if (proxy == 0) {
    dup2(out[1], 1);
    close(out[0]);
    const std::string target = "127.0.0.1:" + std::to_string(server.TlsPort());
    execl("/usr/bin/python3", "python3", POSTELLO_SOURCE_DIR "/bench/latency_proxy.py", "0", target.c_str(),
          delay.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* said = fdopen(out[0], "r");
  int port = 0;
  const bool listening = said != nullptr && std::fscanf(said, "PORT %d", &port) == 1;
  const auto stopProxy = [&] {
    kill(proxy, SIGTERM);
    waitpid(proxy, nullptr, 0);
    if (said != nullptr) fclose(said);
  };
  if (!listening) {
    stopProxy();
    return state.SkipWithError("latency proxy did not start");
  }
  std::size_t handled = 0;
  for (auto _ : state) {
    postello::test::TTestServerTrust trust;
    postello::TImapMailbox box(std::make_unique<postello::TTCPBlockSocket>(), trust);
    postello::TImapLogin login = postello::TImapLogin::FromServer("127.0.0.1:" + std::to_string(port));
    login.Security = postello::TImapSecurity::Tls;
    login.User = "bench";
    login.Password = "bench";
    box.Open(login);
    box.Select("INBOX");
    handled = read(box);
    box.Close();
  }
  state.counters["messages"] = static_cast<double>(handled);
  if (handled != static_cast<std::size_t>(count)) state.SkipWithError("not every message was handled");
  stopProxy();
}

void BM_FetchAllHeadersThroughLatency(benchmark::State& state) {
  ThroughLatency(state, CustomerReply, [](postello::TImapMailbox& box) {
    std::size_t fetched = 0;
    box.FetchHeaders([&](std::vector<postello::TMailItem>&& batch) {
      fetched += batch.size();
      return true;
    });
    return fetched;
  });
}
BENCHMARK(BM_FetchAllHeadersThroughLatency)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_ReadBouncesThroughLatency(benchmark::State& state) {
  const std::string bounce = Sample("postfix-unknown-user.eml");
  if (bounce.empty()) return state.SkipWithError("sample missing");
  const std::filesystem::path dataDir =
      std::filesystem::temp_directory_path() / ("postello-imapbench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dataDir);
  ThroughLatency(
      state, [&](int i) { return i % 2 == 0 ? bounce : CustomerReply(i); },
      [&](postello::TImapMailbox& box) {
        postello::TBounceReading reading(dataDir.string() + "/", {});
        return static_cast<std::size_t>(reading.Read(box).Messages);
      });
  std::filesystem::remove_all(dataDir);
}
BENCHMARK(BM_ReadBouncesThroughLatency)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
