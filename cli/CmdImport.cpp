// postello-cli import: an address file into the address table, columns
// found by their header names or given with --map, and the report.
#include "cli/TCliCommand.h"
#include "cli/CliAddressFile.h"
#include "cli/TCliState.h"

#include "addressdb/AddressFileImport.h"
#include "core/Cp1252.h"
#include "send/PreSendCheck.h"

#include <ostream>

namespace postello {

namespace {

int RunImport(TCliContext& ctx) {
  const bool dryRun = ctx.Args.Has("--dry-run");
  TDbf table;
  int mailField = 0;
  try {
    const TCliState state(ctx.Dir);
    mailField = state.Options.MailField;
    state.OpenTable(table, {}, !dryRun);
  } catch (const ECliStateError& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  const TAddressRowsOptions rowsOptions = CliRowsOptions(ctx.Args);
  // The file name stays as given: it names a file of this system.
  const std::string file = ctx.Args.Positional().front();
  const int status = WorkOnAddressFile(ctx, file, [&] {
    const std::vector<std::string> fields = FieldNamesOf(table);
    std::vector<std::string> firstRow;
    std::size_t columns = 0;
    const bool header = CliHeaderRow(ctx.Args, file, rowsOptions, fields, firstRow, columns);
    TImportMapping mapping = DefaultMapping(firstRow, columns, header, fields, mailField);
    for (const std::string& assignment : ctx.Args.GetAll("--map")) {
      try {
        mapping.Apply(Utf8ToCp1252(assignment), header ? firstRow : std::vector<std::string>(), fields);
      } catch (const std::invalid_argument& e) {
        throw TCliUsageError{Cp1252ToUtf8(e.what())};
      }
    }
    TImportOptions options;
    options.SkipDuplicates = ctx.Args.Has("--skip-duplicates");
    options.DryRun = dryRun;
    options.MailField = mailField;
    options.IsValidAddress = IsValidMailbox;
    PrintReport(ctx.Out, ImportAddressFile(table, file, rowsOptions, header, mapping, options), dryRun);
  });
  if (status == kExitOk) table.Close();
  return status;
}

const TCliRegistrar reg({"import",
                         "h\xE4ngt die Zeilen einer Adressdatei (CSV/TXT, Excel, LibreOffice, vCard) an die Datenbank "
                         "an und gibt den Bericht aus",
                         "DATEI",
                         1,
                         1,
                         {{"--map", "SPALTE=FELD",
                           "Spalte (Name aus der Kopfzeile oder Nummer ab 1) in dieses Feld, - f\xFCr keines", false,
                           true},
                          {"--header", "JA|NEIN", "ob die erste Zeile die Spaltennamen enth\xE4lt (ohne Angabe: erkannt)"},
                          {"--sheet", "NUMMER", "Tabelle einer Arbeitsmappe, ab 1 (ohne Angabe die erste)"},
                          {"--skip-duplicates", "", "Doppelte Adressen \xFC" "berspringen"},
                          {"--dry-run", "", "nur pr\xFC" "fen und berichten, nichts \xE4ndern"}},
                         RunImport});

} // namespace
} // namespace postello
