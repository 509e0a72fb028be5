// postello-cli newdb: a new, empty address table under the database name.
#include "cli/TCliCommand.h"
#include "cli/TCliState.h"

#include "addressdb/AddressDb.h"
#include "core/Cp1252.h"
#include "core/QuotedContent.h"

#include <filesystem>
#include <ostream>

namespace postello {
namespace {

int RunNewdb(TCliContext& ctx) {
  const long info = ctx.Args.GetInt("--info", 2);
  if (info < 0 || info > kMaxInfoFields) throw TCliUsageError{"--info erwartet eine Zahl von 0 bis 100"};
  std::string file;
  try {
    file = TCliState(ctx.Dir).DatabaseFile();
  } catch (const ECliStateError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  std::error_code ec;
  if (!ctx.Args.Has("--force") && std::filesystem::exists(file, ec)) {
    ctx.Err << CliText("Die Datei \"" + QuotedContent(Utf8ToCp1252(file)) +
                       "\" gibt es schon; mit --force wird sie durch eine leere Datenbank ersetzt.")
            << "\n";
    return kExitRefused;
  }
  try {
    TDbf table;
    table.SetFileName(file);
    CreateAddressTable(table, static_cast<int>(info));
    table.Close();
  } catch (const std::exception& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  ctx.Out << file << "\n";
  return kExitOk;
}

const TCliRegistrar reg({"newdb",
                         "legt unter dem Namen der Datenbank eine neue, leere Datenbank mit den Feldern des Programms an",
                         "",
                         0,
                         0,
                         {{"--info", "N", "Anzahl der Info-Felder (0 bis 100, ohne Angabe 2)"},
                          {"--force", "", "eine vorhandene Datei ersetzen (alle Datens\xE4tze gehen verloren)"}},
                         RunNewdb});

} // namespace
} // namespace postello
