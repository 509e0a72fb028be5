// postello-cli mails: the stored mails as the mail list shows them.
#include "cli/TCliCommand.h"

#include "core/StoredDateTime.h"
#include "core/TMailStore.h"

#include <ostream>

namespace postello {
namespace {

int RunMails(TCliContext& ctx) {
  TMailList mails;
  const TMailLoadResult r = TMailStore::Open(ctx.Dir, mails);
  if (!r.Error.empty()) {
    ctx.Err << CliText(r.Error) << "\n";
    return kExitRefused;
  }
  if (r.BadDates > 0) {
    ctx.Err << "Bei " << r.BadDates << " Mail(s) war das Datum nicht lesbar.\n";
  }
  for (std::uint32_t i = 0; i < mails.Count(); ++i) {
    const TMailRec& m = mails[i];
    ctx.Out << i << '\t' << CliText(m.Subject) << '\t' << DateTimeToText(m.Date) << '\t'
            << static_cast<int>(m.MailType) << '\n';
  }
  return kExitOk;
}

const TCliRegistrar reg({"mails", "listet die gespeicherten Mails: Nummer, Betreff, Datum, Art (0 Design, 1 HTML, 2 Text)",
                         "", 0, 0, {}, RunMails});

} // namespace
} // namespace postello
