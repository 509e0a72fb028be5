// postello-cli recipients: the rows the send page lists.
#include "cli/TCliCommand.h"
#include "cli/TCliState.h"

#include "core/Cp1252.h"
#include "send/TRecipientList.h"

#include <ostream>

namespace postello {
namespace {

int RunRecipients(TCliContext& ctx) {
  TDbf table;
  long mailField = 0;
  try {
    const TCliState state(ctx.Dir);
    state.OpenTable(table, Utf8ToCp1252(ctx.Args.Get("--filter")));
    mailField = state.Options.MailField;
  } catch (const ECliStateError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  for (const TRecipientRow& row : ReadRecipientList(table, mailField))
    ctx.Out << CliText(row.Address) << '\t' << row.Position << '\n';
  return kExitOk;
}

const TCliRegistrar reg({"recipients",
                         "listet die Empf\xE4nger wie die Seite \"eMails senden\": Adresse, Datensatz-Position",
                         "",
                         0,
                         0,
                         {{"--filter", "TEXT", "nur Datens\xE4tze, die TEXT enthalten"}},
                         RunRecipients});

} // namespace
} // namespace postello
