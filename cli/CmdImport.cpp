// postello-cli import: a TXT/CSV file into the address table.
#include "cli/TCliCommand.h"
#include "cli/TCliState.h"

#include "addressdb/TxtImport.h"
#include "core/Cp1252.h"

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
  const std::string file = ctx.Args.Positional().front();
  try {
    // The file name stays as given: it names a file of this system.
    ctx.Out << ImportTextFile(table, file) << "\n";
  } catch (const TImportOpenError& e) {
    // Unlike the window, the command line has no dialog that just showed
    // the file: the message names it.
    ctx.Err << CliText("Die Datei \"" + Utf8ToCp1252(file) + "\" konnte nicht ge\xF6" "ffnet werden: " + e.Reason() +
                       ". Es wurde nichts importiert.")
            << "\n";
    return kExitRefused;
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
                         "DATEI",
                         1,
                         1,
                         {},
                         RunImport});

} // namespace
} // namespace postello
