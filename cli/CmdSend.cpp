// postello-cli send: the send run of the send page, from the command line.
#include "cli/TCliCommand.h"
#include "cli/TCliState.h"

#include "core/Cp1252.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "mime/ZIzorAvarivi2000.h"
#include "send/TRecipientList.h"
#include "send/TSendRun.h"
#include "send/TStoredServerTrust.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>

namespace postello {
namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted = true; }

// Ctrl-C stops the run as "Abbrechen" does: a session waiting on the
// network ends at once (unless the end of its data is already out), and
// no further message follows. The previous handling comes back when the
// run is over.
class TInterruptGuard {
public:
  TInterruptGuard() {
    gInterrupted = false;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, &FOld);
  }
  ~TInterruptGuard() { sigaction(SIGINT, &FOld, nullptr); }
  TInterruptGuard(const TInterruptGuard&) = delete;
  TInterruptGuard& operator=(const TInterruptGuard&) = delete;

private:
  struct sigaction FOld {};
};

// --eml-dir: each message as DIR/00001.eml (the bytes DATA would carry)
// with its envelope in DIR/00001.env (sender, then one recipient a line).
class TEmlDirWriter {
public:
  explicit TEmlDirWriter(std::filesystem::path dir) : FDir(std::move(dir)) {
    std::error_code ec;
    std::filesystem::create_directories(FDir, ec);
    if (!std::filesystem::is_directory(FDir))
      throw std::runtime_error("Der Ordner \"" + Utf8ToCp1252(FDir.string()) + "\" kann nicht angelegt werden.");
  }

  bool Write(const TOutgoingMail& mail) const {
    char base[32];
    std::snprintf(base, sizeof base, "%05d", mail.Index + 1);
    std::string envelope = ExtractAddress(mail.Sender) + "\n";
    for (const std::string& a : mail.EnvelopeAddresses()) envelope += a + "\n";
    // The envelope first: whoever picks up a .eml finds its .env beside
    // it. A message that cannot be written takes its envelope along.
    const std::filesystem::path env = FDir / (std::string(base) + ".env");
    const std::filesystem::path eml = FDir / (std::string(base) + ".eml");
    WriteFile(env, envelope);
    try {
      WriteFile(eml, mail.MessageText());
    } catch (...) {
      std::error_code ec;
      if (std::filesystem::is_regular_file(std::filesystem::symlink_status(eml, ec))) std::filesystem::remove(eml, ec);
      std::filesystem::remove(env, ec);
      throw;
    }
    return true;
  }

private:
  static void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("Die Datei \"" + Utf8ToCp1252(path.string()) + "\" kann nicht geschrieben werden.");
  }

  std::filesystem::path FDir;
};

// The progress bar, redrawn in place on a terminal.
void DrawBar(std::ostream& err, const TSendRun& run) {
  constexpr int kWidth = 30;
  const int filled = run.Progress() * kWidth / 100;
  err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
      << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] " << run.Progress() << "% "
      << run.Processed() << '/' << run.MessageCount() << std::flush;
}

void ClearBar(std::ostream& err) { err << "\r\033[K" << std::flush; }

int IndexArg(const TCliArgs& args, const std::string& name) {
  if (!args.Has(name)) throw TCliUsageError{name + " fehlt"};
  const long n = args.GetInt(name, -1);
  // An index no box can have selects nothing.
  return n < 0 || n > INT_MAX ? -1 : static_cast<int>(n);
}

int RunSend(TCliContext& ctx) {
  TSendChoice choice;
  choice.MailIndex = IndexArg(ctx.Args, "--mail");
  choice.KontoIndex = IndexArg(ctx.Args, "--account");
  if (ctx.Args.Has("--personal") && ctx.Args.Has("--bcc"))
    throw TCliUsageError{"entweder --personal oder --bcc"};
  long bccSize = 0;
  if (ctx.Args.Has("--bcc")) {
    bccSize = ctx.Args.GetInt("--bcc", 0);
    if (bccSize < TOptions::MinBcc || bccSize > TOptions::MaxBcc)
      throw TCliUsageError{"--bcc erwartet eine Zahl von 1 bis 100"};
  }

  TMailList mails;
  TKontoList konten;
  TDbf table;
  TRecipientList rows;
  try {
    const TCliState state(ctx.Dir);
    choice.BatchMode = state.Options.Bcc;
    choice.BccCount = state.Options.BccCount;
    if (ctx.Args.Has("--personal")) choice.BatchMode = false;
    if (ctx.Args.Has("--bcc")) {
      choice.BatchMode = true;
      choice.BccCount = static_cast<double>(bccSize);
    }
    const TMailLoadResult mr = TMailStore::Open(ctx.Dir, mails);
    if (!mr.Error.empty()) throw ECliStateError(mr.Error);
    const TKontoLoadResult kr = TKontoStore::Open(ctx.Dir, konten);
    if (!kr.Error.empty()) throw ECliStateError(kr.Error);
    if (ctx.Args.Has("--to")) {
      choice.Recipients = TRecipientChoice::One;
      choice.TypedAddress = Utf8ToCp1252(ctx.Args.Get("--to"));
    } else {
      state.OpenTable(table, Utf8ToCp1252(ctx.Args.Get("--filter")));
      rows = ReadRecipientList(table, state.Options.MailField);
    }
  } catch (const ECliStateError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }

  std::optional<TEmlDirWriter> emlDir;
  // The decisions about servers; the command line asks no questions, they
  // are made beforehand with postello-cli security.
  std::optional<TStoredServerTrust> trust;
  TSMTPSendOptions smtp;
  smtp.Cancel = &gInterrupted;
  TSendRun::TDeliver deliver = [&smtp](const TOutgoingMail& mail) { return DeliverMail(mail, smtp); };
  try {
    if (ctx.Args.Has("--eml-dir")) {
      emlDir.emplace(ctx.Args.Get("--eml-dir"));
      deliver = [&emlDir](const TOutgoingMail& mail) { return emlDir->Write(mail); };
    } else {
      trust.emplace(ctx.Dir);
      if (!trust->LoadError().empty()) ctx.Err << CliText(trust->LoadError()) << "\n";
      smtp.Trust = &*trust;
    }
  } catch (const std::exception& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  const auto reportProblems = [&] {
    if (trust)
      for (const std::string& problem : trust->TakeProblems()) ctx.Err << CliText(problem) << "\n";
  };

  ZIzorAvarivi2000 msg;
  msg.ApplyFormSettings();
  TSendRun run(msg, table);
  const bool bar = isatty(STDERR_FILENO) == 1;
  run.OnErrorLog = [&](const std::string& line) {
    if (bar) ClearBar(ctx.Err);
    ctx.Err << CliText(line) << "\n";
  };
  run.OnProgress = [&] {
    if (bar && run.Sending()) DrawBar(ctx.Err, run);
  };
  run.OnIdle = [&run] {
    if (gInterrupted) run.RequestCancel();
  };

  TInterruptGuard interrupts;
  try {
    run.Run(choice, rows, konten, mails, deliver);
  } catch (const ESendRefused& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  } catch (const std::exception& e) {
    if (bar) ClearBar(ctx.Err);
    reportProblems();
    ctx.Err << CliText(e.what()) << "\n";
    ctx.Out << CliText(run.StatusText()) << "\n";
    return kExitRefused;
  }
  if (bar) ClearBar(ctx.Err);
  reportProblems();
  ctx.Out << CliText(run.StatusText()) << "\n";
  return run.FailedCount() > 0 || run.Cancelled() ? kExitPartly : kExitOk;
}

const TCliRegistrar reg({"send",
                         "versendet eine Mail von einem Konto an die Empf\xE4nger der Datenbank (oder an --to)",
                         "",
                         0,
                         0,
                         {{"--mail", "N", "Nummer der Mail (siehe postello-cli mails)"},
                          {"--account", "N", "Nummer des Absender-Kontos (siehe postello-cli accounts)"},
                          {"--personal", "", "eine Mail pro Empf\xE4nger, Felder eingesetzt"},
                          {"--bcc", "SIZE", "eine Mail f\xFCr je SIZE Empf\xE4nger (1 bis 100), nur im Umschlag"},
                          {"--filter", "TEXT", "nur Datens\xE4tze, die TEXT enthalten"},
                          {"--to", "ADDRESS", "nur an diese eine Adresse, ohne Felder"},
                          {"--eml-dir", "DIR", "nichts senden: DIR/00001.eml und DIR/00001.env schreiben"}},
                         RunSend});

} // namespace
} // namespace postello
