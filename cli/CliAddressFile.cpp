#include "cli/CliAddressFile.h"

#include "core/Cp1252.h"
#include "core/SystemErrorText.h"

#include <ostream>
#include <sstream>

namespace postello {

TAddressRowsOptions CliRowsOptions(const TCliArgs& args) {
  TAddressRowsOptions options;
  const long sheet = args.GetInt("--sheet", 1);
  if (sheet < 1) throw TCliUsageError{"--sheet erwartet die Nummer der Tabelle ab 1"};
  options.sheet = static_cast<int>(sheet - 1);
  return options;
}

bool CliHeaderRow(const TCliArgs& args, const std::string& file, const TAddressRowsOptions& options,
                  const std::vector<std::string>& fieldNames, std::vector<std::string>& firstRow, std::size_t& columns) {
  const TAddressPreview preview = PreviewAddressFile(file, options, 20, fieldNames);
  firstRow = preview.Rows.empty() ? std::vector<std::string>() : preview.Rows.front();
  columns = preview.Columns;
  if (!args.Has("--header")) return preview.HeaderRow;
  const std::string v = args.Get("--header");
  if (v != "ja" && v != "nein") throw TCliUsageError{"--header erwartet ja oder nein"};
  return v == "ja";
}

void PrintReport(std::ostream& out, const TImportReport& report, bool dryRun) {
  std::istringstream lines(report.Text(dryRun));
  for (std::string line; std::getline(lines, line);) out << CliText(line) << "\n";
}

std::string CliFileError(const std::string& file, const TAddressFileError& e) {
  if (e.SystemError())
    return "Die Datei \"" + Utf8ToCp1252(file) + "\" konnte nicht ge\xF6" "ffnet werden: " +
           SystemErrorText(e.SystemError()) + ". Es wurde nichts importiert.";
  return std::string(e.what()) + " Es wurde nichts importiert.";
}

int WorkOnAddressFile(TCliContext& ctx, const std::string& file, const std::function<void()>& work) {
  try {
    work();
  } catch (const TAddressFileError& e) {
    ctx.Err << CliText(CliFileError(file, e)) << "\n";
    return kExitRefused;
  } catch (const TCliUsageError&) {
    throw;
  } catch (const std::exception& e) {
    ctx.Err << CliText(e.what()) << "\n";
    return kExitRefused;
  }
  return kExitOk;
}

} // namespace postello
