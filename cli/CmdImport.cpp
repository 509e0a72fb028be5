// postello-cli import: a TXT/CSV file into the address table.
#include "cli/TCliCommand.h"
#include "cli/TCliState.h"

#include "addressdb/TxtImport.h"

#include <ostream>

namespace postello {
namespace {

int RunImport(TCliContext& ctx) {
  TDbf table;
  try {
    const TCliState state(ctx.Dir);
    state.OpenTable(table, {}, true);
  } catch (const ECliStateError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  try {
    // The file name stays as given: it names a file of this system.
    ctx.Out << ImportTextFile(table, ctx.Args.Positional().front()) << "\n";
  } catch (const std::exception& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  table.Close();
  return kExitOk;
}

const TCliRegistrar reg({"import",
                         "h\xE4ngt die Zeilen einer TXT/CSV-Datei (Felder durch ; getrennt) an die Datenbank an und "
                         "gibt ihre Anzahl aus",
                         "FILE",
                         1,
                         1,
                         {},
                         RunImport});

} // namespace
} // namespace postello
