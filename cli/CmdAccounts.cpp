// postello-cli accounts: the sender accounts, never their passwords.
#include "cli/TCliCommand.h"

#include "core/Cp1252.h"
#include "core/TKontoStore.h"

#include <ostream>

namespace postello {
namespace {

int RunAccounts(TCliContext& ctx) {
  TKontoList konten;
  const TKontoLoadResult r = TKontoStore::Open(ctx.Dir, konten);
  if (!r.Error.empty()) {
    ctx.Err << CliText(r.Error) << "\n";
    return kExitRefused;
  }
  if (!r.FileFound) {
    ctx.Err << CliText("Im Ordner \"" + Utf8ToCp1252(ctx.Dir) + "\" gibt es keine " + TKontoStore::FileName +
                       "; es sind keine Konten gespeichert.")
            << "\n";
  }
  for (std::uint32_t i = 0; i < konten.Count(); ++i) {
    const TKontoRec& k = konten[i];
    ctx.Out << i << '\t' << CliText(k.Absender) << '\t' << CliText(k.Email) << '\t' << CliText(k.Server) << '\n';
  }
  return kExitOk;
}

const TCliRegistrar reg({"accounts", "listet die Absender-Konten: Nummer, Absender, eMail-Adresse, Server", "", 0, 0,
                         {}, RunAccounts});

} // namespace
} // namespace postello
