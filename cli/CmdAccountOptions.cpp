// postello-cli account-options: shows and sets the sending options an
// account keeps beside konten.dat.
#include "cli/TCliCommand.h"

#include "core/SafeFile.h"
#include "core/TKontoOptionsStore.h"
#include "core/TKontoStore.h"

#include <climits>
#include <ostream>

namespace postello {
namespace {

int Count(const TCliArgs& args, const std::string& name, long low, long high) {
  const long n = args.GetInt(name, 0);
  if (n < low || n > high)
    throw TCliUsageError{name + " erwartet eine Zahl von " + std::to_string(low) + " bis " + std::to_string(high)};
  return static_cast<int>(n);
}

int RunAccountOptions(TCliContext& ctx) {
  const long index = ctx.Args.GetInt("--account", -1);
  const bool reuse = ctx.Args.Has("--reuse"), parallel = ctx.Args.Has("--parallel"), rate = ctx.Args.Has("--rate");
  const int reuseN = reuse ? Count(ctx.Args, "--reuse", 0, 100000) : 0;
  const int parallelN = parallel ? Count(ctx.Args, "--parallel", 1, TKontoOptionsStore::MaxParallel) : 1;
  const int rateN = rate ? Count(ctx.Args, "--rate", 0, 100000) : 0;

  TKontoList konten;
  TKontoRec* konto = OpenCliKonto(ctx, index, konten);
  if (konto == nullptr) return kExitRefused;
  TKontoRec& k = *konto;
  if (reuse || parallel || rate) {
    if (reuse) k.Reuse = reuseN;
    if (parallel) k.Parallel = parallelN;
    if (rate) k.RatePerMinute = rateN;
    // Only the options file is written: konten.dat keeps its bytes.
    try {
      TKontoOptionsStore::Save(ctx.Dir, konten);
    } catch (const ESaveError& e) {
      ctx.Err << CliText(e.what()) << "\n";
      return kExitRefused;
    }
  }
  ctx.Out << "Konto: " << CliText(k.Absender) << " " << CliText(k.Email) << "\n"
          << "Mehrere Mails pro Verbindung: " << k.Reuse << "\n"
          << "Parallele Verbindungen: " << k.Parallel << "\n"
          << "H\xC3\xB6" "chstens Mails pro Minute: " << k.RatePerMinute << "\n";
  return kExitOk;
}

const TCliRegistrar reg({"account-options",
                         "zeigt und setzt die Versand-Optionen eines Kontos",
                         "",
                         0,
                         0,
                         {{"--account", "NUMMER", "Nummer des Kontos (siehe postello-cli accounts)", true},
                          {"--reuse", "ANZAHL", "Mails pro Verbindung; 0: eine Verbindung pro Mail"},
                          {"--parallel", "ANZAHL", "Verbindungen gleichzeitig, 1 bis 8"},
                          {"--rate", "ANZAHL", "h\xF6" "chstens ANZAHL Mails pro Minute; 0: keine Grenze"}},
                         RunAccountOptions});

} // namespace
} // namespace postello
