// postello-cli send: the send run of the send page, from the command line.
#include "cli/TCliCommand.h"
#include "cli/TInterruptGuard.h"
#include "cli/TCliState.h"

#include "core/Cp1252.h"
#include "core/StoredDateTime.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "keyring/TSystemGrantStore.h"
#include "mime/ZIzorAvarivi2000.h"
#include "send/PreSendCheck.h"
#include "send/TOAuthTokens.h"
#include "send/TRecipientList.h"
#include "send/TResumePlan.h"
#include "send/TSendPacer.h"
#include "send/TSendPool.h"
#include "send/TSendRun.h"
#include "smtp/TSmtpSession.h"
#include "smtp/TStoredServerTrust.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <ostream>

namespace postello {
namespace {

std::atomic<bool>& gInterrupted = TInterruptGuard::Flag();

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

void ListAddresses(std::ostream& err, const std::string& title, const std::vector<std::string>& addresses) {
  for (const std::string& a : addresses) err << CliText(title + a) << "\n";
}

int RunSend(TCliContext& ctx) {
  const TCliArgs& args = ctx.Args;
  const bool resume = args.Has("--resume"), retry = args.Has("--retry-failed"), test = args.Has("--test");
  const bool check = args.Has("--check");
  if (int(resume) + int(retry) + int(test) > 1) throw TCliUsageError{"nur eine von --resume, --retry-failed, --test"};
  if ((resume || retry) && (args.Has("--account") || args.Has("--personal") || args.Has("--bcc") || args.Has("--to")))
    throw TCliUsageError{"--resume und --retry-failed nehmen Konto, Versandart und Empf\xC3\xA4nger aus dem Protokoll"};
  if (args.Has("--resend-uncertain") && !resume) throw TCliUsageError{"--resend-uncertain geh\xC3\xB6rt zu --resume"};
  if (args.Has("--record") && !test) throw TCliUsageError{"--record geh\xC3\xB6rt zu --test"};
  if (test && args.Has("--to")) throw TCliUsageError{"entweder --test oder --to"};

  TSendChoice choice;
  choice.MailIndex = IndexArg(args, "--mail");
  if (!resume && !retry) choice.KontoIndex = IndexArg(args, "--account");
  if (args.Has("--personal") && args.Has("--bcc"))
    throw TCliUsageError{"entweder --personal oder --bcc"};
  long bccSize = 0;
  if (args.Has("--bcc")) {
    bccSize = args.GetInt("--bcc", 0);
    if (bccSize < TOptions::MinBcc || bccSize > TOptions::MaxBcc)
      throw TCliUsageError{"--bcc erwartet eine Zahl von 1 bis 100"};
  }
  long record = 0;
  if (args.Has("--record")) {
    record = args.GetInt("--record", 0);
    if (record < 0) throw TCliUsageError{"--record erwartet eine Datensatz-Position ab 0"};
  }

  TMailList mails;
  TKontoList konten;
  TDbf table;
  TRecipientList rows;
  std::vector<std::uint32_t> skipped;
  long mailField = 0;
  try {
    const TCliState state(ctx.Dir);
    mailField = state.Options.MailField;
    choice.BatchMode = state.Options.Bcc;
    choice.BccCount = state.Options.BccCount;
    if (args.Has("--personal")) choice.BatchMode = false;
    if (args.Has("--bcc")) {
      choice.BatchMode = true;
      choice.BccCount = static_cast<double>(bccSize);
    }
    const TMailLoadResult mr = TMailStore::Open(ctx.Dir, mails);
    if (!mr.Error.empty()) throw ECliStateError(mr.Error);
    // The check lists these among its findings.
    if (!check && choice.MailIndex >= 0 && static_cast<std::uint32_t>(choice.MailIndex) < mails.Count())
      for (const std::string& note : PreSendNotes(mails[static_cast<std::uint32_t>(choice.MailIndex)]))
        ctx.Err << CliText(note) << "\n";
    const TKontoLoadResult kr = TKontoStore::Open(ctx.Dir, konten);
    if (!kr.Error.empty()) throw ECliStateError(kr.Error);
    // The window can only pick what its boxes hold; here the refusal names
    // the number that was given and what there is.
    if (choice.MailIndex < 0 || static_cast<std::uint32_t>(choice.MailIndex) >= mails.Count())
      throw ECliStateError(NoSuchMailText(ctx.Args.GetInt("--mail", -1), mails.Count()));

    std::optional<TJournalRun> last;
    if (resume || retry) {
      if (choice.MailIndex < 0 || static_cast<std::uint32_t>(choice.MailIndex) >= mails.Count())
        throw ECliStateError(TSendRun::kNoMail);
      const TMailRec& mail = mails[static_cast<std::size_t>(choice.MailIndex)];
      try {
        last = LastRunOfMail(ctx.Dir, mail.Id, mail.Subject, DateTimeToText(mail.Date), mail.FirstDate);
      } catch (const EJournalError& e) {
        throw ECliStateError(e.what());
      }
      if (!last) throw ECliStateError("Zu dieser Mail gibt es kein Versandprotokoll.");
      // A journal that lost lines could make its messages look done.
      if (last->Broken) throw ECliStateError(last->Problem());
      if (!last->Problem().empty()) ctx.Err << CliText(last->Problem()) << "\n";
      choice.KontoIndex = RunAccountIndex(konten, last->Info);
      if (choice.KontoIndex < 0)
        throw ECliStateError("Das Konto des Laufs (" + last->Info.Account + ", " + last->Info.Server +
                             ") gibt es nicht mehr.");
      choice.BatchMode = last->Info.BatchMode;
      choice.BccCount = last->Info.BatchSize;
      choice.Kind = resume ? TJournalRunKind::Resume : TJournalRunKind::Retry;
      choice.Continues = last->FileName();
    }

    if (choice.KontoIndex < 0 || static_cast<std::uint32_t>(choice.KontoIndex) >= konten.Count())
      throw ECliStateError(
          NoSuchKontoText(args.Has("--account") ? args.GetInt("--account", -1) : choice.KontoIndex, konten.Count()));

    if (args.Has("--to")) {
      choice.Recipients = TRecipientChoice::One;
      choice.TypedAddress = Utf8ToCp1252(args.Get("--to"));
    } else {
      // A resumed run looks for its addresses with the filter it had.
      choice.FilterText = args.Has("--filter") || !last ? Utf8ToCp1252(args.Get("--filter")) : last->Info.Filter;
      choice.DatabaseFile = state.DatabaseFile();
      state.OpenTable(table, choice.FilterText);
      rows = ReadRecipientList(table, state.Options.MailField, &skipped);
    }

    if (last) {
      const bool sameTable = !last->Info.Database.empty() && last->Info.Database == choice.DatabaseFile;
      const TResumePlan plan = resume ? PlanResume(*last, rows, args.Has("--resend-uncertain"))
                                      : PlanRetry(*last, rows, sameTable);
      if (!args.Has("--resend-uncertain"))
        ListAddresses(ctx.Err, "Unsicher, nicht erneut gesendet (mit --resend-uncertain senden): ", plan.Uncertain);
      ListAddresses(ctx.Err, "Nicht mehr in der Datenbank, \xFC" "bergangen: ", plan.Missing);
      for (const TResumePlan::TCorrection& c : plan.Corrected)
        ctx.Err << CliText("Korrigiert: " + c.Old + " -> " + c.New) << "\n";
      if (plan.Empty()) {
        ctx.Out << "Nichts zu senden.\n";
        return kExitOk;
      }
      choice.TakeRecipients(plan);
    }

    if (test) {
      choice.Kind = TJournalRunKind::Test;
      choice.TestAddress = Utf8ToCp1252(args.Get("--test"));
      if (args.Has("--record")) {
        const auto row = std::find_if(rows.begin(), rows.end(),
                                      [&](const TRecipientRow& r) { return r.Position == static_cast<std::uint64_t>(record); });
        if (row == rows.end())
          throw ECliStateError("Einen Datensatz mit Adresse an der Position " + std::to_string(record) +
                               " gibt es nicht (siehe postello-cli recipients).");
        choice.SelectedRows = {static_cast<std::size_t>(row - rows.begin())};
      } else if (!rows.empty()) {
        choice.SelectedRows = {0};
      }
    }
  } catch (const ECliStateError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }

  ZIzorAvarivi2000 msg;
  msg.ApplyFormSettings();

  if (check) {
    // Sends nothing and writes nothing; only asks the server its size limit.
    std::int64_t limit = -1;
    std::string unreached;
    if (!args.Has("--eml-dir") && choice.KontoIndex >= 0 && static_cast<std::uint32_t>(choice.KontoIndex) < konten.Count()) {
      TSMTPSendOptions probeOptions;
      probeOptions.MessageTimeLimit = 20000;
      probeOptions.Cancel = &gInterrupted;
      const TServerProbe probe = ProbeServer(konten[static_cast<std::size_t>(choice.KontoIndex)].Server, probeOptions);
      if (probe.Reached)
        limit = probe.SizeLimit;
      else
        unreached = probe.Reason;
    }
    TPreSendReport report;
    TChildProcess runner;
    const TSpamCheck spam(runner);
    try {
      report = CheckRun(msg, table, choice, rows, skipped, konten, mails, limit, mailField, &spam, ctx.Dir);
    } catch (const ESendRefused& e) {
      ctx.Err << CliText(e.what()) << "\n";
      return kExitRefused;
    }
    if (!unreached.empty()) report.Facts.push_back("Der Server war nicht zu erreichen: " + unreached);
    const std::string text = report.Text();
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find('\n', start);
      ctx.Out << CliText(text.substr(start, end - start)) << "\n";
      start = end + 1;
    }
    return report.Clean() ? kExitOk : kExitPartly;
  }

  std::optional<TEmlDirWriter> emlDir;
  // The decisions about servers; the command line asks no questions, they
  // are made beforehand with postello-cli security.
  std::optional<TStoredServerTrust> trust;
  // Accounts that signed in with OAuth (postello-cli oauth).
  TSystemGrantStore grants(ctx.Dir);
  TOAuthTokens tokens(grants);
  TSMTPSendOptions smtp;
  smtp.Cancel = &gInterrupted;
  // The account's rate: messages spaced, a rate-limit reply paused for;
  // its sessions: how many messages each carries, how many at once.
  TKontoRec konto;
  if (choice.KontoIndex >= 0 && static_cast<std::uint32_t>(choice.KontoIndex) < konten.Count())
    konto = konten[static_cast<std::uint32_t>(choice.KontoIndex)];
  TSendPacer pacer(konto.RatePerMinute);
  pacer.Cancel = &gInterrupted;
  const int parallel = std::clamp(konto.Parallel, 1, 8);
  // Made once the options are complete (the session copies them).
  std::optional<TSmtpSession> session;
  TSendRun::TDeliver deliver = [&session, &pacer](const TOutgoingMail& mail) {
    return pacer.Deliver(mail, [&session](const TOutgoingMail& m) { return session->Deliver(m); });
  };
  try {
    if (args.Has("--eml-dir")) {
      emlDir.emplace(args.Get("--eml-dir"));
      deliver = [&emlDir](const TOutgoingMail& mail) { return emlDir->Write(mail); };
    } else {
      trust.emplace(ctx.Dir);
      if (!trust->LoadError().empty()) ctx.Err << CliText(trust->LoadError()) << "\n";
      smtp.Trust = &*trust;
      smtp.Tokens = &tokens;
    }
  } catch (const std::exception& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  const auto reportProblems = [&] {
    if (trust)
      for (const std::string& problem : trust->TakeProblems()) ctx.Err << CliText(problem) << "\n";
  };

  TSendRun run(msg, table);
  // Every run leaves its journal in the data folder.
  run.JournalDir = ctx.Dir;
  const bool bar = isatty(STDERR_FILENO) == 1;
  // With several sessions the pacer waits on their threads.
  std::mutex errLock;
  run.OnErrorLog = [&](const std::string& line) {
    const std::lock_guard<std::mutex> hold(errLock);
    if (bar) ClearBar(ctx.Err);
    ctx.Err << CliText(line) << "\n";
  };
  run.OnProgress = [&] {
    const std::lock_guard<std::mutex> hold(errLock);
    if (bar && run.Sending()) DrawBar(ctx.Err, run);
  };
  pacer.OnWait = [&](std::chrono::milliseconds left) {
    const std::lock_guard<std::mutex> hold(errLock);
    if (bar && left.count() > 0) ctx.Err << "\r\033[KWarte " << (left.count() + 999) / 1000 << " s" << std::flush;
  };

  run.OnIdle = [&run] {
    if (gInterrupted) run.RequestCancel();
  };

  TInterruptGuard interrupts;
  try {
    if (emlDir || parallel <= 1) {
      session.emplace(smtp, konto.Reuse);
      run.Run(choice, rows, konten, mails, deliver);
      session->Close();
    } else {
      TSendPool pool(
          parallel, [&smtp, &konto] { return std::make_unique<TSmtpSession>(smtp, konto.Reuse); },
          [&pacer](TSmtpSession& s, const TOutgoingMail& mail) {
            return pacer.Deliver(mail, [&s](const TOutgoingMail& m) { return s.Deliver(m); });
          });
      run.Start(choice, rows, konten, mails);
      RunOnPool(run, pool);
    }
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
                         {{"--mail", "NUMMER", "Nummer der Mail (siehe postello-cli mails)", true},
                          {"--account", "NUMMER", "Nummer des Absender-Kontos (siehe postello-cli accounts); Pflichtangabe au\xDF" "er mit --resume oder --retry-failed, die das Konto des letzten Versands nehmen"},
                          {"--personal", "", "eine Mail pro Empf\xE4nger, Felder eingesetzt"},
                          {"--bcc", "ANZAHL", "eine Mail f\xFCr je ANZAHL Empf\xE4nger (1 bis 100), nur im Umschlag"},
                          {"--filter", "TEXT", "nur Datens\xE4tze, die TEXT enthalten"},
                          {"--to", "ADRESSE", "nur an diese eine Adresse, ohne Felder"},
                          {"--eml-dir", "ORDNER", "nichts senden: ORDNER/00001.eml und ORDNER/00001.env schreiben"},
                          {"--check", "", "nur pr\xFC" "fen, nichts senden: Status 0 ohne Befund, sonst 1"},
                          {"--resume", "", "den letzten Versand der Mail fortsetzen (Konto und Versandart wie dort)"},
                          {"--resend-uncertain", "", "mit --resume auch die unsicheren Nachrichten erneut senden"},
                          {"--retry-failed", "", "die fehlgeschlagenen Nachrichten des letzten Versands erneut senden"},
                          {"--test", "ADRESSE", "eine Testmail (Betreff \"[Test] ...\") an ADRESSE"},
                          {"--record", "NUMMER", "mit --test: die Felder des Datensatzes an Position NUMMER (sonst des ersten)"}},
                         RunSend});

} // namespace
} // namespace postello
