#pragma once
// The main window: four pages over the application state. It shows the
// state and forwards the user's actions to it; the decisions are made by
// TMainState.
#include "app/TMainState.h"
#include "imap/TMailFolder.h"
#include "send/TRecipientList.h"
#include "send/TSendPacer.h"
#include "send/TSendRun.h"
#include "smtp/TServerTrust.h"
#include "TImportAddressesForm.h"
#include "ui_TMainForm.h"

#include <QMainWindow>
#include <QMenu>
#include <atomic>
#include <map>
#include <memory>
#include <thread>
#include <vector>

class QLabel;
class QTreeWidget;

namespace postello {

class TEditKontenForm;
class TSendJournalPanel;
class TWriteMailForm;
class TAddressGrid;
class TBlockList;

class TMainForm : public QMainWindow {
  Q_OBJECT
public:
  explicit TMainForm(TMainState& state, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Start-up: the state is loaded from progDir and the controls show it.
  void FormCreate(const std::string& progDir);
  // The account dialog, created after the window and used modally.
  void SetEditKontenForm(TEditKontenForm* form) { m_editKonten = form; }
  // The accounts' OAuth grants for the sessions (not owned; null: none).
  void SetOAuthTokens(TBearerTokens* tokens) { m_smtp.Tokens = tokens; }
  // The mail editor, created after the window and used modally.
  void SetWriteMailForm(TWriteMailForm* form);
  // "Vorschau für Empfänger" for mail, over the recipients of the address
  // page's view.
  void ShowRecipientPreview(const TMailRecFields& mail);

  void ListMails();
  void ListKonten();

  Ui::TMainForm ui;
  QMenu* PopupMenu1 = nullptr;
  QAction* ffnen1 = nullptr;
  QAction* Lschen1 = nullptr;

public slots:
  void PageControl2Change();
  void ListView1Change();
  void DelBtnClick();
  void NewBtnClick();
  // Opens the selected mail in the editor (double click, Enter, "Öffnen").
  void ListView1DblClick();
  void ListView2Change();
  void NewKontoBtnClick();
  void EditKontoBtnClick();
  void DelKontoBtnClick();
  void AboutBtnClick();
  void FilenameEdit1Change();
  void FilenameEdit1Browse();
  void MailFieldEdChange();
  void bccCountEdChange();
  void PersonalCheckClick();
  void bccCheckClick();
  void AbsenderComboChange();
  void Button1Click(); // NewDBBtn
  void FilterBtnClick();
  void ImportBtnClick();
  // Imports one file (what ImportBtnClick does after its dialog): the
  // import dialog for it.
  void ImportFile(const QString& path);
  void NewDBFromFileBtnClick();
  // A new table fitted to one file (after NewDBFromFileBtnClick's dialog).
  void NewDatabaseFromFile(const QString& path);
  void ExportBtnClick();
  // "Sperrliste...": the block list dialog; the grid greys what it lists.
  void SperrlisteBtnClick();
  void ShowBlocked();
  // The data folder's block list; empty when it cannot be read.
  TBlockList BlockListOrEmpty() const;
  void RunImportDialog(const QString& path, TImportAddressesForm::TMode mode);
  // One button of DBNavigator2 (TAddressGrid::TNavButton).
  void NavigatorClick(int button);
  void SendBtnClick();
  // "Rückläufer abholen": reads the chosen account's reply mailbox and
  // shows what taking it over would do.
  void BouncesBtnClick();

public:
  // Checks and starts a run (SendBtnClick after reading the page, the
  // journal panel's follow-up runs and test mails).
  void SendChoice(TSendChoice choice);

  // The SIZE limit the server (an account's server text) named when the
  // send page last asked it; -1 when not known.
  std::int64_t KnownSizeLimit(const std::string& server) const;

  // How each message reaches its server; tests may replace it. Runs on a
  // session's worker thread, so it must touch nothing but its argument.
  // Empty: the account's sessions (reuse, parallel sessions).
  TSendRun::TDeliver Deliver;
  // Opens the reply mailbox's folder of an account on a worker thread
  // (TBouncesForm::TOpenFolder), deciding about the server with trust;
  // tests put a folder in memory here. Empty: the account's IMAP mailbox.
  std::function<std::shared_ptr<TMailFolder>(const TKontoRec& konto, TServerTrust& trust,
                                             const std::atomic<bool>* cancel)>
      OpenReplyFolder;
  // Called with each run's pacer before the run; tests give it a fake clock.
  std::function<void(TSendPacer&)> SetUpPacer;
  // The program the check before a run rates the first message with
  // (DefaultSpamProgram when the window is made); tests may point it
  // elsewhere. Empty: no spam check.
  static std::string& DefaultSpamProgram() {
    static std::string program = "spamassassin";
    return program;
  }
  std::string SpamProgram = DefaultSpamProgram();
  TSendRun& SendRun() { return m_run; }

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  static std::vector<int> SelectedRows(const QTreeWidget* list);
  void WidenColumnsToContents(QTreeWidget* list);
  void ShowOptions();
  // Runs the mail editor, already loaded, on the mail at row (-1: a new
  // mail, added when first saved).
  void EditMail(int row);
  // Reloads the grid and puts its cursor on the table's current record.
  void ShowTable();
  void SetPreviewHeaderFocused(bool focused);
  // BouncesBtn is enabled when the chosen account has a reply mailbox.
  void ShowBouncesBtn();
  std::shared_ptr<TMailFolder> OpenImapFolder(const TKontoRec& konto, TServerTrust& trust,
                                             const std::atomic<bool>* cancel);
  // The address table's field names, offered as placeholders.
  std::vector<std::string> FieldNames() const;

private:
  TMainState& m_state;
  bool m_bouncesBlocked = false;  // a send run is going on
  TEditKontenForm* m_editKonten = nullptr;
  TWriteMailForm* m_writeMail = nullptr;
  TAddressGrid* m_grid = nullptr;
  // The rows of ListView3, one to one: address and record position.
  TRecipientList m_recipients;
  TSendRun m_run;
  bool m_closeAfterRun = false;
  void SetRunning(bool running);
  void ShowRunProgress();
  // Delivers the started run's messages on the account's sessions, each
  // on a worker thread, keeping the window responsive and the pacer's
  // waiting time in statlabel's place.
  void DeliverOffThread(const TKontoRec& konto);
  QEventLoop* m_waitLoop = nullptr;  // the loop waiting for a session's result
  // A session's question to the user (clear-text password, certificate),
  // shown on the window's thread; true for Yes.
  bool AskFromSession(const std::string& question);
  // What the sessions of the current run are given: the cancel flag and
  // the server decisions.
  TSMTPSendOptions m_smtp;
  // The check before a run: true when nothing was found or the user chose
  // "Trotzdem senden"; also true when the run will refuse (it says why).
  bool CheckBeforeRun(const TSendChoice& choice);
  // Records ListView3 passed over for a blank address.
  std::vector<std::uint32_t> m_skipped;
  TSendJournalPanel* m_journalPanel = nullptr;
  // The size limits the servers named, asked in the background (EHLO
  // only, no mail) when the send page shows an account.
  void ProbeChosenServer();
  std::map<std::string, std::int64_t> m_sizeLimits;
  std::string m_probedServer;  // asked last (or being asked); not asked again at once
  std::thread m_probe;
  std::atomic<bool> m_probeCancel{false};
  bool m_probing = false;
  bool m_destroyed = false;
  QLabel* m_statusPanels[2] = {nullptr, nullptr};
};

} // namespace postello
