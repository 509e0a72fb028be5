// postello-cli mail-options: shows and sets the options a mail keeps beside
// mails.dat (unsubscribe targets, merged subject).
#include "cli/TCliCommand.h"

#include "core/Cp1252.h"
#include "core/SafeFile.h"
#include "core/TMailOptionsStore.h"
#include "core/TMailStore.h"
#include "send/ListUnsubscribe.h"
#include "send/PreSendCheck.h"

#include <ostream>

namespace postello {
namespace {

bool YesNo(const std::string& name, const std::string& value) {
  if (value == "ja") return true;
  if (value == "nein") return false;
  throw TCliUsageError{name + " erwartet ja oder nein, nicht \"" + value + "\""};
}

int RunMailOptions(TCliContext& ctx) {
  if (!ctx.Args.Has("--mail")) throw TCliUsageError{"--mail fehlt"};
  const long index = ctx.Args.GetInt("--mail", -1);
  const bool change = ctx.Args.Has("--unsubscribe") || ctx.Args.Has("--merge-subject");
  std::string unsubscribe;
  if (ctx.Args.Has("--unsubscribe")) {
    unsubscribe = Utf8ToCp1252(ctx.Args.Get("--unsubscribe"));
    if (const std::string bad = CheckUnsubscribeText(unsubscribe); !bad.empty()) throw TCliUsageError{CliText(bad)};
  }
  const bool mergeSubject = ctx.Args.Has("--merge-subject") && YesNo("--merge-subject", ctx.Args.Get("--merge-subject"));

  TMailList mails;
  const TMailLoadResult r = TMailStore::Open(ctx.Dir, mails);
  if (!r.Error.empty()) {
    ctx.Err << CliText(r.Error) << "\n";
    return kExitRefused;
  }
  if (index < 0 || index >= static_cast<long>(mails.Count())) {
    ctx.Err << "Es gibt keine Mail mit der Nummer " << index << ".\n";
    return kExitRefused;
  }
  TMailRec& mail = mails[static_cast<std::uint32_t>(index)];
  if (change) {
    if (ctx.Args.Has("--unsubscribe")) mail.Unsubscribe = unsubscribe;
    if (ctx.Args.Has("--merge-subject")) mail.MergeSubject = mergeSubject;
    // Only the options file is written: mails.dat keeps its bytes.
    try {
      TMailOptionsStore::Save(ctx.Dir, mails);
    } catch (const ESaveError& e) {
      ctx.Err << CliText(e.what()) << "\n";
      return kExitRefused;
    }
  }
  ctx.Out << "Betreff: " << CliText(mail.Subject) << "\n"
          << "Abmelden: " << CliText(mail.Unsubscribe) << "\n"
          << "Platzhalter im Betreff ersetzen: " << (mail.MergeSubject ? "ja" : "nein") << "\n";
  for (const std::string& note : PreSendNotes(mail)) ctx.Err << CliText(note) << "\n";
  return kExitOk;
}

const TCliRegistrar reg({"mail-options",
                         "zeigt und setzt die Optionen einer Mail: Abmelde-Adressen, Platzhalter im Betreff",
                         "",
                         0,
                         0,
                         {{"--mail", "N", "Nummer der Mail (siehe postello-cli mails)"},
                          {"--unsubscribe", "TEXT",
                           "mailto:- und https:-Ziele, durch Komma getrennt, Platzhalter erlaubt; leer: keine"},
                          {"--merge-subject", "ja|nein", "Platzhalter im Betreff ersetzen"}},
                         RunMailOptions});

} // namespace
} // namespace postello
