// postello-cli newdb: a new, empty address table under the database name,
// or one fitted to an address file and filled from it.
#include "cli/TCliCommand.h"
#include "cli/CliAddressFile.h"
#include "cli/TCliState.h"

#include "addressdb/AddressDb.h"
#include "addressdb/AddressFileImport.h"
#include "core/Cp1252.h"
#include "core/QuotedContent.h"
#include "core/SafeFile.h"
#include "send/PreSendCheck.h"

#include <filesystem>
#include <ostream>

namespace postello {

namespace {

// The table fitted to the file; the file is read before the old table goes.
int NewdbFrom(TCliContext& ctx, const std::string& table) {
  const std::string from = ctx.Args.Get("--from");
  return WorkOnAddressFile(ctx, from, [&] {
    const TAddressRowsOptions rowsOptions = CliRowsOptions(ctx.Args);
    std::vector<std::string> firstRow;
    std::size_t columns = 0;
    const bool header = CliHeaderRow(ctx.Args, from, rowsOptions, {}, firstRow, columns);
    TDbf dbf;
    TImportOptions options;
    options.IsValidAddress = IsValidMailbox;
    const TImportReport report = ImportIntoFittedTable(dbf, table, from, rowsOptions, header, options);
    dbf.Close();
    // The fitted table holds the address in its first field; a remembered
    // other field number would make later runs send to another column.
    TCliState state(ctx.Dir);
    if (state.Options.MailField != 0) {
      state.Options.MailField = 0;
      SaveFileSafely(ctx.Dir + TOptions::FileName, state.Options.Encode());
    }
    ctx.Out << table << "\n";
    PrintReport(ctx.Out, report, false);
  });
}

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
  if (ctx.Args.Has("--from")) return NewdbFrom(ctx, file);
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
                         "legt unter dem Namen der Datenbank eine neue, leere Datenbank mit den Feldern des Programms an "
                         "oder, mit --from, eine nach den Spalten einer Adressdatei und importiert sie",
                         "",
                         0,
                         0,
                         {{"--info", "ANZAHL", "Anzahl der Info-Felder (0 bis 100, ohne Angabe 2)"},
                          {"--force", "", "eine vorhandene Datei ersetzen (alle Datens\xE4tze gehen verloren)"},
                          {"--from", "DATEI", "Felder nach den Spalten dieser Adressdatei, so breit wie ihr l\xE4ngster Wert"},
                          {"--header", "JA|NEIN", "ob die erste Zeile die Spaltennamen enth\xE4lt (ohne Angabe: erkannt)"},
                          {"--sheet", "NUMMER", "Tabelle einer Arbeitsmappe, ab 1 (ohne Angabe die erste)"}},
                         RunNewdb});

} // namespace
} // namespace postello
