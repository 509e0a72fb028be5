// postello-cli blocklist: shows the block list of the data folder and adds
// or removes addresses.
#include "cli/TCliCommand.h"

#include "core/CountedNoun.h"
#include "core/Cp1252.h"
#include "send/TBlockList.h"

#include <ostream>

namespace postello {
namespace {

int RunBlockList(TCliContext& ctx) {
  const bool add = ctx.Args.Has("--add"), remove = ctx.Args.Has("--remove");
  if (add && remove) throw TCliUsageError{CliText("--add und --remove schlie\xDF" "en einander aus")};
  if (ctx.Args.Has("--reason") && !add) throw TCliUsageError{"--reason gilt nur mit --add"};
  try {
    TBlockList list = TBlockList::Load(ctx.Dir);
    if (add) {
      const std::string address = Utf8ToCp1252(ctx.Args.Get("--add"));
      if (list.Contains(address)) {
        ctx.Err << CliText("\"" + address + "\" steht bereits auf der Sperrliste.") << "\n";
      } else {
        if (!list.Add({address, Utf8ToCp1252(ctx.Args.Get("--reason")), "", "Hand"}))
          throw TCliUsageError{CliText("\"" + address + "\" ist keine Adresse")};
        list.Save(ctx.Dir);
      }
    } else if (remove) {
      const std::string address = Utf8ToCp1252(ctx.Args.Get("--remove"));
      if (!list.Remove(address)) {
        ctx.Err << CliText("\"" + address + "\" steht nicht auf der Sperrliste.") << "\n";
        return kExitRefused;
      }
      list.Save(ctx.Dir);
    }
    for (const TBlockEntry& e : list.Entries())
      ctx.Out << CliText(e.Address) << '\t' << CliText(e.Reason) << '\t' << CliText(e.Date) << '\t'
              << CliText(e.Source) << "\n";
    ctx.Err << CountedNoun(list.Size(), "Adresse", "Adressen") << " auf der Sperrliste.\n";
  } catch (const EBlockListError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  return kExitOk;
}

const TCliRegistrar reg({"blocklist",
                         "zeigt die Sperrliste (Adressen, an die nie gesendet wird) und \xE4ndert sie",
                         "",
                         0,
                         0,
                         {{"--add", "ADRESSE", "setzt die Adresse auf die Sperrliste"},
                          {"--reason", "TEXT", "Grund f\xFCr --add"},
                          {"--remove", "ADRESSE", "nimmt die Adresse von der Sperrliste"}},
                         RunBlockList});

} // namespace
} // namespace postello
