// postello-cli journal: the send journals of the data folder, a list of
// the runs or the messages of one run.
#include "cli/TCliCommand.h"

#include "core/CountedNoun.h"
#include "core/Cp1252.h"
#include "send/TSendJournal.h"

#include <ostream>

namespace postello {
namespace {

constexpr const char* kNoResult = "kein Ergebnis, der Lauf endete vorher";

std::string Summary(const TJournalRun& run) {
  return std::to_string(run.Count(TJournalResult::Sent)) + " gesendet, " +
         std::to_string(run.Count(TJournalResult::Failed)) + " fehlgeschlagen, " +
         std::to_string(run.Count(TJournalResult::Uncertain)) + " unsicher, " +
         std::to_string(run.Count(TJournalResult::NotSent) + run.Count(TJournalResult::None)) + " nicht gesendet";
}

std::string RecNos(const std::vector<std::uint32_t>& recNos) {
  std::string out;
  for (std::uint32_t r : recNos) {
    if (r == 0) continue;
    if (!out.empty()) out += ", ";
    out += std::to_string(r);
  }
  return out;
}

std::string Addresses(const std::vector<std::string>& addresses) {
  std::string out;
  for (const std::string& a : addresses) out += (out.empty() ? "" : ", ") + a;
  return out;
}

void PrintLine(std::ostream& out, const std::string& nr, const std::string& time, const std::vector<std::uint32_t>& recNos,
               const std::vector<std::string>& addresses, const std::string& result, const std::string& reason) {
  out << nr << '\t' << CliText(time) << '\t' << RecNos(recNos) << '\t' << CliText(Addresses(addresses)) << '\t'
      << CliText(result) << '\t' << CliText(reason) << '\n';
}

int RunJournal(TCliContext& ctx) {
  if (ctx.Args.Has("--run") && ctx.Args.Has("--last")) throw TCliUsageError{"entweder --run oder --last"};
  std::vector<std::string> paths;
  try {
    paths = ListJournals(ctx.Dir);
  } catch (const EJournalError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  const bool one = ctx.Args.Has("--run") || ctx.Args.Has("--last") || ctx.Args.Has("--failed");

  if (!one) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
      try {
        const TJournalRun run = ReadJournal(paths[i]);
        ctx.Out << i + 1 << '\t' << CliText(run.Info.StartTime) << '\t' << JournalRunKindText(run.Info.Kind) << '\t'
                << CliText(run.Info.Subject) << '\t' << CliText(run.Info.MailDate) << '\t'
                << CountedNoun(static_cast<std::size_t>(run.Info.MessageCount), "Nachricht", "Nachrichten") << '\t' << CliText(Summary(run)) << '\t'
                << (run.Unfinished() ? "nicht beendet" : "abgeschlossen") << '\n';
      } catch (const EJournalError& e) {
        ctx.Err << CliText(e.what()) << "\n";
      }
    }
    return kExitOk;
  }

  if (paths.empty()) {
    ctx.Err << CliText("Im Ordner \"" + Utf8ToCp1252(ctx.Dir) + "\" gibt es noch kein Versandprotokoll.") << "\n";
    return kExitRefused;
  }
  std::size_t index = paths.size();
  if (ctx.Args.Has("--run")) {
    const long n = ctx.Args.GetInt("--run", 0);
    if (n < 1 || static_cast<std::size_t>(n) > paths.size()) {
      ctx.Err << "Einen Lauf Nr. " << ctx.Args.Get("--run") << " gibt es nicht (1 bis " << paths.size() << ").\n";
      return kExitRefused;
    }
    index = static_cast<std::size_t>(n);
  }
  TJournalRun run;
  try {
    run = ReadJournal(paths[index - 1]);
  } catch (const EJournalError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  if (run.DamagedLines > 0)
    ctx.Err << CountedNoun(static_cast<std::size_t>(run.DamagedLines), "Zeile", "Zeilen") << " von " << CliText(run.FileName()) << ' '
            << ByCount(static_cast<std::size_t>(run.DamagedLines), "war", "waren")
            << " nicht lesbar (eine abgeschnittene letzte Zeile z\xC3\xA4hlt mit).\n";
  if (run.Broken) ctx.Err << CliText(run.Problem()) << "\n";

  const bool failedOnly = ctx.Args.Has("--failed");
  if (!failedOnly) {
    const TJournalRunInfo& i = run.Info;
    ctx.Out << "Lauf " << index << ": " << CliText(i.StartTime) << ' ' << JournalRunKindText(i.Kind) << " \""
            << CliText(i.Subject) << "\" (" << CliText(i.MailDate) << "), " << CliText(i.Account) << ", "
            << CliText(i.ModeText()) << ", " << CliText(i.Recipients);
    if (!i.Filter.empty()) ctx.Out << ", Filter \"" << CliText(i.Filter) << '"';
    if (!i.Continues.empty()) ctx.Out << ", zu " << CliText(i.Continues);
    ctx.Out << ", " << i.MessageCount << " Nachrichten: " << CliText(Summary(run)) << ", "
            << (run.Unfinished() ? "nicht beendet" : "abgeschlossen") << '\n';
  }
  for (const TJournalMessage& m : run.Plan) {
    const TJournalEntry* e = run.LastEntryOf(m.Nr);
    const TJournalResult r = e ? e->Result : TJournalResult::None;
    if (failedOnly && r != TJournalResult::Failed) continue;
    if (e)
      PrintLine(ctx.Out, std::to_string(m.Nr), e->Time, m.RecNos, m.Addresses, JournalResultText(r), e->Reason);
    else
      PrintLine(ctx.Out, std::to_string(m.Nr), "", m.RecNos, m.Addresses, JournalResultText(TJournalResult::NotSent),
                kNoResult);
  }
  if (!failedOnly)
    for (const TJournalEntry& e : run.Entries)
      if (e.Nr == 0) PrintLine(ctx.Out, "-", e.Time, e.RecNos, e.Addresses, JournalResultText(e.Result), e.Reason);
  return kExitOk;
}

const TCliRegistrar reg({"journal",
                         "zeigt die Versandprotokolle: ohne Optionen die L\xE4ufe, sonst die Nachrichten eines Laufs",
                         "",
                         0,
                         0,
                         {{"--run", "NUMMER", "die Nachrichten des Laufs NUMMER (aus der Liste)"},
                          {"--last", "", "die Nachrichten des letzten Laufs"},
                          {"--failed", "", "nur die fehlgeschlagenen Nachrichten (des letzten Laufs ohne --run)"}},
                         RunJournal});

} // namespace
} // namespace postello
