#include "app/TMainState.h"

#include "addressdb/AddressDb.h"
#include "addressdb/AddressExport.h"
#include "addressdb/TxtImport.h"
#include "send/PreSendCheck.h"
#include "core/Cp1252.h"

#include "core/ProgDir.h"
#include "core/QuotedContent.h"
#include "core/SafeFile.h"
#include "core/TMessageSink.h"
#include "mime/MakeBoundary.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <set>

namespace postello {

void TMainState::FormCreate(const std::string& progDir) {
  ProgDir = WithTrailingSlash(progDir);
  RandomizeBoundaries();
  Loading = true;
  Options.DatabaseFile = DefaultDatabaseFile();
  OpenDatabaseFile(Options.DatabaseFile, true);
  OpenMails();
  OpenKonten();
  OpenOptions();
  Loading = false;
}

void TMainState::FormDestroy() {
  // An edit left open in the grid is kept; a failure must not stop the exit.
  try {
    if (Table1.Active()) {
      Table1.CheckBrowseMode();
      Table1.Close();
    }
  } catch (const std::exception&) {
  }
  FreeMails();
  FreeKonten();
}

void TMainState::OpenMails() {
  const TMailLoadResult r = TMailStore::Open(ProgDir, Mails);
  if (!r.Error.empty()) ShowError(r.Error);
  if (r.BadDates > 0) {
    ShowError(BadDatesMessage(r.BadDates));
  }
}

namespace {

// Runs one save; a failure is told to the user instead of being dropped.
template <class F>
bool ReportedSave(F save) {
  try {
    save();
    return true;
  } catch (const ESaveError& e) {
    ShowError(e.what());
    return false;
  }
}

} // namespace

bool TMainState::SaveMails() {
  return ReportedSave([this] { TMailStore::Save(ProgDir, Mails); });
}

void TMainState::FreeMails() { Mails = TMailList(&CurMail); }

void TMainState::OpenKonten() {
  const TKontoLoadResult r = TKontoStore::Open(ProgDir, Konten);
  if (!r.Error.empty()) ShowError(r.Error);
}

bool TMainState::SaveKonten() {
  return ReportedSave([this] { TKontoStore::Save(ProgDir, Konten); });
}

void TMainState::FreeKonten() { Konten = TKontoList(&CurKonto); }

void TMainState::OpenOptions() {
  const std::string path = ProgDir + TOptions::FileName;
  try {
    if (!Options.Load(path)) return;
  } catch (const EInOutError& e) {
    ShowError(DescribeDamagedFile(path, e, 0, "Einstellung", "Einstellungen"));
    return;
  }
  if (!Options.DatabaseFile.empty()) OpenDatabaseFile(Options.DatabaseFile, true);
}

bool TMainState::SaveOptions() {
  if (Loading) return false;
  return ReportedSave([this] { SaveFileSafely(ProgDir + TOptions::FileName, Options.Encode()); });
}

namespace {

// Asks once, then deletes the marked rows of a list from the last to the
// first, so the remaining rows keep matching the array indexes.
template <class T>
bool DeleteMarked(TDynaArray<T>& list, std::vector<int> rows, const char* question) {
  if (rows.empty()) return false;
  if (Messages().Show(question, "L\xF6schen", TMsgButtons::YesNo, TMsgIcon::Information) != TMsgResult::Yes) {
    return false;
  }
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (int row : rows) list.Delete(row);
  return true;
}

} // namespace

bool TMainState::DeleteMails(std::vector<int> rows) {
  const std::vector<int> marked = rows;
  if (!DeleteMarked(Mails, std::move(rows), "Wollen Sie alle markierten eMails unwiderruflich l\xF6schen?")) return false;
  // The chosen mail moves up past the deleted ones; deleted, nothing is chosen.
  const std::set<int> gone(marked.begin(), marked.end());
  if (gone.count(SendMailIndex) > 0) {
    SendMailIndex = -1;
  } else if (SendMailIndex >= 0) {
    SendMailIndex -= static_cast<int>(std::distance(gone.begin(), gone.lower_bound(SendMailIndex)));
  }
  SaveMails();
  return true;
}

int TMainState::ChosenSendMail() const {
  const int count = static_cast<int>(Mails.Count());
  return SendMailIndex >= 0 && SendMailIndex < count ? SendMailIndex : count - 1;
}

bool TMainState::DeleteKonten(std::vector<int> rows) {
  if (!DeleteMarked(Konten, std::move(rows), "Wollen Sie alle markierten Konten unwiderruflich l\xF6schen?")) {
    return false;
  }
  SaveKonten();
  return true;
}

void TMainState::AddKonto(const TKontoRec& clear) {
  TKontoRec* k = Konten.Add();
  *k = clear;
  k->Password = CodePassw(clear.Password);
  k->Mailbox.Password = CodePassw(clear.Mailbox.Password);
  SaveKonten();
}

void TMainState::ReplaceKonto(int index, const TKontoRec& clear) {
  TKontoRec* k = Konten.Select(index);
  *k = clear;
  k->Password = CodePassw(clear.Password);
  k->Mailbox.Password = CodePassw(clear.Mailbox.Password);
  SaveKonten();
}

TKontoRec TMainState::KontoForEdit(int index) {
  TKontoRec rec = *Konten.Select(index);
  rec.Password = DeCodePassw(rec.Password);
  rec.Mailbox.Password = DeCodePassw(rec.Mailbox.Password);
  return rec;
}

bool TMainState::OpenDatabaseFile(const std::string& path, bool quiet) {
  // A line break or an escape in a file name is a damaged options.dat or a
  // trap, never a table the user meant: refused, even at start-up.
  if (PathHasControlChar(path)) {
    ShowError(DatabasePathRefusal(path));
    return false;
  }
  try {
    Table1.SetOnFilterRecord(MakeTextFilter([this] { return FilterText; }));
    // Start-up only opens what is there: a missing table is made when the
    // user names a file or asks for a new database, so starting the
    // program writes no file.
    OpenAddressTable(Table1, path, !quiet);
  } catch (const std::exception& e) {
    try {
      Table1.Close();
    } catch (const std::exception&) {
    }
    if (!quiet) {
      // The sentence names the file already; the table's error need not again.
      const auto* dbf = dynamic_cast<const TDbfError*>(&e);
      const std::string reason = dbf && dbf->FileName() == path ? dbf->WithoutFileName() : std::string(e.what());
      ShowError("Die Datenbank \"" + QuotedContent(Utf8ToCp1252(path)) + "\" konnte nicht ge\xF6" "ffnet werden: " + reason);
    }
    return false;
  }
  Options.DatabaseFile = path;
  SaveOptions();
  return true;
}

namespace {

// Replacing the open table: asks before its records are lost. True for Ok.
bool ConfirmRecordsLost() {
  return Messages().Show("Achtung: Alle vorhandenen Datens\xE4tze gehen verloren!!!", "Neue Datenbank",
                         TMsgButtons::OkCancel, TMsgIcon::Error) == TMsgResult::Ok;
}

} // namespace

bool TMainState::NewDatabase(int infoFields) {
  const std::string file = Table1.FileName().empty() ? Options.DatabaseFile : Table1.FileName();
  std::error_code error;
  // Without a table file there is nothing to lose, and nothing to warn of.
  if (std::filesystem::exists(file, error) && !ConfirmRecordsLost()) return false;
  try {
    if (Table1.FileName().empty()) Table1.SetFileName(file);
    CreateAddressTable(Table1, infoFields);
    Table1.SetFiltered(true);
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
  return true;
}

bool TMainState::ConfirmQuitDuringRun() {
  // Enter alone must not stop a run that is sending.
  return Messages().Ask("Es l\xE4uft gerade ein Versand. Soll er abgebrochen und das Programm danach beendet werden?",
                        "Beenden", TMsgButtons::YesNo, TMsgIcon::Question, TMsgResult::No) == TMsgResult::Yes;
}

void TMainState::ApplyFilter() {
  try {
    // Reopening drops an unposted edit: keep it.
    if (Table1.Active()) Table1.CheckBrowseMode();
    ReapplyFilter(Table1);
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

namespace {

TImportOptions OptionsFor(const TMainState::TFileImport& import, int mailField, bool dryRun) {
  TImportOptions options;
  options.SkipDuplicates = import.SkipDuplicates;
  options.DryRun = dryRun;
  options.MailField = mailField;
  options.IsValidAddress = IsValidMailbox;
  return options;
}

} // namespace

std::optional<TImportReport> TMainState::CheckAddressFile(const TFileImport& import) {
  try {
    return postello::ImportAddressFile(Table1, import.Path, import.Rows, import.HeaderRow, import.Mapping,
                                       OptionsFor(import, Options.MailField, true));
  } catch (const std::exception& e) {
    ShowError(e.what());
    return std::nullopt;
  }
}

std::optional<TImportReport> TMainState::ImportAddressFile(const TFileImport& import) {
  try {
    Table1.CheckBrowseMode();
    return postello::ImportAddressFile(Table1, import.Path, import.Rows, import.HeaderRow, import.Mapping,
                                       OptionsFor(import, Options.MailField, false));
  } catch (const std::exception& e) {
    ShowError(e.what());
    return std::nullopt;
  }
}

std::optional<TImportReport> TMainState::NewDatabaseFromFile(const TFileImport& import, const std::string& tableFile) {
  if (tableFile == Table1.FileName() && !ConfirmRecordsLost()) return std::nullopt;
  try {
    TImportReport report = ImportIntoFittedTable(Table1, tableFile, import.Path, import.Rows, import.HeaderRow,
                                                 OptionsFor(import, 0, false));
    Table1.SetFiltered(true);
    Options.DatabaseFile = tableFile;
    Options.MailField = 0;
    SaveOptions();
    return report;
  } catch (const std::exception& e) {
    ShowError(e.what());
    return std::nullopt;
  }
}

std::optional<std::size_t> TMainState::ExportTable(const std::string& path, bool filteredOnly) {
  try {
    return ExportAddresses(Table1, path, filteredOnly);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return std::nullopt;
  }
}

std::size_t TMainState::ImportFile(const std::string& path) {
  try {
    return ImportTextFile(Table1, path);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return 0;
  }
}

} // namespace postello
