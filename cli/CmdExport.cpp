// postello-cli export: the address table as a CSV or .xlsx file.
#include "cli/TCliCommand.h"
#include "cli/TCliState.h"

#include "addressdb/AddressExport.h"
#include "core/Cp1252.h"

#include <ostream>

namespace postello {
namespace {

int RunExport(TCliContext& ctx) {
  TDbf table;
  const std::string filter = Utf8ToCp1252(ctx.Args.Get("--filter"));
  try {
    TCliState(ctx.Dir).OpenTable(table, filter);
  } catch (const ECliStateError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  const std::string file = ctx.Args.Positional().front();
  try {
    const std::size_t n = ExportAddresses(table, file, !filter.empty());
    ctx.Out << n << "\n";
  } catch (const std::exception& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  return kExitOk;
}

const TCliRegistrar reg({"export",
                         "schreibt die Datens\xE4tze der Datenbank in eine CSV-Datei (UTF-8, Semikolon) oder, bei "
                         "der Endung .xlsx, in eine Excel-Tabelle und gibt ihre Anzahl aus",
                         "DATEI.csv|DATEI.xlsx",
                         1,
                         1,
                         {{"--filter", "TEXT", "nur die Datens\xE4tze, die den Text enthalten (wie der Filter des Fensters)"}},
                         RunExport});

} // namespace
} // namespace postello
