#include "cli/TCliState.h"

#include "addressdb/AddressDb.h"
#include "core/Cp1252.h"
#include "core/QuotedContent.h"
#include "core/SafeFile.h"

#include <filesystem>

namespace postello {

TCliState::TCliState(const std::string& dir) : FDir(dir) {
  const std::string path = dir + TOptions::FileName;
  try {
    Options.Load(path);
  } catch (const EInOutError& e) {
    throw ECliStateError("Die Datei \"" + Utf8ToCp1252(path) + "\" ist besch\xE4" "digt: " + e.what());
  }
}

std::string TCliState::DatabaseFile() const {
  if (PathHasControlChar(Options.DatabaseFile)) throw ECliStateError(DatabasePathRefusal(Options.DatabaseFile));
  return Options.DatabaseFile.empty() ? FDir + kDefaultDatabaseName : Options.DatabaseFile;
}

void TCliState::OpenTable(TDbf& table, const std::string& filterText, bool forWriting) const {
  const std::string file = DatabaseFile();
  const std::string shown = "Die Datenbank \"" + QuotedContent(Utf8ToCp1252(file)) + "\" konnte nicht ge\xF6" "ffnet werden: ";
  // A command that only reads must not leave a new, empty table behind.
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) throw ECliStateError(shown + "Die Datei fehlt.");
  try {
    table.SetOnFilterRecord(MakeTextFilter([filterText] { return filterText; }));
    table.Close();
    table.SetFileName(file);
    table.SetAutoCreate(false);
    table.SetReadOnly(!forWriting);
    table.Open();
    table.SetFiltered(true);
  } catch (const std::exception& e) {
    try {
      table.Close();
    } catch (const std::exception&) {
    }
    throw ECliStateError(shown + e.what());
  }
}

} // namespace postello
