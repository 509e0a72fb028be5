// postello-cli mail-options: shows and sets the options a mail keeps beside
// mails.dat (unsubscribe targets, merged subject, To line of batch mails).
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
  const long index = ctx.Args.GetInt("--mail", -1);
  const bool change = ctx.Args.Has("--unsubscribe") || ctx.Args.Has("--merge-subject") ||
                      ctx.Args.Has("--bcc-to");
  std::string unsubscribe;
  if (ctx.Args.Has("--unsubscribe")) {
    unsubscribe = Utf8ToCp1252(ctx.Args.Get("--unsubscribe"));
    if (const std::string bad = CheckUnsubscribeText(unsubscribe); !bad.empty()) throw TCliUsageError{CliText(bad)};
  }
  const bool mergeSubject = ctx.Args.Has("--merge-subject") && YesNo("--merge-subject", ctx.Args.Get("--merge-subject"));
  const bool bccTo = !ctx.Args.Has("--bcc-to") || YesNo("--bcc-to", ctx.Args.Get("--bcc-to"));

  TMailList mails;
  const TMailLoadResult r = TMailStore::Open(ctx.Dir, mails);
  if (!r.Error.empty()) {
    ctx.Err << CliText(r.Error) << "\n";
    return kExitRefused;
  }
  if (index < 0 || index >= static_cast<long>(mails.Count())) {
    ctx.Err << CliText(NoSuchMailText(index, mails.Count())) << "\n";
    return kExitRefused;
  }
  TMailRec& mail = mails[static_cast<std::uint32_t>(index)];
  if (change) {
    if (ctx.Args.Has("--unsubscribe")) mail.Unsubscribe = unsubscribe;
    if (ctx.Args.Has("--merge-subject")) mail.MergeSubject = mergeSubject;
    if (ctx.Args.Has("--bcc-to")) mail.BccToLine = bccTo;
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
          << "Platzhalter im Betreff ersetzen: " << (mail.MergeSubject ? "ja" : "nein") << "\n"
          << CliText("An-Zeile f\xFCr Bcc-Mails: ") << (mail.BccToLine ? "ja" : "nein") << "\n";
  for (const std::string& note : PreSendNotes(mail)) ctx.Err << CliText(note) << "\n";
  return kExitOk;
}

const TCliRegistrar reg({"mail-options",
                         "zeigt und setzt die Optionen einer Mail: Abmelde-Adressen, Platzhalter im Betreff, "
                         "An-Zeile f\xFCr Bcc-Mails",
                         "",
                         0,
                         0,
                         {{"--mail", "NUMMER", "Nummer der Mail (siehe postello-cli mails)", true},
                          {"--unsubscribe", "TEXT",
                           "mailto:- und https:-Ziele, durch Komma getrennt, Platzhalter erlaubt; leer: keine"},
                          {"--merge-subject", "JA|NEIN", "Platzhalter im Betreff ersetzen (ja oder nein)"},
                          {"--bcc-to", "JA|NEIN",
                           "Sammelmails erhalten \"To: undisclosed-recipients:;\" (ja oder nein; Vorgabe ja)"}},
                         RunMailOptions});

} // namespace
} // namespace postello
