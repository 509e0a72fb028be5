#pragma once
// The application state for the program's life: program folder, stored
// mails and accounts with their cursor variables, the remembered settings
// and the loading flag. The main window shows this state and calls these
// operations; nothing here needs a display.
#include "addressdb/AddressFileImport.h"
#include "addressdb/TDbf.h"
#include "core/TKontoStore.h"
#include "core/TMailStore.h"
#include "core/TOptions.h"
#include "mime/ZIzorAvarivi2000.h"

#include <optional>
#include <string>
#include <vector>

namespace postello {

class TMainState {
public:
  TMainState() { Msg.ApplyFormSettings(); }
  TMainState(const TMainState&) = delete;
  TMainState& operator=(const TMainState&) = delete;

  std::string ProgDir; // ends in '/'
  TMailRec* CurMail = nullptr;
  TMailList Mails{&CurMail};
  TKontoRec* CurKonto = nullptr;
  TKontoList Konten{&CurKonto};
  bool Loading = false;
  TOptions Options; // MailField, BccCount, KontoIndex, Bcc, DatabaseFile
  // The address table; filtered by FilterText once a file is open.
  TDbf Table1;
  // The text of the filter box (Windows-1252), read whenever a record is
  // judged; not saved.
  std::string FilterText;
  // The one message object every message of every send run reuses.
  ZIzorAvarivi2000 Msg;

  // Start-up up to the send page refresh: program folder, random seed,
  // Loading set, default database, mails, accounts, options, Loading
  // cleared. Load errors are shown through the message sink.
  void FormCreate(const std::string& progDir);
  // Shutdown: pending table edit posted, mails and accounts freed.
  void FormDestroy();

  std::string DefaultDatabaseFile() const { return ProgDir + "mailaddies.dbf"; }

  void OpenMails();
  // Writes mails.dat; a failure is shown to the user. False when not saved.
  bool SaveMails();
  void FreeMails();
  void OpenKonten();
  bool SaveKonten();
  void FreeKonten();
  void OpenOptions();
  // Writes options.dat unless Loading is set.
  bool SaveOptions();

  // Asks once, then deletes the mails at the marked rows (any order) and
  // saves. False when nothing was marked or the user said No.
  bool DeleteMails(std::vector<int> rows);

  // The mail the user chose to send ("Zu sendende Mail"), -1 before any
  // choice. It stays chosen while other mails are edited or deleted; a
  // new mail becomes the choice once it is stored (MailAdded).
  int SendMailIndex = -1;
  void MailAdded(int row) { SendMailIndex = row; }
  // The mail the send page shows as chosen: SendMailIndex while that mail
  // exists, else the newest; -1 without mails.
  int ChosenSendMail() const;
  bool DeleteKonten(std::vector<int> rows);

  // Appends an account from the dialog's fields (passwords, the account's
  // and its mailbox's, in clear, stored scrambled), selects it and saves.
  void AddKonto(const TKontoRec& clear);
  // Replaces account index by the dialog's fields and saves.
  void ReplaceKonto(int index, const TKontoRec& clear);
  // Account index with its passwords in clear, for the dialog.
  TKontoRec KontoForEdit(int index);

  // Opens the named address table and remembers it in the options. A file
  // that cannot be opened leaves the table closed and the name
  // unremembered; the user is told why. Quiet (start-up): a missing file
  // is not created and nothing is told.
  // True when the table is open.
  bool OpenDatabaseFile(const std::string& path, bool quiet);
  // Asks when the table file exists, then replaces it by a new, empty
  // table with the program's fields and infoFields info fields. False when
  // the user cancelled; errors are shown.
  bool NewDatabase(int infoFields);
  // Quitting while a run goes on: asks whether to cancel the run and quit
  // then. True for Yes.
  static bool ConfirmQuitDuringRun();
  // Reopens the table so the filter text applies to it.
  void ApplyFilter();
  // Imports a TXT/CSV file into the table; returns the records appended.
  // Errors are shown (the text of an unopenable file as the user knows it).
  std::size_t ImportFile(const std::string& path);

  // How an address file is to be imported, as the import dialog sets it.
  struct TFileImport {
    std::string Path;
    TAddressRowsOptions Rows;
    bool HeaderRow = false;
    TImportMapping Mapping;
    bool SkipDuplicates = false;
  };
  // The import without changing the table (to find values too long for
  // their fields). Errors are shown; nothing when the file cannot be read.
  std::optional<TImportReport> CheckAddressFile(const TFileImport& import);
  // Imports the file into the table. Errors are shown; rows imported
  // before a damaged part stay (the report is then missing).
  std::optional<TImportReport> ImportAddressFile(const TFileImport& import);
  // Makes tableFile a new table fitted to the file (its mapping is not
  // used), imports the file, opens the new table as the database and makes
  // its first field the address field. When tableFile is the open table's
  // file the user is asked first (all records are lost). Errors are shown.
  std::optional<TImportReport> NewDatabaseFromFile(const TFileImport& import, const std::string& tableFile);
  // Writes the table (only the records the filter lets pass when
  // filteredOnly) as CSV or, for a name ending in .xlsx, as a workbook.
  // Returns the records written; errors are shown.
  std::optional<std::size_t> ExportTable(const std::string& path, bool filteredOnly);
};

} // namespace postello
